#include "errors.h"
#include "list_editing.h"
#include "param_names.h"
#include "recording_host.h"
#include "reg_file_store.h"
#include "registry_io.h"
#include "temp_dir.h"
#include "test_store.h"

#include <gtest/gtest.h>
#include <optional>

using namespace quorvale;

namespace {

// A store file prepared the way an earlier run of the launcher would have left it.
struct Fixture {
    TempDir dir;
    std::string path = dir.file("registry.reg");
    std::string exe = dir.file("game/arma2.exe");

    Fixture() {
        clearTestRegistry();
        writeAll(exe, "stub");
    }

    void launcherKey(const std::function<void(RegistryStore&)>& fill, bool basics = true) {
        auto store_ = openTestStore(path);
        RegistryStore& s = *store_;
        s.openKey(kLauncherKey, true);
        if (basics) {
            s.writeString("executable", exe);
            s.writeInteger("nosplash", 1);
            s.writeInteger("window", 0);
        }
        fill(s);
        s.closeKey();
    }
    static void mod(RegistryStore& s, const std::string& id, const std::string& name,
                    const std::string& dir, int checked) {
        s.openKey(std::string(kModsKey) + "\\" + id, true);
        s.writeString("name", name);
        s.writeString("dir", dir);
        s.writeInteger("checked", checked);
    }
    static void server(RegistryStore& s, const std::string& id, const std::string& name) {
        s.openKey(std::string(kServersKey) + "\\" + id, true);
        s.writeString("name", name);
        s.writeString("ip", "10.0.0.5");
        s.writeString("port", "2302");
        s.writeString("pass", "");
        s.writeString("mods", "dirA;");
        s.writeInteger("sockets", 1);
    }
    void load(LauncherState& st, RecordingHost& host, const std::string& profile = "") {
        auto store_ = openTestStore(path);
        RegistryStore& s = *store_;
        readRegistry(s, st, host, profile);
    }
    void save(LauncherState& st) {
        auto store_ = openTestStore(path);
        RegistryStore& s = *store_;
        saveRegistry(s, st);
    }
};

} // namespace

TEST(reloadSettings, FirstRunCreatesTheKeyWithItsFirstValues) {
    Fixture f;
    LauncherState st;
    RecordingHost host;
    host.dialogAnswers = {f.exe};
    f.load(st, host);
    ASSERT_GE(host.messages.size(), 1u);
    EXPECT_EQ(host.messages[0], "Select the ArmA 2 executable.");
    EXPECT_EQ(host.messages.size(), 1u); // the chosen file exists: no second message
    EXPECT_EQ(host.dialogShown, 1);
    EXPECT_EQ(st.mods.count(), 0);
    EXPECT_EQ(st.servers.count(), 0);
    EXPECT_EQ(host.executableLabel, f.exe);
    EXPECT_EQ(host.modListRefills, 1);
    EXPECT_EQ(host.addressRefreshed, 1);

    auto store_ = openTestStore(f.path);
    RegistryStore& s = *store_;
    ASSERT_TRUE(s.openKeyReadOnly(kLauncherKey));
    EXPECT_EQ(s.readString("executable"), f.exe);
    EXPECT_EQ(s.readInteger("nosplash"), 1);
    EXPECT_EQ(s.readInteger("window"), 0);
    EXPECT_EQ(s.readInteger("close"), 0);
    EXPECT_EQ(s.readInteger("watchers"), 1);
    EXPECT_EQ(s.readString("o_sound1"), "none");
    EXPECT_EQ(s.readString("o_sound2"), "none");
    EXPECT_FALSE(s.valueExists("flash"));
    EXPECT_FALSE(s.valueExists("maxmem"));
    EXPECT_TRUE(s.subKeyNames() == (std::vector<std::string>{"mods", "servers"}));
    ASSERT_TRUE(s.openKeyReadOnly(kModsKey));
    EXPECT_TRUE(s.subKeyNames().empty());
}

