// libFuzzer target: no sequence of master server replies may crash the page walk, read out of
// bounds, list an address twice, or list more than the replies held.
// Input: datagrams, each led by its 16-bit little-endian length; the whole input is also read
// as one reply.
#include "master_protocol.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <unordered_set>

using namespace quorvale;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const MasterReply whole = parseMasterReply(data, size);
    if (whole.servers.size() > size / 6 || (!whole.readable && whole.note.empty()))
        __builtin_trap();

    MasterListing listing;
    size_t offered = 0;
    size_t at = 0;
    while (size - at >= 2) {
        const size_t n = std::min<size_t>(data[at] | (data[at + 1] << 8), size - at - 2);
        const uint8_t* d = data + at + 2;
        at += 2 + n;
        const bool wasEnded = listing.ended();
        const size_t before = listing.servers().size();
        const auto step = listing.accept(d, n);
        offered += n / 6;
        if (listing.servers().size() != before + step.added || listing.servers().size() > offered)
            __builtin_trap();
        if (wasEnded && step.added != 0)
            __builtin_trap();
        if (step.outcome != MasterListing::Outcome::Page &&
            step.outcome != MasterListing::Outcome::Ended && step.added != 0)
            __builtin_trap();
        if (listing.request().size() < 12)
            __builtin_trap();
    }
    std::unordered_set<uint64_t> seen;
    for (const MasterAddress& a : listing.servers())
        if (!seen.insert((uint64_t(a.ip) << 16) | a.port).second)
            __builtin_trap();
    return 0;
}
