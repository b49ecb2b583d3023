// libFuzzer target: no datagram may crash the reply parser or make it read out of bounds.
#include "errors.h"
#include "status_protocol.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    quorvale::ServerStatusReply r;
    try {
        quorvale::parseStatusReply(data, size, r);
    } catch (const quorvale::ConvertError&) {
        // a bad "maxplayers" is the one failure the parser reports
    }
    if (r.players.size() > quorvale::MaxReplyPlayers)
        __builtin_trap();
    return 0;
}