TEST(reloadSettings, FirstRunCancelledWritesAnEmptyExecutableAndAsksAgain) {
    Fixture f;
    LauncherState st;
    RecordingHost host; // the dialog is cancelled every time: its file name stays empty
    f.load(st, host);
    EXPECT_EQ(host.messages,
              (std::vector<std::string>{"Select the ArmA 2 executable.",
                                        "ArmA Executable not found! Select the correct ArmA "
                                        "executable."}));
    EXPECT_EQ(host.dialogShown, 2);
    EXPECT_EQ(st.settings.executable, "");
}

TEST(reloadSettings, MissingValuesTakeTheirFallbacks) {
    Fixture f;
    f.launcherKey([](RegistryStore&) {});
    LauncherState st;
    st.settings.flashTaskbar = false;
    RecordingHost host;
    f.load(st, host);
    EXPECT_TRUE(host.messages.empty());
    EXPECT_TRUE(st.settings.flashTaskbar);
    EXPECT_FALSE(st.settings.runTrackIr);
    EXPECT_FALSE(st.settings.closeAfterLaunch);
    EXPECT_EQ(st.settings.alertSound, AlertSound::Default);
    EXPECT_EQ(st.settings.maxMemory, 0);
    EXPECT_EQ(st.settings.newGameSound, "none");
    EXPECT_EQ(st.settings.playersBackSound, "none");
    EXPECT_EQ(st.settings.additionalParameters, "");
    EXPECT_TRUE(st.settings.noSplash);
    EXPECT_FALSE(st.settings.windowed);
}

struct SoundCase {
    const char* label;
    std::function<void(RegistryStore&)> fill;
    const char* sound1;
    const char* sound2;
    friend void PrintTo(const SoundCase& c, std::ostream* os) { *os << c.label; }
};

class SoundPair : public ::testing::TestWithParam<SoundCase> {};

TEST_P(SoundPair, LoadsAsOneUnit) {
    Fixture f;
    f.launcherKey(GetParam().fill);
    LauncherState st;
    RecordingHost host;
    f.load(st, host);
    EXPECT_EQ(st.settings.newGameSound, GetParam().sound1);
    EXPECT_EQ(st.settings.playersBackSound, GetParam().sound2);
}

INSTANTIATE_TEST_SUITE_P(Sounds, SoundPair,
                         ::testing::Values(SoundCase{"bothSet",
                                                     [](RegistryStore& s) {
                                                         s.writeString("sound1", "a.wav");
                                                         s.writeString("sound2", "b.wav");
                                                     },
                                                     "a.wav", "b.wav"},
                                           SoundCase{"emptyFirst",
                                                     [](RegistryStore& s) {
                                                         s.writeString("sound1", "");
                                                         s.writeString("sound2", "b.wav");
                                                     },
                                                     "none", "b.wav"},
                                           SoundCase{"dwordFirst",
                                                     [](RegistryStore& s) {
                                                         s.writeInteger("sound1", 3);
                                                         s.writeString("sound2", "b.wav");
                                                     },
                                                     "none", "none"},
                                           SoundCase{"dwordSecond",
                                                     [](RegistryStore& s) {
                                                         s.writeString("sound1", "a.wav");
                                                         s.writeInteger("sound2", 3);
                                                     },
                                                     "none", "none"},
                                           SoundCase{"expandString",
                                                     [](RegistryStore& s) {
                                                         s.writeExpandString("sound1",
                                                                             "%WINDIR%\\a.wav");
                                                         s.writeString("sound2", "");
                                                     },
                                                     "%WINDIR%\\a.wav", "none"}),
                         ByLabel());

