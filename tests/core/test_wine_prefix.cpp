// The game in a Wine prefix: its registry file, its drives, its profiles.
#include "param_names.h"
#include "recording_host.h"
#include "reg_file_store.h"
#include "registry_io.h"
#include "scoped_env.h"
#include "temp_dir.h"
#include "test_store.h"
#include "wine_prefix.h"

#include <gtest/gtest.h>

#include <pwd.h>
#include <random>
#include <unistd.h>

using namespace quorvale;
namespace fs = std::filesystem;

namespace {

using Found = std::vector<std::optional<std::string>>;
const std::vector<std::string> kKeys = {"Software\\Game", "Software\\Other"};
const std::string kHead =
    "WINE REGISTRY Version 2\n;; All keys relative to REGISTRY\\\\Machine\n\n#arch=win64\n\n";

std::string key(const std::string& name, const std::string& values) {
    return "[" + name + "] 1700000000\n#time=1d9c8e7f0a3b2c4\n" + values + "\n";
}

} // namespace

struct RegTextCase {
    const char* label;
    std::string text;
    Found found;
    friend void PrintTo(const RegTextCase& c, std::ostream* os) { *os << c.label; }
};

class WineRegistryText : public ::testing::TestWithParam<RegTextCase> {};

TEST_P(WineRegistryText, GivesWholeStringValuesOnly) {
    EXPECT_EQ(wineRegistryStrings(GetParam().text, kKeys, "MAIN"), GetParam().found);
}

INSTANTIATE_TEST_SUITE_P(
    Files, WineRegistryText,
    ::testing::Values(
        RegTextCase{"plain",
                    kHead + key("Software\\\\Game", "\"MAIN\"=\"C:\\\\Games\\\\ArmA 2\""),
                    {"C:\\Games\\ArmA 2", std::nullopt}},
        RegTextCase{"escapes",
                    kHead + key("Software\\\\Game", "\"MAIN\"=\"C:\\\\G \\\"q\\\" \\xdcn\\xef "
                                                    "\\x00e9a \\101\\t\\xd83d\\xde00\""),
                    {"C:\\G \"q\" \u00dcn\u00ef \u00e9a A\t\U0001F600", std::nullopt}},
        RegTextCase{
            "expandAndWrappedHex",
            kHead + key("Software\\\\Game", "\"MAIN\"=str(2):\"%ProgramFiles%\\\\x\"") +
                key("Software\\\\Other", "\"MAIN\"=hex(2):43,00,3a,00,5c,00,\\\n  41,00,00,00"),
            {"%ProgramFiles%\\x", "C:\\A"}},
        RegTextCase{"namesIgnoreCase",
                    kHead + key("software\\\\GAME", "\"main\"=\"x\""),
                    {"x", std::nullopt}},
        RegTextCase{"windowsLineEnds",
                    kHead + "[Software\\\\Game] 1\r\n\"MAIN\"=\"x\"\r\n",
                    {"x", std::nullopt}},
        RegTextCase{
            "notStrings",
            kHead + key("Software\\\\Game", "\"MAIN\"=dword:00000001\n\"MAIN\"=hex:41,00,00,00"),
            {std::nullopt, std::nullopt}},
        RegTextCase{"regeditExport",
                    "Windows Registry Editor Version 5.00\n\n[Software\\Game]\n\"MAIN\"=\"x\"\n",
                    {std::nullopt, std::nullopt}},
        RegTextCase{"unclosedString",
                    kHead + key("Software\\\\Game", "\"MAIN\"=\"C:\\\\Games"),
                    {std::nullopt, std::nullopt}},
        RegTextCase{"textAfterTheString",
                    kHead + key("Software\\\\Game", "\"MAIN\"=\"x\" y"),
                    {std::nullopt, std::nullopt}},
        RegTextCase{"hexWithoutItsEnd",
                    kHead + key("Software\\\\Game", "\"MAIN\"=hex(2):43,00,3a,00"),
                    {std::nullopt, std::nullopt}},
        RegTextCase{"damagedKeyLineEndsTheKey",
                    kHead + key("Software\\\\Game", "") + "[Software\\\\Oth\n\"MAIN\"=\"wrong\"\n",
                    {std::nullopt, std::nullopt}},
        RegTextCase{"wrapStopsAtAKeyLine",
                    kHead + "[Software\\\\Game] 1\n\"X\"=hex:01,\\\n" +
                        key("Software\\\\Other", "\"MAIN\"=\"o\""),
                    {std::nullopt, "o"}}),
    ByLabel());

