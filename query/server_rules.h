#pragma once

// The mods a server names: in its Steam rules, whose long values come in numbered chunks
// ("modNames:0-2", "modNames:1-2", "modNames:2-2"), or in the GameSpy reply's "mod" key. Plain
// C++; a server's counts are never trusted for a size.

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace quorvale {

// A rule as it came: bytes, decoded only once its chunks are joined, so that a character cut
// between two chunks comes back whole.
using RawRule = std::pair<std::string, std::string>;

// Items kept of one list, so that a hostile reply cannot fill the memory of a window.
inline constexpr size_t MaxServerMods = 1025;

// What a server tells of its mods.
struct ServerMods {
    std::vector<std::string> names; // display names, in the server's load order
    std::vector<std::string> hashes;
    std::string problem; // chunks that did not come, or did not fit; empty when whole
};

// The chunks of one value that came, contiguous ones joined, in order.
struct ChunkRun {
    std::string text;
    bool wholeStart = true; // no chunk is missing before it
    bool wholeEnd = true;   // none after it
};
struct JoinedValue {
    bool present = false;
    std::vector<ChunkRun> runs;
    uint64_t count = 0;                 // chunks announced
    uint64_t missing = 0;               // of them, not received
    std::vector<uint64_t> firstMissing; // a few of those, to tell
    bool conflicting = false;           // a chunk came twice with other text, or with another count
};

// Joins the value of `name`: the rules "name:i-N" for i from 0 to N, or a plain rule "name".
// A repeated chunk counts once (the first); chunks announcing another N than the first are
// left out.
JoinedValue joinChunkedRule(const std::vector<RawRule>& rules, std::string_view name);
// The items of a ";"-separated list, decoded, without empty ones; an item cut by a missing
// chunk is left out. At most MaxServerMods.
std::vector<std::string> listItems(const JoinedValue& value);
// "modNames: 1 of 4 chunks did not come (2)" and the like; empty when nothing is amiss.
std::string describeGaps(std::string_view name, const JoinedValue& value);

// The mods of a Steam rules reply; none present when it names none.
bool rulesNameMods(const std::vector<RawRule>& rules);
ServerMods modsOfRules(const std::vector<RawRule>& rules);
// The mods of a GameSpy "mod" value.
ServerMods modsOfListValue(std::string_view value);

} // namespace quorvale