TEST(reloadSettings, MissingExecutableAsksAndWritesTheChoiceBack) {
    Fixture f;
    f.launcherKey([](RegistryStore& s) { s.writeString("executable", "/no/such/arma2.exe"); });
    LauncherState st;
    RecordingHost host;
    host.dialogAnswers = {"/chosen/but/unchecked.exe"};
    f.load(st, host);
    EXPECT_EQ(host.messages,
              (std::vector<std::string>{
                  "ArmA Executable not found! Select the correct ArmA executable."}));
    EXPECT_EQ(st.settings.executable, "/chosen/but/unchecked.exe");
    auto store_ = openTestStore(f.path);
    RegistryStore& s = *store_;
    s.openKeyReadOnly(kLauncherKey);
    EXPECT_EQ(s.readString("executable"), "/chosen/but/unchecked.exe");
}

TEST(reloadSettings, GameFolderComesFromTheInstallKeyElseFromTheExecutable) {
    Fixture f;
    f.launcherKey([](RegistryStore&) {});
    LauncherState st;
    RecordingHost host;
    f.load(st, host);
    EXPECT_EQ(st.settings.gamePath, f.dir.file("game"));

    {
        auto store_ = openTestStore(f.path);
        RegistryStore& s = *store_;
        s.setRoot(RootKey::LocalMachine);
        s.openKey(kGameInstallKey, true);
        s.writeString("MAIN", "D:\\ArmA 2");
        s.closeKey();
    }
    f.load(st, host);
    EXPECT_EQ(st.settings.gamePath, "D:\\ArmA 2");
}

TEST(reloadSettings, PlayerNameAndProfiles) {
    Fixture f;
    f.launcherKey([](RegistryStore& s) {
        s.openKey(kGameUserKey, true);
        s.writeString("Player Name", "Zulu");
    });
    const std::string profiles = f.dir.file("home/My Documents/ArmA 2/");
    for (const char* n :
         {"Bravo.ArmAProfile", "Alpha.ArmAProfile", "notes.txt", "Charlie.armaprofile",
          "x.ArmAProfile.ArmAProfile", "../../Documents/ArmA 2/Delta.ArmA2Profile",
          "../../Documents/ArmA 2/Alpha.ArmA2OAProfile",
          "../ArmA 2 Other Profiles/Echo%20X/Echo%20X.ArmA2Profile",
          "../ArmA 2 Other Profiles/Echo%20X/Echo%20X.ArmA2OAProfile"})
        writeAll(profiles + n, "");
    LauncherState st;
    RecordingHost host;
    f.load(st, host, f.dir.file("home"));
    EXPECT_EQ(host.playerName, "Zulu"); // kept although no profile has that name
    EXPECT_EQ(host.playerList,
              (std::vector<std::string>{"Alpha", "Bravo", "Charlie", "Delta", "Echo X", "x"}));

    RecordingHost noProfiles;
    f.load(st, noProfiles, f.dir.file("nowhere"));
    EXPECT_TRUE(noProfiles.playerList.empty());
}

TEST(reloadSettings, NoGameUserKeyLeavesThePlayerNameEmpty) {
    Fixture f;
    f.launcherKey([](RegistryStore&) {});
    LauncherState st;
    RecordingHost host;
    f.load(st, host);
    EXPECT_EQ(host.playerName, "");
}

TEST(reloadSettings, TablesLoadInStoreOrder) {
    Fixture f;
    f.launcherKey([](RegistryStore& s) {
        Fixture::mod(s, "9", "Nine", "@nine", 0);
        Fixture::mod(s, "10", "Ten", "@ten", 1);
        Fixture::server(s, "4711", "Home");
    });
    LauncherState st;
    RecordingHost host;
    f.load(st, host);
    ASSERT_EQ(st.mods.count(), 2);
    EXPECT_EQ(st.mods.entries[0].id, 10);
    EXPECT_EQ(st.mods.entries[0].name, "Ten");
    EXPECT_TRUE(st.mods.entries[0].checked);
    EXPECT_EQ(st.mods.entries[1].id, 9);
    EXPECT_EQ(st.mods.entries[1].folder, "@nine");
    EXPECT_FALSE(st.mods.entries[1].checked);
    ASSERT_EQ(st.servers.count(), 1);
    EXPECT_EQ(st.servers.entries[0].id, 4711);
    EXPECT_EQ(st.servers.entries[0].host, "10.0.0.5");
    EXPECT_EQ(st.servers.entries[0].mods, "dirA;");
    EXPECT_TRUE(st.servers.entries[0].joinWithSockets);
}

