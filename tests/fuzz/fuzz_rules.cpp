// libFuzzer target: no rules reply may crash the rules parser or the joining of chunked values,
// hang on a hostile count or keep more mods than MaxServerMods.
// Input: one rules reply's payload (after FF FF FF FF); also read as a GameSpy "mod" value.
#include "a2s_protocol.h"

#include <cstddef>
#include <cstdint>

using namespace quorvale;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const A2sReply reply = parseA2sPayload(data, size);
    const ServerMods mods = modsOfRules(reply.rules);
    const ServerMods listed =
        modsOfListValue(std::string_view(reinterpret_cast<const char*>(data), size));
    if (mods.names.size() > MaxServerMods || mods.hashes.size() > MaxServerMods ||
        listed.names.size() > MaxServerMods)
        __builtin_trap();
    for (const std::string& name : mods.names)
        if (name.empty() || name.find(';') != std::string::npos)
            __builtin_trap();
    return 0;
}
