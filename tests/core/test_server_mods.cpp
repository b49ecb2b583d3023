#include "list_editing.h"
#include "param_names.h"
#include "server_mods.h"
#include "temp_dir.h"

#include <gtest/gtest.h>

#include <filesystem>

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
} // namespace

class ServerModMatching : public ::testing::TestWithParam<MatchCase> {};

TEST_P(ServerModMatching, ByNameOrFolder) {
    const MatchCase& c = GetParam();
    const auto matches = matchServerMods(c.server, known());
    EXPECT_EQ(matchedFolders(matches, known()), c.folders);
    EXPECT_EQ(missingMods(matches), c.missing);
}

INSTANTIATE_TEST_SUITE_P(
    Mods, ServerModMatching,
    ::testing::Values(
        MatchCase{"serverOrder", {"@ACE_MOD", "@cba_co"}, {"@ace_mod", "@CBA_CO"}, {}},
        MatchCase{"displayNames",
                  {"ace", "Community Base Addons", "čECH"},
                  {"@ace_mod", "@CBA_CO", "@cz"},
                  {}},
        MatchCase{"atTolerated", {"CBA_CO", "@JSRS", "@@JSRS"}, {"@CBA_CO", "JSRS"}, {"@@JSRS"}},
        MatchCase{"gameAndDlc",
                  {"Arma 2: British Armed Forces (Lite)", "ARMA 2", "Arma 2: Operation Arrowhead",
                   "Arma 2: Private Military Company", "Arma 2: Army of the Czech Republic (Lite)",
                   "Arma 2: Reinforcements", "Expansion"},
                  {},
                  {}},
        MatchCase{"missingOnceEach",
                  {"@STHUD", "@STHUD", "@CBA_CO", "Arma 2: Lite"},
                  {"@CBA_CO"},
                  {"@STHUD", "Arma 2: Lite"}},
        MatchCase{"repeatedLoadsOnce", {"ACE", "@ace_mod"}, {"@ace_mod"}, {}},
        MatchCase{"emptyOrAtOnly", {"@"}, {}, {"@"}}),
    ByLabel());

TEST(ServerModMatching, QuestionNamesTheMissing) {
    EXPECT_EQ(missingModsQuestion({"@ACE", "@CBA_CO"}),
              "This server uses 2 mods you do not have: @ACE, @CBA_CO. Join anyway?");
    EXPECT_EQ(missingModsQuestion({"@x\n"}),
              "This server uses 1 mod you do not have: @x\\n. Join anyway?");
}

namespace {
struct ModCppCase {
    const char* label;
    const char* text;
    std::optional<std::string> name;
    friend void PrintTo(const ModCppCase& c, std::ostream* os) { *os << c.label; }
};
} // namespace

class ModCpp : public ::testing::TestWithParam<ModCppCase> {};

TEST_P(ModCpp, GivesTheDisplayName) {
    EXPECT_EQ(modCppName(GetParam().text), GetParam().name);
}

INSTANTIATE_TEST_SUITE_P(
    Files, ModCpp,
    ::testing::Values(ModCppCase{"plain",
                                 "name = \"Advanced Combat Environment\";\npicture = \"x.paa\";",
                                 "Advanced Combat Environment"},
                      ModCppCase{"afterOtherKeys",
                                 "dlcname=\"no\";actionName=\"x\";\r\n\tname=\"A \"\"B\"\"\";",
                                 "A \"B\""},
                      ModCppCase{"cp1252", "name = \"Caf\xE9\";", "Caf\u00E9"},
                      ModCppCase{"unquoted", "name = ACE;", std::nullopt},
                      ModCppCase{"unterminated", "name = \"ACE", std::nullopt},
                      ModCppCase{"empty", "name = \"\";", std::nullopt},
                      ModCppCase{"none", "picture = \"x\";", std::nullopt}),
    ByLabel());

TEST(ModCpp, TheScanNamesFoldersByIt) {
    TempDir dir;
    for (const char* p : {"@ACE/addons", "@CBA/addons"})
        std::filesystem::create_directories(dir.path() / p);
    writeAll(dir.file("@ACE/mod.cpp"), "name = \"Advanced Combat Environment\";");
    ModScan scan = scanForMods(dir.path().string(), ModTable{});
    ASSERT_EQ(scan.found.size(), 2u);
    const bool aceFirst = scan.found[0] == "@ACE";
    EXPECT_EQ(scan.names[aceFirst ? 0 : 1], "Advanced Combat Environment");
    EXPECT_EQ(scan.names[aceFirst ? 1 : 0], "@CBA");
    // Once added, the folder is known by its display name.
    ModTable t;
    std::mt19937 rng(1);
    addFoundMods(t, scan.found, rng, {}, scan.names);
    EXPECT_EQ(scanForMods(dir.path().string(), t).found.size(), 0u);
}