TEST(WineRegistryText, EveryCutGivesTheWholeValueOrNothingAndNoDamageCrashes) {
    const std::string text =
        kHead + key("Software\\\\Classes\\\\x", "@=\"y\"") +
        key("Software\\\\Game", "\"MAIN\"=\"C:\\\\Program Files\\\\\\xdcn\\xef \\\"q\\\"\"") +
        key("Software\\\\Other", "\"MAIN\"=hex(2):43,00,3a,00,5c,00,\\\n  41,00,00,00");
    const Found whole = wineRegistryStrings(text, kKeys, "MAIN");
    ASSERT_TRUE(whole[0] && whole[1]);
    for (size_t n = 0; n < text.size(); ++n) {
        const Found cut = wineRegistryStrings(std::string_view(text).substr(0, n), kKeys, "MAIN");
        for (size_t k = 0; k < kKeys.size(); ++k)
            EXPECT_TRUE(!cut[k] || cut[k] == whole[k]) << "cut at " << n << ": " << *cut[k];
    }
    std::mt19937 rng(16);
    for (int i = 0; i < 20000; ++i) {
        std::string damaged = text;
        for (int k = 0; k < 3; ++k)
            damaged[rng() % damaged.size()] = static_cast<char>(rng());
        wineRegistryStrings(damaged, kKeys, "MAIN");
    }
}

namespace {

// A prefix as wineboot leaves it, as far as the launcher looks: drives and the game's folder.
struct Prefix {
    TempDir dir;
    ScopedEnv home{"HOME", dir.file("home")}; // no Steam of the machine's own
    std::string path = dir.file("prefix");
    std::string driveC;

    Prefix() {
        fs::create_directories(path + "/drive_c/Program Files/Bohemia Interactive/ArmA 2");
        fs::create_directories(path + "/dosdevices");
        fs::create_symlink("../drive_c", path + "/dosdevices/c:");
        fs::create_symlink("/", path + "/dosdevices/z:");
        driveC = fs::canonical(path + "/drive_c").string();
    }
    std::string game() const { return driveC + "/Program Files/Bohemia Interactive/ArmA 2"; }
    void systemReg(const std::string& text) const { writeAll(path + "/system.reg", text); }
};

const std::string kInstalled =
    kHead + key("Software\\\\Wow6432Node\\\\Bohemia Interactive Studio\\\\ArmA 2",
                "\"MAIN\"=\"C:\\\\Program Files\\\\Bohemia Interactive\\\\"
                "arma 2\"");

} // namespace

struct PathCase {
    const char* label;
    std::function<std::string(const Prefix&)> windowsPath;
    std::function<std::string(const Prefix&)> unixPath; // empty: nothing
    friend void PrintTo(const PathCase& c, std::ostream* os) { *os << c.label; }
};

class PathInPrefix : public ::testing::TestWithParam<PathCase> {};

TEST_P(PathInPrefix, GoesThroughTheDrivesAsWineDoes) {
    const Prefix p;
    const auto got = unixPathInPrefix(p.path, GetParam().windowsPath(p));
    EXPECT_EQ(got.value_or(""), GetParam().unixPath(p));
}

INSTANTIATE_TEST_SUITE_P(
    Paths, PathInPrefix,
    ::testing::Values(PathCase{"caseAndSlashes",
                               [](const Prefix&) {
                                   return "c:/PROGRAM FILES/bohemia interactive\\arma 2\\";
                               },
                               [](const Prefix& p) { return p.game(); }},
                      PathCase{"driveZ",
                               [](const Prefix& p) {
                                   std::string w = "Z:" + p.driveC;
                                   std::replace(w.begin(), w.end(), '/', '\\');
                                   return w;
                               },
                               [](const Prefix& p) { return p.driveC; }},
                      PathCase{"driveRelative", [](const Prefix&) { return "C:Program Files"; },
                               [](const Prefix&) { return ""; }},
                      PathCase{"upwards", [](const Prefix&) { return "C:\\..\\..\\etc"; },
                               [](const Prefix&) { return ""; }}),
    ByLabel());

enum class From { Prefix, Executable, Store, Nowhere };