struct FailCase {
    const char* label;
    std::function<void(RegistryStore&)> fill;
    const char* message;
    int modsLoaded; // -2: the mod table is not reached
    friend void PrintTo(const FailCase& c, std::ostream* os) { *os << c.label; }
};

class LoadFailure : public ::testing::TestWithParam<FailCase> {};

TEST_P(LoadFailure, EndsTheLoadKeepingWhatCameBefore) {
    const auto& c = GetParam();
    Fixture f;
    f.launcherKey(c.fill, false);
    LauncherState st;
    st.mods.entries.clear();
    RecordingHost host;
    try {
        f.load(st, host);
        FAIL() << "the load went through";
    } catch (const LauncherError& e) {
        EXPECT_STREQ(e.what(), c.message);
    }
    EXPECT_EQ(host.modListRefills, 0);
    EXPECT_EQ(host.executableLabel, "");
    if (c.modsLoaded >= 0) {
        EXPECT_EQ(st.mods.count(), c.modsLoaded);
        EXPECT_EQ(st.mods.entries[0].name, "First");
    }
    // what was loaded before the failure stays
    EXPECT_TRUE(st.settings.noSplash || c.modsLoaded == -2);
}

static void basics(RegistryStore& s, bool nosplash = true, bool window = true) {
    s.writeString("executable", "x");
    if (nosplash)
        s.writeInteger("nosplash", 1);
    if (window)
        s.writeInteger("window", 0);
}

INSTANTIATE_TEST_SUITE_P(
    Failures, LoadFailure,
    ::testing::Values(FailCase{"nosplashMissing", [](RegistryStore& s) { basics(s, false); },
                               "Failed to get data for 'nosplash'", -2},
                      FailCase{"windowWrongType",
                               [](RegistryStore& s) {
                                   basics(s, true, false);
                                   s.writeString("window", "0");
                               },
                               "Invalid data type for 'window'", -2},
                      FailCase{"checkedMissing",
                               [](RegistryStore& s) {
                                   basics(s);
                                   Fixture::mod(s, "1", "First", "a", 1);
                                   s.openKey(std::string(kModsKey) + "\\2", true);
                                   s.writeString("name", "Second");
                               },
                               "Failed to get data for 'checked'", 1},
                      FailCase{"subkeyNotANumber",
                               [](RegistryStore& s) {
                                   basics(s);
                                   Fixture::mod(s, "1", "First", "a", 1);
                                   Fixture::mod(s, "mod2", "Second", "b", 1);
                               },
                               "'mod2' is not a valid integer value", 1},
                      FailCase{"socketsWrongType",
                               [](RegistryStore& s) {
                                   basics(s);
                                   Fixture::mod(s, "1", "First", "a", 1);
                                   s.openKey(std::string(kServersKey) + "\\5", true);
                                   s.writeString("sockets", "1");
                               },
                               "Invalid data type for 'sockets'", 1}),
    ByLabel());

