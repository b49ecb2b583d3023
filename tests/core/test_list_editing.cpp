#include "list_editing.h"
#include "param_names.h"
#include "recording_host.h"
#include "registry_io.h"
#include "temp_dir.h"
#include "test_store.h"

#include <gtest/gtest.h>

#include <algorithm>

#ifdef _WIN32
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#endif

using namespace quorvale;

namespace {

ModTable modsWithDirs(const std::vector<std::string>& dirs) {
    ModTable t;
    for (const auto& d : dirs) {
        t.entries.push_back({100 + t.count(), "Mod " + d, d, false});
    }
    return t;
}

struct TickCase {
    const char* label;
    std::string mods;
    std::vector<std::string> dirs;
    std::string items; // "+" ticked, "-" not, "?" among no mods of the table
    std::string saved; // what saving the list unchanged stores
    friend void PrintTo(const TickCase& c, std::ostream* os) { *os << c.label; }
};

class ServerMods : public ::testing::TestWithParam<TickCase> {};

TEST_P(ServerMods, ListInStoredOrderAndSaveBack) {
    const TickCase& c = GetParam();
    const auto items = serverModItems(c.mods, modsWithDirs(c.dirs));
    std::string shown;
    for (const ServerModItem& i : items)
        shown += (i.ticked ? "+" : "-") + i.folder + (i.slot < 0 ? "? " : " ");
    EXPECT_EQ(shown, c.items);
    EXPECT_EQ(modsFromItems(items), c.saved);
}

INSTANTIATE_TEST_SUITE_P(
    Tokens, ServerMods,
    ::testing::Values(
        // A folder no mod has any more stays in its place until the player unticks it.
        TickCase{"storedOrderThenTheOthers",
                 "dirA;dirB;dirA;",
                 {"dirB", "dirC"},
                 "+dirA? +dirB -dirC ",
                 "dirA;dirB;"},
        TickCase{
            "lastTokenNeedsItsSemicolon", "dirA;dirB", {"dirA", "dirB"}, "+dirA -dirB ", "dirA;"},
        TickCase{"letterCaseCounts", "DIRA;", {"dirA"}, "+DIRA? -dirA ", "DIRA;"},
        TickCase{"aFolderTwiceLoadsOnce", "x;", {"x", "x"}, "+x -x ", "x;"},
        TickCase{"emptyTicksNothing", "", {"a"}, "-a ", ""},
        TickCase{"nulIsSkipped", std::string("a\0b;", 4), {"ab"}, "+ab ", "ab;"},
        TickCase{"noMods", "a;", {}, "+a? ", "a;"},
        TickCase{"emptyTokenMatchesAnEmptyFolder", ";", {"", "a"}, "+ -a ", ";"}),
    ByLabel());

struct HistoryCase {
    const char* label;
    std::string stored;
    std::vector<std::vector<std::string>> servers; // host, port, query port, name
};

class History : public ::testing::TestWithParam<HistoryCase> {};

TEST_P(History, ReadsWhatItCanAndWritesItBack) {
    const HistoryCase& c = GetParam();
    const std::vector<ServerEntry> read = parseHistory(c.stored);
    std::vector<std::vector<std::string>> got;
    for (const ServerEntry& e : read)
        got.push_back({e.host, e.port, e.queryPort, e.name});
    EXPECT_EQ(got, c.servers);
    EXPECT_EQ(parseHistory(historyText(read)), read);
}

INSTANTIATE_TEST_SUITE_P(
    Lines, History,
    ::testing::Values(HistoryCase{"twoServers",
                                  "h1\t2302\t2303\tA b\nh2\t2402\t\tB\n",
                                  {{"h1", "2302", "2303", "A b"}, {"h2", "2402", "", "B"}}},
                      HistoryCase{"cutShort", "h1\t2302", {{"h1", "2302", "", ""}}},
                      HistoryCase{
                          "noHostSkipped", "\t2302\t\tX\n\nh\t1\t2\tY", {{"h", "1", "2", "Y"}}},
                      HistoryCase{"empty", "", {}}),
    ByLabel());

TEST(History, TheLatestJoinComesFirstOnceAndTheOldestGo) {
    std::vector<ServerEntry> history;
    for (int i = 0; i < 60; ++i)
        rememberJoined(history,
                       {0, "S" + std::to_string(i), "h", std::to_string(i), "", "pw", false, ""});
    rememberJoined(history, {0, "Again\tand\nagain", "H", "55", "", "", false, ""});
    ASSERT_EQ(history.size(), HistoryCapacity);
    EXPECT_EQ(history[0].name, "Again\tand\nagain");
    EXPECT_EQ(history[1].port, "59");
    EXPECT_EQ(history[0].password + history[2].password, ""); // no password is kept
    EXPECT_EQ(history.back().port, "10"); // 55 left its place: the host matches in any case
    EXPECT_EQ(parseHistory(historyText(history))[0].name, "Again and again");
}

TEST(DeleteEntry, ClosesTheGapInPlace) {
    ModTable m = modsWithDirs({"A", "B", "C"});
    m.entries[2].checked = true;
    deleteModEntry(m, 1);
    ASSERT_EQ(m.count(), 2);
    EXPECT_EQ(m.entries[0].folder, "A");
    EXPECT_EQ(m.entries[1].folder, "C");
    EXPECT_EQ(m.entries[1].id, 102);
    EXPECT_FALSE(m.entries[0].checked);
    EXPECT_TRUE(m.entries[1].checked);

    deleteModEntry(m, -1); // a typed, unselected name
    EXPECT_EQ(m.count(), 2);

    ModTable only = modsWithDirs({"A"});
    deleteModEntry(only, 0);
    EXPECT_EQ(only.count(), 0);
}

TEST(DeleteEntry, ServersMoveTheirStoredColumns) {
    ServerTable s;
    for (int i = 0; i < 3; ++i) {
        s.entries.emplace_back();
        s.entries[i].id = 10 + i;
        s.entries[i].name = "S" + std::to_string(i);
        s.entries[i].host = "10.0.0." + std::to_string(i);
        s.entries[i].port = std::to_string(2300 + i);
        s.entries[i].queryPort = i == 1 ? "" : std::to_string(2400 + i);
        s.entries[i].password = "p" + std::to_string(i);
        s.entries[i].joinWithSockets = i == 1;
        s.entries[i].mods = "m" + std::to_string(i) + ";";
    }
    deleteServerEntry(s, 0);
    ASSERT_EQ(s.count(), 2);
    for (int w = 0; w < 2; ++w) {
        const std::string j = std::to_string(w + 1);
        EXPECT_EQ(s.entries[w].name, "S" + j);
        EXPECT_EQ(s.entries[w].host, "10.0.0." + j);
        EXPECT_EQ(s.entries[w].port, std::to_string(2301 + w));
        EXPECT_EQ(s.entries[w].queryPort, w == 0 ? "" : "2402");
        EXPECT_EQ(s.entries[w].password, "p" + j);
        EXPECT_EQ(s.entries[w].joinWithSockets, w == 0);
        EXPECT_EQ(s.entries[w].mods, "m" + j + ";");
    }
    EXPECT_NE(s.entries[0].id, s.entries[1].id);
}

TEST(SaveEntry, NewEntriesAndExistingOnes) {
    std::mt19937 rng(7);
    ModTable m;
    ASSERT_TRUE(saveModEntry(m, -1, "", "", rng)); // nothing typed is stored as typed
    EXPECT_EQ(m.count(), 1);
    EXPECT_FALSE(m.entries[0].checked);
    EXPECT_GE(m.entries[0].id, 0);
    EXPECT_LE(m.entries[0].id, 9'999'999);

    m.entries[0].checked = true;
    const int32_t id = m.entries[0].id;
    ASSERT_TRUE(saveModEntry(m, 0, " New name ", "dir", rng));
    EXPECT_EQ(m.entries[0].name, " New name ");
    EXPECT_EQ(m.entries[0].id, id);
    EXPECT_TRUE(m.entries[0].checked);

    ServerTable s;
    ASSERT_TRUE(saveServerEntry(s, -1, {"n", "", "x", "p w", "2400"}, "dirC;", rng));
    EXPECT_TRUE(s.entries[0].joinWithSockets);
    EXPECT_EQ(s.entries[0].mods, "dirC;");
    EXPECT_EQ(s.entries[0].port, "x");
    EXPECT_EQ(s.entries[0].queryPort, "2400");
    s.entries[0].joinWithSockets = false;
    const int32_t sid = s.entries[0].id;
    ASSERT_TRUE(saveServerEntry(s, 0, {"n", "h", "2302", "", ""}, "", rng));
    EXPECT_TRUE(s.entries[0].joinWithSockets);
    EXPECT_EQ(s.entries[0].id, sid);
    EXPECT_EQ(s.entries[0].mods, "");
    EXPECT_EQ(s.entries[0].queryPort, "");
}

TEST(SaveEntry, AFullTableRefusesANewEntryAndKeepsEveryOther) {
    std::mt19937 rng(1);
    ModTable m;
    m.entries.resize(TableCapacity);
    EXPECT_FALSE(saveModEntry(m, -1, "one too many", "x", rng));
    EXPECT_EQ(m.count(), TableCapacity);
    EXPECT_TRUE(saveModEntry(m, 1024, "last", "x", rng));
    EXPECT_EQ(m.entries[1024].name, "last");

    ServerTable s;
    s.entries.resize(TableCapacity);
    EXPECT_FALSE(saveServerEntry(s, -1, {"n", "h", "1", "", ""}, "", rng));
    EXPECT_EQ(s.count(), TableCapacity);
    EXPECT_EQ(tableFullMessage("mod"),
              "The mod list is full (1025 entries). Delete an entry before adding a new one.");
}

// A game folder: X holds addons, Y dta, Z neither, .H (hidden) addons, a file "F".
struct GameFolder {
    TempDir dir;
    GameFolder() {
        // real mods ship their data folder in any letter case
        for (const char* p : {"X/addons", "Y/dta", "Z/other", ".H/addons", "U/AddOns", "V/DTA"})
            std::filesystem::create_directories(dir.path() / p);
        writeAll(dir.file("F"), "");
#ifdef _WIN32
        // Windows hides by attribute, not by a leading dot.
        SetFileAttributesW((dir.path() / ".H").c_str(), FILE_ATTRIBUTE_HIDDEN);
#endif
        writeAll(dir.file("addons"), ""); // a file named like the sub-folder is no mod
        writeAll(dir.file("Y/mod.cpp"), "name = \"Mod Y\";"); // its display name
    }
    std::string path() const {
        return dir.path().string();
    }
};

std::vector<std::string> sorted(std::vector<std::string> v) {
    std::sort(v.begin(), v.end());
    return v;
}

TEST(ModScan, OffersModFoldersThatAreNotHiddenOrKnown) {
    GameFolder g;
    ModScan scan = scanForMods(g.path(), ModTable{});
    EXPECT_EQ(sorted(scan.found), (std::vector<std::string>{"U", "V", "X", "Y"}));
    EXPECT_EQ(sorted(scan.names), (std::vector<std::string>{"Mod Y", "U", "V", "X"}));
    EXPECT_EQ(scan.leftOut, 0);
    EXPECT_FALSE(scan.gameFolderUnknown);

    // A display name in other letter case hides the folder, whatever its folder name.
    ModTable byName = modsWithDirs({"elsewhere"});
    byName.entries[0].name = "x";
    EXPECT_EQ(sorted(scanForMods(g.path(), byName).found),
              (std::vector<std::string>{"U", "V", "Y"}));
    byName.entries[0].name = "mod y"; // as does mod.cpp's
    EXPECT_EQ(sorted(scanForMods(g.path(), byName).found),
              (std::vector<std::string>{"U", "V", "X"}));
    // The same folder under another display name is offered again.
    ModTable byDir = modsWithDirs({"X"});
    EXPECT_EQ(sorted(scanForMods(g.path(), byDir).found),
              (std::vector<std::string>{"U", "V", "X", "Y"}));
}

TEST(ModScan, OnlyAsciiLettersIgnoreCase) {
    EXPECT_TRUE(sameAsciiNoCase("Abc_Z", "aBC_z"));
    EXPECT_FALSE(sameAsciiNoCase("\xc3\x84", "\xc3\xa4")); // Ä, ä
    EXPECT_FALSE(sameAsciiNoCase("a", "a "));
}

TEST(ModScan, NothingToScan) {
    EXPECT_TRUE(scanForMods("", ModTable{}).gameFolderUnknown);
    const ModScan missing = scanForMods("/nonexistent/quorvale/game", ModTable{});
    EXPECT_FALSE(missing.gameFolderUnknown);
    EXPECT_TRUE(missing.found.empty());
}

TEST(ModScan, AFullTableTakesOnlyWhatFits) {
    GameFolder g;
    ModTable m;
    m.entries.resize(TableCapacity - 1); // room for one
    const ModScan scan = scanForMods(g.path(), m);
    EXPECT_EQ(scan.found.size(), 1u);
    EXPECT_EQ(scan.leftOut, 3);
    EXPECT_EQ(scanQuestion(scan), "Found mods:\r\n" + scan.found[0] +
                                      "\r\n\r\n\r\n3 more mod folders do not fit in the mod "
                                      "list (at most 1025 entries) and are left out.\r\n\r\n"
                                      "Add to mods list?");
}

// Which limit left folders out decides what the player is told.
TEST(ModScan, TheLeftOutTextNamesTheLimitThatWasHit) {
    TempDir dir;
    for (int i = 0; i < MaxFoundMods + 2; ++i)
        std::filesystem::create_directories(dir.path() / ("m" + std::to_string(i)) / "addons");
    const ModScan scan = scanForMods(dir.path().string(), ModTable{});
    EXPECT_EQ(scan.found.size(), size_t(MaxFoundMods));
    EXPECT_TRUE(scan.scanLimitHit);
    EXPECT_EQ(leftOutMessage(scan),
              "2 more mod folders are left out: one scan adds at most 1001 mods. Scan again to "
              "add them.");
    ModTable nearlyFull;
    nearlyFull.entries.resize(TableCapacity - 2);
    const ModScan full = scanForMods(dir.path().string(), nearlyFull);
    EXPECT_FALSE(full.scanLimitHit);
    EXPECT_EQ(leftOutMessage(full).find("1001 more mod folders do not fit in the mod list"), 0u);
}

TEST(ModScan, QuestionText) {
    ModScan scan;
    scan.found = {"A", "B"};
    EXPECT_EQ(scanQuestion(scan), "Found mods:\r\nA\r\nB\r\n\r\n\r\nAdd to mods list?");
}

// Adding n found mods in one go stores the same as n adds, each stored and reloaded.
TEST(addFoundMods, OneStoreEqualsOneAddAfterAnother) {
    const std::vector<std::string> names{"b", "a", "c10", "c9"};
    TempDir game;
    const std::string exe = game.file("arma2.exe");
    writeAll(exe, "");
    auto run = [&](bool oneByOne, std::vector<std::string>& traces) {
        clearTestRegistry();
        TempDir dir;
        const std::string path = dir.file("registry.reg");
        {
            auto s = openTestStore(path);
            s->openKey(kLauncherKey, true);
            s->writeString("executable", exe);
            s->writeInteger("nosplash", 0);
            s->writeInteger("window", 0);
            s->openKey(std::string(kModsKey) + "\\5", true);
            s->writeString("name", "old");
            s->writeString("dir", "old");
            s->writeInteger("checked", 1);
            s->closeKey();
        }
        LauncherState st;
        RecordingHost host;
        auto store = openTestStore(path);
        readRegistry(*store, st, host, "");
        std::mt19937 rng(42);
        const auto trace = [&](const std::string& t) { traces.push_back(t); };
        if (oneByOne) {
            for (const auto& n : names) {
                addFoundMods(st.mods, {n}, rng, trace);
                saveRegistry(*store, st);
                readRegistry(*store, st, host, "");
            }
        } else {
            addFoundMods(st.mods, names, rng, trace);
            saveRegistry(*store, st);
            readRegistry(*store, st, host, "");
        }
        store.reset();
        return std::make_pair(storeSnapshot(path), st.mods.count());
    };
    std::vector<std::string> t1, t2;
    const auto one = run(true, t1);
    const auto all = run(false, t2);
    EXPECT_EQ(one, all);
    EXPECT_EQ(all.second, 5);
    EXPECT_EQ(t2, (std::vector<std::string>{"ADD:b", "ADD:a", "ADD:c10", "ADD:c9"}));
    EXPECT_EQ(t1, t2);
}

TEST(addFoundMods, EachIsAnUntickedModNamedAfterItsFolderWithItsOwnId) {
    ModTable m = modsWithDirs({"old"});
    m.entries[0].checked = true;
    std::mt19937 rng(3);
    addFoundMods(m, {"X", "Y"}, rng, {});
    ASSERT_EQ(m.count(), 3);
    for (int k = 1; k <= 2; ++k) {
        EXPECT_EQ(m.entries[k].name, m.entries[k].folder);
        EXPECT_FALSE(m.entries[k].checked);
        EXPECT_GE(m.entries[k].id, k);
        EXPECT_LE(m.entries[k].id, 9'999'999 + k);
    }
    EXPECT_NE(m.entries[1].id, m.entries[2].id);
}

} // namespace
