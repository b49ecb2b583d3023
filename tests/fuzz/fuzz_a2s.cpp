// libFuzzer target: no sequence of datagrams may crash the Steam query's reassembly, parser or
// challenge exchange, read out of bounds or grow the reassembler past its bounds.
// Input: datagrams, each led by its 16-bit little-endian length; the whole input is also read
// as one reply.
#include "a2s_protocol.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>

using namespace quorvale;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const A2sReply whole = parseA2sPayload(data, size);
    if (whole.kind == A2sReply::Kind::Error && whole.error.empty())
        __builtin_trap();

    A2sReassembler reassembler;
    A2sQuery query;
    query.start();
    size_t at = 0;
    while (size - at >= 2) {
        const size_t n = std::min<size_t>(data[at] | (data[at + 1] << 8), size - at - 2);
        const uint8_t* d = data + at + 2;
        at += 2 + n;
        const auto r = reassembler.accept(d, n);
        if (reassembler.pendingMessages() > A2sReassembler::MaxMessages ||
            reassembler.pendingBytes() > A2sReassembler::MaxBytes)
            __builtin_trap();
        if (r.status == A2sReassembler::Status::Complete) {
            const A2sReply reply = parseA2sPayload(r.payload.data(), r.payload.size());
            ServerStatusReply status;
            applyA2sInfo(reply.info, status);
            applyA2sPlayers(reply.players, status);
        }
        const A2sQuery::Step step = query.accept(d, n);
        if (step.send.size() > 2 || query.reply().players.size() > MaxReplyPlayers)
            __builtin_trap();
    }
    return 0;
}