TEST(storeSettings, LoadSaveLoadIsIdentityAndASecondSaveChangesNothing) {
    Fixture f;
    f.launcherKey([](RegistryStore& s) {
        s.writeString("sound1", "a.wav");
        s.writeInteger("maxmem", 1024);
        Fixture::mod(s, "9", "Nine", "@nine", 0);
        Fixture::mod(s, "10", "Ten \"quoted\"", "@ten", 1);
        Fixture::server(s, "4711", "Höme");
    });
    LauncherState st;
    RecordingHost host;
    f.load(st, host);
    f.save(st);
    const std::string once = storeSnapshot(f.path);
    f.save(st);
    EXPECT_EQ(storeSnapshot(f.path), once);

    LauncherState again;
    f.load(again, host);
    ASSERT_EQ(again.mods.count(), st.mods.count());
    for (size_t i = 0; i < st.mods.entries.size(); ++i) {
        EXPECT_EQ(again.mods.entries[i].id, st.mods.entries[i].id);
        EXPECT_EQ(again.mods.entries[i].name, st.mods.entries[i].name);
        EXPECT_EQ(again.mods.entries[i].folder, st.mods.entries[i].folder);
        EXPECT_EQ(again.mods.entries[i].checked, st.mods.entries[i].checked);
    }
    EXPECT_EQ(again.servers.entries[0].name, "Höme");
    EXPECT_EQ(again.settings.newGameSound, "a.wav");
    EXPECT_EQ(again.settings.maxMemory, 1024);

    auto store_ = openTestStore(f.path);
    RegistryStore& s = *store_;
    s.openKeyReadOnly(kLauncherKey);
    for (const char* v : {"executable", "nosplash", "window", "runtir", "flash", "close", "sound1",
                          "sound2", "watchers", "maxmem", "extraParams", "extraExec"})
        EXPECT_TRUE(s.valueExists(v)) << v;
    s.openKeyReadOnly(std::string(kServersKey) + "\\4711");
    for (const char* v : {"name", "ip", "pass", "port", "mods", "sockets"})
        EXPECT_TRUE(s.valueExists(v)) << v;
}

// The query port came after the other server values: stores without it, or with a value of
// another type, must load, and a save must not leave a value the slot no longer stands for.
struct QueryPortCase {
    const char* label;
    std::function<void(RegistryStore&)> stored; // more values of server 1's key
    const char* loaded;                         // server 1's query port after the load
    std::function<void(LauncherState&)> edit;   // what the player changes before the save
    std::optional<std::string> saved;           // server 1's "queryport" after it; none: absent
    bool sameBytes;                             // the save leaves the store as it was
    friend void PrintTo(const QueryPortCase& c, std::ostream* os) { *os << c.label; }
};

class QueryPort : public ::testing::TestWithParam<QueryPortCase> {};

TEST_P(QueryPort, LoadsAndSaves) {
    const auto& c = GetParam();
    Fixture f;
    f.launcherKey([&](RegistryStore& s) {
        // every value the load reads, so that a save without changes rewrites the same store
        for (const char* v : {"close", "runtir", "flash", "watchers", "maxmem"})
            s.writeInteger(v, 1);
        for (const char* v : {"sound1", "sound2", "extraParams", "extraExec"})
            s.writeString(v, "x");
        s.openKey(kModsKey, true);
        Fixture::server(s, "1", "A");
        if (c.stored)
            c.stored(s);
        Fixture::server(s, "2", "B");
    });
    const std::string before = storeSnapshot(f.path);
    LauncherState st;
    RecordingHost host;
    f.load(st, host);
    ASSERT_EQ(st.servers.count(), 2);
    EXPECT_EQ(st.servers.entries[0].queryPort, c.loaded);
    EXPECT_EQ(st.servers.entries[1].queryPort, "");
    if (c.edit)
        c.edit(st);
    f.save(st);
    if (c.sameBytes) {
        EXPECT_EQ(storeSnapshot(f.path), before);
    }

    auto store_ = openTestStore(f.path);
    RegistryStore& s = *store_;
    ASSERT_TRUE(s.openKeyReadOnly(std::string(kServersKey) + "\\1"));
    ASSERT_EQ(s.valueExists("queryport"), c.saved.has_value());
    if (c.saved) {
        EXPECT_EQ(s.valueType("queryport"), ValueType::String);
        EXPECT_EQ(s.readString("queryport"), *c.saved);
    }
}

static void queryPort2400(RegistryStore& s) {
    s.writeString("queryport", "2400");
}

