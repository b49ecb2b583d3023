#include "param_names.h"
#include "server_mods.h"

#include <gtest/gtest.h>

using namespace quorvale;

namespace {
using Names = std::vector<std::string>;

// Known mods: display name, folder.
ModTable known() {
    ModTable t;
    t.entries = {{1, "Community Base Addons", "@CBA_CO", false},
                 {2, "ACE", "@ace_mod", false},
                 {3, "Čech", "@cz", false},
                 {4, "JSRS", "JSRS", false}};
    return t;
}

struct MatchCase {
    const char* label;
    Names server;
    Names folders; // to load, in the server's order
    Names missing;
    friend void PrintTo(const MatchCase& c, std::ostream* os) { *os << c.label; }
};

struct ModCppCase {
    const char* label;
    const char* text;
    std::optional<std::string> name;
    friend void PrintTo(const ModCppCase& c, std::ostream* os) { *os << c.label; }
};
} // namespace

class ServerModMatching : public ::testing::TestWithParam<MatchCase> {};

TEST_P(ServerModMatching, ByNameOrFolder) {
    const MatchCase& c = GetParam();
    const auto matches = matchServerMods(c.server, known());
    EXPECT_EQ(matchedFolders(matches, known()), c.folders);
    EXPECT_EQ(missingMods(matches), c.missing);
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(Mods, ServerModMatching, ::testing::Values(
    MatchCase{"serverOrder", {"@ACE_MOD", "@cba_co"}, {"@ace_mod", "@CBA_CO"}, {}},
    MatchCase{"displayNames", {"ace", "Community Base Addons", "čECH"}, {"@ace_mod", "@CBA_CO", "@cz"}, {}},
    MatchCase{"atTolerated", {"CBA_CO", "@JSRS", "@@JSRS"}, {"@CBA_CO", "JSRS"}, {"@@JSRS"}},
    MatchCase{"gameAndDlc", {"Arma 2: British Armed Forces (Lite)", "ARMA 2", "Arma 2: Operation Arrowhead",
        "Arma 2: Private Military Company", "Arma 2: Army of the Czech Republic (Lite)", "Arma 2: Reinforcements"}, {}, {}},
    MatchCase{"missingOnceEach", {"@STHUD", "@STHUD", "@CBA_CO", "Arma 2: Lite"}, {"@CBA_CO"}, {"@STHUD", "Arma 2: Lite"}},
    MatchCase{"repeatedLoadsOnce", {"ACE", "@ace_mod"}, {"@ace_mod"}, {}},
    MatchCase{"emptyOrAtOnly", {"@"}, {}, {"@"}}),
    ByLabel());
// clang-format on

TEST(ServerModMatching, QuestionNamesTheMissing) {
    EXPECT_EQ(missingModsQuestion({"@ACE", "@CBA_CO"}),
              "This server uses 2 mods you do not have: @ACE, @CBA_CO. Join anyway?");
    EXPECT_EQ(missingModsQuestion({"@x\n"}),
              "This server uses 1 mod you do not have: @x\\n. Join anyway?");
}

class ModCpp : public ::testing::TestWithParam<ModCppCase> {};

TEST_P(ModCpp, GivesTheDisplayName) {
    EXPECT_EQ(modCppName(GetParam().text), GetParam().name);
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(Files, ModCpp, ::testing::Values(
    ModCppCase{"plain", "name = \"Advanced Combat Environment\";\npicture = \"x.paa\";", "Advanced Combat Environment"},
    ModCppCase{"afterOtherKeys", "dlcname=\"no\";actionName=\"x\";\r\n\tname=\"A \"\"B\"\"\";", "A \"B\""},
    ModCppCase{"cp1252", "name = \"Caf\xE9\";", "Caf\u00E9"},
    ModCppCase{"unquoted", "name = ACE;", std::nullopt},
    ModCppCase{"unterminated", "name = \"ACE", std::nullopt},
    ModCppCase{"empty", "name = \"\";", std::nullopt}),
    ByLabel());
// clang-format on
