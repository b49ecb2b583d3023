#include "param_names.h"
#include "server_rules.h"

#include <gtest/gtest.h>

using namespace quorvale;

namespace {
using Names = std::vector<std::string>;

struct ChunkCase {
    const char* label;
    std::vector<RawRule> rules;
    Names names;
    const char* problem; // a part of it; "" when whole
    friend void PrintTo(const ChunkCase& c, std::ostream* os) { *os << c.label; }
};
} // namespace

class RulesMods : public ::testing::TestWithParam<ChunkCase> {};

TEST_P(RulesMods, KeepWhatIsWhole) {
    const ChunkCase& c = GetParam();
    const ServerMods mods = modsOfRules(c.rules);
    EXPECT_EQ(mods.names, c.names);
    if (*c.problem)
        EXPECT_NE(mods.problem.find(c.problem), std::string::npos) << mods.problem;
    else
        EXPECT_EQ(mods.problem, "");
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(Chunks, RulesMods, ::testing::Values(
    ChunkCase{"inOrder", {{"hash", "1"}, {"modNames:0-1", "Arma 2: British Armed Forces (Lite);@CB"},
        {"modNames:1-1", "A_CO;@ACE;Arma 2;"}}, {"Arma 2: British Armed Forces (Lite)", "@CBA_CO", "@ACE", "Arma 2"}, ""},
    ChunkCase{"shuffled", {{"modNames:2-2", "c;"}, {"modNames:0-2", "a;"}, {"modNames:1-2", "b;"}}, {"a", "b", "c"}, ""},
    ChunkCase{"characterCutBetweenChunks", {{"modNames:0-1", "@\xC4"}, {"modNames:1-1", "\x8C" "ech;"}}, {"@\u010Cech"}, ""},
    ChunkCase{"middleMissing", {{"modNames:0-2", "a;b"}, {"modNames:2-2", "d;e;"}}, {"a", "e"}, "1 of 3 chunks did not come (1)"},
    ChunkCase{"firstMissing", {{"modNames:1-1", "x;b;"}}, {"b"}, "(0)"},
    ChunkCase{"lastMissing", {{"modNames:0-1", "a;b"}}, {"a"}, "(1)"},
    ChunkCase{"repeatedChunk", {{"modNames:0-1", "a;"}, {"modNames:0-1", "a;"}, {"modNames:1-1", "b"}}, {"a", "b"}, ""},
    ChunkCase{"repeatedWithOtherText", {{"modNames:0-1", "a;"}, {"modNames:0-1", "z;"}, {"modNames:1-1", "b"}}, {"a", "b"}, "contradict"},
    ChunkCase{"otherCount", {{"modNames:0-1", "a;"}, {"modNames:1-5", "q;"}, {"modNames:1-1", "b;"}}, {"a", "b"}, "contradict"},
    ChunkCase{"hugeCount", {{"modNames:0-999999999", "a;b"}}, {"a"}, "999999999 of"},
    ChunkCase{"endlessDigits", {{"modNames:0-99999999999999999999", "a;"}}, {}, ""},
    ChunkCase{"badKeys", {{"modNames:1-0", "a;"}, {"modNames:-1", "b;"}, {"modNamesX:0-0", "c;"}, {"modNames:0-0x", "d;"}}, {}, ""},
    ChunkCase{"plainKey", {{"modNames", ";;a;;b;"}}, {"a", "b"}, ""},
    ChunkCase{"invalidUtf8", {{"modNames:0-0", "@\xFF\xE9;"}}, {"@\u00FF\u00E9"}, ""},
    ChunkCase{"noMods", {{"param1", "x"}}, {}, ""}),
    ByLabel());
// clang-format on

TEST(RulesMods, AHostileListIsCapped) {
    std::string many;
    for (int i = 0; i < 3000; ++i)
        many += "m;";
    EXPECT_EQ(modsOfRules({{"modNames:0-0", many}}).names.size(), MaxServerMods);
    EXPECT_EQ(modsOfListValue("CA;@ACE;;").names, (Names{"CA", "@ACE"}));
}