INSTANTIATE_TEST_SUITE_P(
    Servers, QueryPort,
    ::testing::Values(
        QueryPortCase{"absent", {}, "", {}, std::nullopt, true},
        QueryPortCase{"stored", queryPort2400, "2400", {}, "2400", true},
        QueryPortCase{"dwordLoadsEmpty",
                      [](RegistryStore& s) { s.writeInteger("queryport", 2400); },
                      "",
                      {},
                      "",
                      false},
        QueryPortCase{"setByThePlayer",
                      {},
                      "",
                      [](LauncherState& st) { st.servers.entries[0].queryPort = "27016"; },
                      "27016",
                      false},
        QueryPortCase{"clearedByThePlayer", queryPort2400, "2400",
                      [](LauncherState& st) { st.servers.entries[0].queryPort.clear(); }, "",
                      false},
        // the slot keeps its subkey and takes the next server, which has no query port
        QueryPortCase{"entryDeleted", queryPort2400, "2400",
                      [](LauncherState& st) { deleteServerEntry(st.servers, 0); }, "", false}),
    ByLabel());

TEST(storeSettings, RemovedEntriesLoseTheirSubkeys) {
    Fixture f;
    f.launcherKey([](RegistryStore& s) {
        Fixture::mod(s, "1", "A", "a", 0);
        Fixture::mod(s, "2", "B", "b", 0);
        Fixture::server(s, "7", "S");
    });
    LauncherState st;
    RecordingHost host;
    f.load(st, host);
    st.mods.entries[0].id = st.mods.entries[1].id;
    st.mods.entries[0].name = st.mods.entries[1].name;
    st.mods.entries.resize(1);
    st.servers.entries.clear();
    f.save(st);
    auto store_ = openTestStore(f.path);
    RegistryStore& s = *store_;
    s.openKeyReadOnly(kModsKey);
    EXPECT_EQ(s.subKeyNames(), std::vector<std::string>{"2"});
    s.openKeyReadOnly(kServersKey);
    EXPECT_TRUE(s.subKeyNames().empty());
}

TEST(storeSettings, WithoutTheLauncherKeyStoresNothing) {
    Fixture f;
    LauncherState st;
    st.settings.executable = "x";
    f.save(st);
    auto store_ = openTestStore(f.path);
    EXPECT_FALSE(store_->openKeyReadOnly(kLauncherKey));
}

TEST(storeSettings, AFailedLoadDoesNotCostTheEntriesItDidNotReach) {
    Fixture f;
    f.launcherKey([](RegistryStore& s) {
        Fixture::mod(s, "1", "First", "a", 1);
        Fixture::mod(s, "2", "Broken", "b", 1);
        Fixture::mod(s, "3", "Third", "c", 0);
        Fixture::server(s, "7", "Kept");
        s.openKey(std::string(kModsKey) + "\\2", true);
        s.writeString("checked", "yes");
    });
    LauncherState st;
    RecordingHost host;
    EXPECT_THROW(f.load(st, host), RegistryError);
    EXPECT_EQ(st.mods.count(), 1);
    f.save(st); // what closing the window does
    auto store_ = openTestStore(f.path);
    RegistryStore& s = *store_;
    s.openKeyReadOnly(kModsKey);
    EXPECT_EQ(s.subKeyNames(), (std::vector<std::string>{"1", "2", "3"}));
    s.openKeyReadOnly(kServersKey);
    EXPECT_EQ(s.subKeyNames(), std::vector<std::string>{"7"});
}