struct GameFolderCase {
    const char* label;
    std::string systemReg; // empty: no file
    bool launcherKey;      // false: the first run
    bool executableThere;
    bool prefixStored; // in the settings, with the environment's prefix elsewhere
    bool storeInstallKey;
    From from;
    friend void PrintTo(const GameFolderCase& c, std::ostream* os) { *os << c.label; }
};

class GameFolder : public ::testing::TestWithParam<GameFolderCase> {};

TEST_P(GameFolder, ComesFromThePrefixOnlyWhenNothingElsePlacesTheGame) {
    const auto& c = GetParam();
    const Prefix p;
    if (!c.systemReg.empty())
        p.systemReg(c.systemReg);
    const std::string reg = p.dir.file("registry.reg");
    const std::string exe = p.dir.file("elsewhere/arma2.exe");
    if (c.executableThere)
        writeAll(exe, "MZ");
    {
        RegFileStore s(reg);
        if (c.launcherKey) {
            openLauncherKey(s, exe);
            if (c.prefixStored)
                s.writeString("wineprefix", p.path);
            s.closeKey();
        }
        if (c.storeInstallKey) {
            s.setRoot(RootKey::LocalMachine);
            s.openKey(kGameInstallKey, true);
            s.writeString("MAIN", "/store/game");
            s.closeKey();
        }
    }
    RegFileStore store(reg);
    LauncherState st;
    RecordingHost host;
    readRegistry(store, st, host, "", c.prefixStored ? p.dir.file("elsewhere") : p.path);
    const std::string expected[] = {p.game(), p.dir.file("elsewhere"), "/store/game", ""};
    EXPECT_EQ(st.settings.gamePath, expected[static_cast<int>(c.from)]);
    EXPECT_EQ(host.dialogShown > 0, !c.executableThere); // the first-run questions as ever
}

INSTANTIATE_TEST_SUITE_P(
    Sources, GameFolder,
    ::testing::Values(
        GameFolderCase{"prefix", kInstalled, true, false, false, false, From::Prefix},
        GameFolderCase{"storedPrefix", kInstalled, true, false, true, false, From::Prefix},
        GameFolderCase{"firstRun", kInstalled, false, false, false, false, From::Prefix},
        GameFolderCase{"executableFirst", kInstalled, true, true, false, false, From::Executable},
        GameFolderCase{"storeKeyFirst", kInstalled, true, false, false, true, From::Store},
        GameFolderCase{
            "staleKeyGivesWayToTheNext",
            kHead +
                key("Software\\\\Bohemia Interactive Studio\\\\ArmA 2", "\"MAIN\"=\"C:\\\\Gone\"") +
                key("Software\\\\Bohemia Interactive Studio\\\\ArmA 2 OA",
                    "\"MAIN\"=str(2):\"C:\\\\Program Files\\\\Bohemia Interactive\\\\"
                    "ArmA 2\""),
            true, false, false, false, From::Prefix},
        GameFolderCase{"damaged", kHead + std::string("\0\xff[\x01\"MAIN\"=\"C:\\\\\n", 17), true,
                       false, false, false, From::Nowhere},
        GameFolderCase{"truncated", kInstalled.substr(0, kInstalled.size() - 6), true, false, false,
                       false, From::Nowhere},
        GameFolderCase{"noRegistryFile", "", true, false, false, false, From::Nowhere}),
    ByLabel());

TEST(WinePrefix, ProfilesComeFromThePrefixAsFromUserProfile) {
    const Prefix p;
    const std::string login = getpwuid(getuid())->pw_name;
    writeAll(p.driveC + "/users/" + login + "/Documents/ArmA 2/Alpha.ArmAProfile", "");
    writeAll(p.driveC + "/users/steamuser/My Documents/ArmA 2/Bravo.ArmAProfile", "");
    writeAll(p.driveC + "/users/steamuser/My Documents/ArmA 2/alpha.ArmAProfile", "");
    writeAll(p.dir.file("home/My Documents/ArmA 2/Charlie.ArmAProfile"), "");
    const std::string reg = p.dir.file("registry.reg");
    const std::string exe = p.dir.file("arma2.exe");
    writeAll(exe, "MZ");
    {
        RegFileStore s(reg);
        openLauncherKey(s, exe);
        s.closeKey();
    }
    RegFileStore store(reg);
    LauncherState st;
    RecordingHost host;
    readRegistry(store, st, host, p.dir.file("home"), p.path);
    EXPECT_EQ(host.playerList, (std::vector<std::string>{"Alpha", "Bravo", "Charlie"}));
}