TEST(storeSettings, ALoadThatStopsEarlyLeavesTheValuesItNeverReadAsStored) {
    Fixture f;
    f.launcherKey(
        [&](RegistryStore& s) {
            s.writeString("executable", f.exe);
            s.writeString("nosplash", "1"); // text where a number belongs: the load stops here
            s.writeInteger("window", 1);
            s.writeString("extraParams", "-world=empty");
            s.writeString("extraExec", "before.exe");
            s.writeInteger("maxmem", 2047);
            s.writeInteger("watchers", 2);
            s.writeInteger("flash", 0);
            s.writeString("sound1", "a.wav");
            s.writeString("sound2", "b.wav");
            s.openKey(kModsKey, true);
            s.openKey(kServersKey, true);
        },
        false);
    const std::string stored = storeSnapshot(f.path);
    LauncherState st;
    RecordingHost host;
    EXPECT_THROW(f.load(st, host), RegistryError);
    f.save(st); // closing the window
    EXPECT_EQ(storeSnapshot(f.path), stored);

    st.settings.preLaunchProgram = "after.exe"; // the player changes one value in the options
    f.save(st);
    auto store_ = openTestStore(f.path);
    RegistryStore& s = *store_;
    s.openKeyReadOnly(kLauncherKey);
    EXPECT_EQ(s.readString("extraExec"), "after.exe");
    EXPECT_EQ(s.readString("extraParams"), "-world=empty");
    EXPECT_EQ(s.valueType("nosplash"), ValueType::String);
    EXPECT_EQ(s.readInteger("window"), 1);
    EXPECT_EQ(s.readInteger("maxmem"), 2047);
    EXPECT_EQ(s.readInteger("watchers"), 2);
    EXPECT_EQ(s.readInteger("flash"), 0);
    EXPECT_EQ(s.readString("sound2"), "b.wav");
}

TEST(storeSettings, ATableKeepsAtMostItsCapacityAndLeavesTheRestStored) {
    Fixture f;
    const int total = TableCapacity + 5;
    f.launcherKey([&](RegistryStore& s) {
        for (int i = 0; i < total; ++i)
            Fixture::mod(s, std::to_string(100000 + i), "m" + std::to_string(i), "d", 0);
    });
    LauncherState st;
    RecordingHost host;
    f.load(st, host);
    EXPECT_EQ(st.mods.count(), TableCapacity);
    ASSERT_EQ(host.messages.size(), 1u);
    EXPECT_NE(host.messages[0].find("1030 mods"), std::string::npos) << host.messages[0];
    f.load(st, host); // told once per run
    EXPECT_EQ(host.messages.size(), 1u);

    st.mods.entries.resize(10); // the player deleted most of them
    f.save(st);
    auto store_ = openTestStore(f.path);
    RegistryStore& s = *store_;
    s.openKeyReadOnly(kModsKey);
    EXPECT_EQ(s.subKeyNames().size(), 15u); // 10 kept + the 5 never loaded
}

#ifndef _WIN32
TEST(storeSettings, AnUnreadableStoreFileIsToldAndStartsAFirstRun) {
    Fixture f;
    writeAll(f.path, "garbage");
    LauncherState st;
    RecordingHost host;
    host.dialogAnswers = {f.exe};
    f.load(st, host);
    ASSERT_EQ(host.messages.size(), 2u);
    EXPECT_NE(host.messages[0].find(f.path), std::string::npos);
    EXPECT_EQ(host.messages[1], "Select the ArmA 2 executable.");
}
#endif

TEST(NewIds, NeverCollideWithIdsInUse) {
    ModTable mods;
    std::mt19937 probe(42);
    const int32_t first = std::uniform_int_distribution<int32_t>(0, 9'999'999)(probe);
    mods.entries = {{first, "", "", false}};
    std::mt19937 rng(42);
    const int32_t id = newModId(mods, rng);
    EXPECT_NE(id, first);
    EXPECT_GE(id, 0);
    EXPECT_LE(id, 9'999'999);

    ServerTable servers;
    servers.keys.listed = {std::to_string(first)}; // stored but not loaded
    std::mt19937 rng2(42);
    EXPECT_NE(newServerId(servers, rng2), first);

    std::mt19937 rng3(1);
    const int32_t based = newModId(ModTable{}, rng3, 5);
    EXPECT_GE(based, 5);
    EXPECT_LE(based, 9'999'999 + 5);
}
