#include "errors.h"
#include "param_names.h"
#include "recording_host.h"
#include "reg_file.h"
#include "reg_file_store.h"
#include "registry_io.h"
#include "temp_dir.h"
#include "test_store.h"
#include "text.h"

#include <gtest/gtest.h>

#include <functional>
#include <mutex>
#include <random>
#include <thread>
#ifndef _WIN32
#include <csignal>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

using namespace quorvale;

namespace {

std::string utf16File(const std::u16string& text) {
    std::string b = "\xFF\xFE";
    for (const char16_t c : text) {
        b += static_cast<char>(c & 0xFF);
        b += static_cast<char>(c >> 8);
    }
    return b;
}

std::string fileText(const std::string& bytes) {
    std::u16string u;
    for (size_t i = 2; i + 1 < bytes.size(); i += 2)
        u += static_cast<char16_t>(static_cast<unsigned char>(bytes[i]) |
                                   static_cast<unsigned char>(bytes[i + 1]) << 8);
    return utf16ToUtf8(u);
}

const std::u16string kHeader = u"Windows Registry Editor Version 5.00\r\n\r\n";

// Every key and value of a tree with all that is stored of it, one a line.
void dumpKey(const RegKey& key, const std::string& path, std::string& out) {
    out += "[" + path + "]\n";
    for (const auto& [n, v] : key.values) {
        out += "  '" + v.name + "' " + std::to_string(static_cast<unsigned>(v.type)) + " '" +
               v.text + "' " + std::to_string(v.dword) + " ";
        for (const auto b : v.raw)
            out += std::to_string(b) + ",";
        out += "\n";
    }
    for (const auto& [n, sub] : key.subkeys)
        dumpKey(*sub, path + "\\" + sub->name, out);
}

std::string dumpTree(const RegTree& tree) {
    std::string out;
    for (const auto& [n, root] : tree.roots())
        dumpKey(*root, root->name, out);
    return out;
}

std::vector<std::string> filesIn(const std::filesystem::path& dir) {
    std::vector<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(dir))
        names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

// Saves the text value "v" under \\K through a store on path.
[[maybe_unused]] void saveValue(const std::string& path, const std::string& v,
                                std::function<void(const char*)> beforeStep = {}) {
    RegFileStore store(path);
    store.beforeWriteStep = std::move(beforeStep);
    store.openKey("\\K", true);
    store.writeString("v", v);
    store.closeKey();
}

[[maybe_unused]] std::string storedValue(const std::string& path) {
    RegFileStore store(path);
    EXPECT_EQ(store.takeNotice(), "");
    store.openKeyReadOnly("\\K");
    return store.readString("v");
}

std::string deepKeyLine(int levels) {
    std::string line = "[HKEY_CURRENT_USER";
    for (int i = 0; i < levels; ++i)
        line += "\\k";
    return line + "]\r\n";
}

} // namespace

TEST(RegFile, WritesRegeditsExportFormat) {
    TempDir dir;
    RegFileStore store(dir.file("r.reg"));
    ASSERT_TRUE(store.openKey("\\Software\\Oskelan\\Quorvale\\", true));
    store.writeString("executable", "C:\\Games\\a \"b\"");
    store.writeInteger("close", 31);
    ASSERT_TRUE(store.openKey("\\Software\\Oskelan\\Quorvale\\mods\\9", true));
    ASSERT_TRUE(store.openKey("\\Software\\Oskelan\\Quorvale\\mods\\10", true));
    store.writeString("name", "Zoë");
    store.closeKey();

    const std::string bytes = readAll(store.path());
    ASSERT_GE(bytes.size(), 2u);
    EXPECT_EQ(bytes.substr(0, 2), "\xFF\xFE");
    EXPECT_EQ(fileText(bytes), "Windows Registry Editor Version 5.00\r\n"
                               "\r\n[HKEY_CURRENT_USER\\Software]\r\n"
                               "\r\n[HKEY_CURRENT_USER\\Software\\Oskelan]\r\n"
                               "\r\n[HKEY_CURRENT_USER\\Software\\Oskelan\\Quorvale]\r\n"
                               "\"close\"=dword:0000001f\r\n"
                               "\"executable\"=\"C:\\\\Games\\\\a \\\"b\\\"\"\r\n"
                               "\r\n[HKEY_CURRENT_USER\\Software\\Oskelan\\Quorvale\\mods]\r\n"
                               "\r\n[HKEY_CURRENT_USER\\Software\\Oskelan\\Quorvale\\mods\\10]\r\n"
                               "\"name\"=\"Zoë\"\r\n"
                               "\r\n[HKEY_CURRENT_USER\\Software\\Oskelan\\Quorvale\\mods\\9]\r\n"
                               "\r\n");
}

TEST(RegFile, WrapsHexDataAfterSeventySevenColumns) {
    RegTree tree;
    RegValue v;
    v.name = "e";
    v.type = ValueType::ExpandString;
    v.raw.assign(62, 0x41); // "e"=hex(2): is 11 columns; 22 bytes fill the first line, 25 the next
    tree.findOrCreate("HKEY_CURRENT_USER", "\\K").values.emplace("e", v);
    std::string line1 = "\"e\"=hex(2):", line2 = "  ", line3 = "  ";
    for (int i = 0; i < 22; ++i)
        line1 += "41,";
    for (int i = 0; i < 25; ++i)
        line2 += "41,";
    for (int i = 0; i < 15; ++i)
        line3 += i < 14 ? "41," : "41";
    EXPECT_EQ(fileText(serializeRegFile(tree)),
              "Windows Registry Editor Version 5.00\r\n\r\n[HKEY_CURRENT_USER\\K]\r\n" + line1 +
                  "\\\r\n" + line2 + "\\\r\n" + line3 + "\r\n\r\n");
}

struct RoundTripCase {
    const char* label;
    const char* text;
    bool expand;
    friend void PrintTo(const RoundTripCase& c, std::ostream* os) { *os << c.label; }
};

class RegFileRoundTrip : public ::testing::TestWithParam<RoundTripCase> {};

TEST_P(RegFileRoundTrip, ValueSurvivesWriteAndRead) {
    const auto& c = GetParam();
    TempDir dir;
    {
        RegFileStore store(dir.file("r.reg"));
        store.openKey("\\Software\\Ünïcode \"key\"\\", true);
        if (c.expand)
            store.writeExpandString("v", c.text);
        else
            store.writeString("v", c.text);
        store.writeString("na\"me\\", "x");
        store.closeKey();
    }
    RegFileStore again(dir.file("r.reg"));
    EXPECT_EQ(again.takeNotice(), "");
    ASSERT_TRUE(again.openKeyReadOnly("\\SOFTWARE\\ünïcode \"KEY\""));
    EXPECT_EQ(again.readString("v"), c.text);
    EXPECT_EQ(again.valueType("v"), c.expand ? ValueType::ExpandString : ValueType::String);
    EXPECT_EQ(again.readString("NA\"ME\\"), "x");
}

INSTANTIATE_TEST_SUITE_P(
    Texts, RegFileRoundTrip,
    ::testing::Values(RoundTripCase{"plain", "C:\\Games\\ArmA 2\\arma2.exe", false},
                      RoundTripCase{"quotes", "say \"hi\" \\\" end\\", false},
                      RoundTripCase{"nonAscii", "Jörg Ж 日本 \xF0\x9F\x98\x80", false},
                      RoundTripCase{"newlines", "a\r\nb\nc", false},
                      RoundTripCase{"empty", "", false},
                      RoundTripCase{"expand",
                                    "%USERPROFILE%\\Documents\\long path that wraps "
                                    "over more than one line of the export file",
                                    true},
                      RoundTripCase{"expandEmpty", "", true}),
    ByLabel());

struct OddValueCase {
    const char* label;
    std::u16string body;
    const char* textName = nullptr; // a value that must read as text
    const char* text = nullptr;
    friend void PrintTo(const OddValueCase& c, std::ostream* os) { *os << c.label; }
};

class OddValues : public ::testing::TestWithParam<OddValueCase> {};

// Another program's keys in the file: a save of our own values writes them back as they were.
TEST_P(OddValues, SurviveARewriteUnchanged) {
    const auto& c = GetParam();
    TempDir dir;
    const std::string path = dir.file("r.reg");
    writeAll(path, utf16File(kHeader + c.body));
    RegTree before;
    RegParseError err;
    ASSERT_TRUE(parseRegFile(readAll(path), before, err)) << err.line << ": " << err.message;
    {
        RegFileStore store(path);
        EXPECT_EQ(store.takeNotice(), "");
        if (c.textName) {
            ASSERT_TRUE(store.openKeyReadOnly("\\A"));
            EXPECT_EQ(store.readString(c.textName), c.text);
        }
        store.openKey("\\Trigger", true);
        store.writeInteger("x", 1);
        store.closeKey();
    }
    RegTree after;
    ASSERT_TRUE(parseRegFile(readAll(path), after, err)) << err.line << ": " << err.message;
    after.root("HKEY_CURRENT_USER").subkeys.erase("Trigger");
    EXPECT_EQ(dumpTree(after), dumpTree(before));
}

INSTANTIATE_TEST_SUITE_P(
    Forms, OddValues,
    ::testing::Values(
        OddValueCase{"nulInName", u"[HKEY_CURRENT_USER\\A]\r\n\"a\\0b\"=\"1\"\r\n\"a\"=\"2\"\r\n"},
        OddValueCase{"nulFirstInName", u"[HKEY_CURRENT_USER\\A]\r\n\"\\0b\"=\"1\"\r\n@=\"2\"\r\n"},
        OddValueCase{"nulInText", u"[HKEY_CURRENT_USER\\A]\r\n\"t\"=\"a\\0b\"\r\n"},
        OddValueCase{"textAsBytes", u"[HKEY_CURRENT_USER\\A]\r\n\"h\"=hex(1):41,00,42,00,00,00\r\n",
                     "h", "AB"},
        OddValueCase{"dwordOfTwoBytes", u"[HKEY_CURRENT_USER\\A]\r\n\"d\"=hex(4):01,02\r\n"},
        OddValueCase{"emptyRoot", u"[HKEY_CURRENT_USER\\A]\r\n[HKEY_USERS]\r\n"}),
    ByLabel());

TEST(RegTree, ADeepTreeIsFreedWithoutRecursion) {
    std::string path;
    for (int i = 0; i < 300000; ++i)
        path += "\\k";
    {
        RegTree tree;
        tree.findOrCreate("HKEY_CURRENT_USER", path);
        tree.root("HKEY_CURRENT_USER").subkeys.erase("k");
        tree.findOrCreate("HKEY_CURRENT_USER", path);
    } // and once more by the tree's own end
    SUCCEED();
}

TEST(RegFile, ReadsLfLineEndsAndRegedit4InWindows1252) {
    TempDir dir;
    writeAll(dir.file("lf.reg"), utf16File(u"Windows Registry Editor Version 5.00\n\n"
                                           u"[HKEY_CURRENT_USER\\A]\n\"s\"=\"x\"\n"
                                           u"\"d\"=dword:0000000a\n"
                                           u"\"h\"=hex(2):41,00,\\\n  42,00,00,00\n\n"));
    RegFileStore lf(dir.file("lf.reg"));
    ASSERT_TRUE(lf.openKeyReadOnly("\\A"));
    EXPECT_EQ(lf.readString("s"), "x");
    EXPECT_EQ(lf.readInteger("d"), 10);
    EXPECT_EQ(lf.readString("h"), "AB");

    writeAll(dir.file("v4.reg"), "REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\Software\\G]\r\n"
                                 "\"MAIN\"=\"C:\\\\Spiele\\\\M\xFC\x6C\x6C\\\\\"\r\n"
                                 "\"e\"=hex(2):e9,00\r\n");
    RegFileStore v4(dir.file("v4.reg"));
    v4.setRoot(RootKey::LocalMachine);
    ASSERT_TRUE(v4.openKeyReadOnly("\\Software\\G"));
    EXPECT_EQ(v4.readString("MAIN"), "C:\\Spiele\\Müll\\");
    EXPECT_EQ(v4.readString("e"), "é");
}

TEST(RegFileStore, ReadFailuresCarryTheRegistryTexts) {
    TempDir dir;
    RegFileStore store(dir.file("r.reg"));
    store.openKey("\\K", true);
    store.writeString("s", "text");
    store.writeInteger("d", -1);
    EXPECT_EQ(store.readString("missing"), "");
    EXPECT_EQ(store.readInteger("d"), -1);
    try {
        store.readInteger("missing");
        FAIL();
    } catch (const RegistryError& e) {
        EXPECT_STREQ(e.what(), "Failed to get data for 'missing'");
    }
    try {
        store.readInteger("s");
        FAIL();
    } catch (const RegistryError& e) {
        EXPECT_STREQ(e.what(), "Invalid data type for 's'");
    }
    try {
        store.readString("d");
        FAIL();
    } catch (const RegistryError& e) {
        EXPECT_STREQ(e.what(), "Invalid data type for 'd'");
    }
    store.openKeyReadOnly("\\K");
    EXPECT_THROW(store.writeString("s", "x"), RegistryError);
}

TEST(RegFileStore, ListsSubkeysSortedAndDeletesWholeSubtrees) {
    TempDir dir;
    RegFileStore store(dir.file("r.reg"));
    for (const char* k : {"9", "10", "a", "_x", "B"})
        store.openKey(std::string("\\T\\") + k + "\\deep", true);
    store.openKey("\\T", false);
    EXPECT_EQ(store.subKeyNames(), (std::vector<std::string>{"10", "9", "_x", "a", "B"}));
    EXPECT_TRUE(store.deleteKey("A"));
    EXPECT_FALSE(store.deleteKey("nope"));
    EXPECT_EQ(store.subKeyNames(), (std::vector<std::string>{"10", "9", "_x", "B"}));
    EXPECT_FALSE(store.openKey("\\T\\a\\deep", false));
    EXPECT_FALSE(store.openKey("\\Nope", false));
    EXPECT_FALSE(store.openKeyReadOnly("\\Nope"));
}

TEST(RegFileStore, WritesTheFileOnlyWhenSomethingChanged) {
    TempDir dir;
    const std::string path = dir.file("r.reg");
    {
        RegFileStore store(path);
        store.openKeyReadOnly("\\K");
        store.closeKey();
    }
    EXPECT_FALSE(std::filesystem::exists(path)); // reading alone writes nothing
    RegFileStore store(path);
    store.openKey("\\K", true);
    store.writeInteger("d", 1);
    store.closeKey();
    const auto first = std::filesystem::last_write_time(path);
    std::filesystem::last_write_time(path, first - std::chrono::hours(1));
    store.openKey("\\K", true);
    store.writeInteger("d", 1); // same value
    store.closeKey();
    EXPECT_EQ(std::filesystem::last_write_time(path), first - std::chrono::hours(1));
}

struct BadFileCase {
    const char* label;
    std::string bytes;
    int line;
    friend void PrintTo(const BadFileCase& c, std::ostream* os) { *os << c.label; }
};

class UnreadableStoreFile : public ::testing::TestWithParam<BadFileCase> {};

TEST_P(UnreadableStoreFile, IsSetAsideNeverOverwritten) {
    const auto& c = GetParam();
    TempDir dir;
    const std::string path = dir.file("registry.reg");
    writeAll(path, c.bytes);
    RegFileStore store(path);
    const std::string notice = store.takeNotice();
    EXPECT_NE(notice.find(path), std::string::npos) << notice;
    EXPECT_NE(notice.find("line " + std::to_string(c.line)), std::string::npos) << notice;
    EXPECT_EQ(store.takeNotice(), ""); // told once

    // the old bytes are kept under a name that says so, and the notice names it
    std::string aside;
    for (const auto& e : std::filesystem::directory_iterator(dir.path()))
        if (e.path().filename().string().find("unreadable") != std::string::npos)
            aside = e.path().string();
    ASSERT_FALSE(aside.empty());
    EXPECT_NE(notice.find(aside), std::string::npos);
    EXPECT_EQ(readAll(aside), c.bytes);

    // a fresh start writes a new file and leaves the old one alone
    EXPECT_FALSE(store.openKey("\\K", false));
    store.openKey("\\K", true);
    store.writeString("v", "new");
    store.closeKey();
    EXPECT_EQ(readAll(aside), c.bytes);
    RegFileStore again(path);
    EXPECT_EQ(again.takeNotice(), "");
}

INSTANTIATE_TEST_SUITE_P(
    Files, UnreadableStoreFile,
    ::testing::Values(
        BadFileCase{"garbage", "this is not a registry file", 1}, BadFileCase{"empty", "", 1},
        BadFileCase{"badDword",
                    utf16File(u"Windows Registry Editor Version 5.00\r\n\r\n[HKEY_CURRENT_USER\\A]"
                              u"\r\n\"ok\"=\"1\"\r\n\"d\"=dword:xyz\r\n"),
                    5},
        BadFileCase{"valueOutsideKey",
                    utf16File(u"Windows Registry Editor Version 5.00\r\n\"v\"=\"1\"\r\n"), 2},
        BadFileCase{"oddLength", std::string("\xFF\xFEW\x00i", 5), 1},
        BadFileCase{"unclosedString",
                    utf16File(u"Windows Registry Editor Version 5.00\r\n[HKEY_CURRENT_USER\\A]\r\n"
                              u"\"v\"=\"open\r\n"),
                    3},
        // key names that differ only in a lone surrogate would merge
        BadFileCase{"loneSurrogate",
                    utf16File(kHeader + u"[HKEY_CURRENT_USER\\A\xD800]\r\n"
                                        u"[HKEY_CURRENT_USER\\A\xD801]\r\n"),
                    3},
        BadFileCase{"deeperThanWindowsAllows",
                    utf16File(kHeader + utf8ToUtf16(deepKeyLine(512) + deepKeyLine(513))), 4},
        BadFileCase{"aMillionLevels", utf16File(kHeader + utf8ToUtf16(deepKeyLine(1000000))), 3}),
    ByLabel());

TEST(RegFileStore, UnreadableFilesSetAsideInOneSecondAreAllKept) {
    TempDir dir;
    const std::string path = dir.file("registry.reg");
    std::vector<std::string> notices;
    for (int i = 0; i < 3; ++i) {
        writeAll(path, "garbage " + std::to_string(i));
        RegFileStore store(path);
        notices.push_back(store.takeNotice());
    }
    std::vector<std::string> kept;
    for (const auto& name : filesIn(dir.path()))
        if (name.find("unreadable") != std::string::npos)
            kept.push_back(readAll(dir.file(name)));
    std::sort(kept.begin(), kept.end());
    EXPECT_EQ(kept, (std::vector<std::string>{"garbage 0", "garbage 1", "garbage 2"}));
    EXPECT_NE(notices[0], notices[1]);
    EXPECT_NE(notices[1], notices[2]);
}

struct SpecialPathCase {
    const char* label;
    std::function<std::string(const TempDir&)> make;
    const char* told;
    friend void PrintTo(const SpecialPathCase& c, std::ostream* os) { *os << c.label; }
};

class SpecialStorePath : public ::testing::TestWithParam<SpecialPathCase> {};

TEST_P(SpecialStorePath, IsToldAndLeftAlone) {
    const auto& c = GetParam();
    TempDir dir;
    const std::string path = c.make(dir);
    namespace fs = std::filesystem;
    const auto kind = fs::status(path).type();
    const auto size = fs::is_regular_file(path) ? fs::file_size(path) : 0;
    RegFileStore store(path);
    const std::string notice = store.takeNotice();
    EXPECT_NE(notice.find(path), std::string::npos) << notice;
    EXPECT_NE(notice.find(c.told), std::string::npos) << notice;
    EXPECT_FALSE(store.openKey("\\K", false));
    store.openKey("\\K", true);
    store.writeString("v", "x");
    EXPECT_NO_THROW(store.closeKey());
    EXPECT_EQ(fs::status(path).type(), kind);
    if (kind == fs::file_type::regular) {
        EXPECT_EQ(fs::file_size(path), size);
    }
    for (const auto& name : filesIn(dir.path()))
        EXPECT_EQ(name.find("unreadable"), std::string::npos) << name;
}

std::vector<SpecialPathCase> specialPaths() {
    std::vector<SpecialPathCase> cases{{"folder",
                                        [](const TempDir& d) {
                                            writeAll(d.file("registry.reg/inside"), "x");
                                            return d.file("registry.reg");
                                        },
                                        "is a folder"},
                                       {"tooLarge",
                                        [](const TempDir& d) {
                                            writeAll(d.file("registry.reg"), "");
                                            std::filesystem::resize_file(d.file("registry.reg"),
                                                                         (64u << 20) + 1);
                                            return d.file("registry.reg");
                                        },
                                        "larger than 64 MiB"}};
#ifndef _WIN32
    cases.push_back({"fifo",
                     [](const TempDir& d) {
                         mkfifo(d.file("registry.reg").c_str(), 0600);
                         return d.file("registry.reg");
                     },
                     "not a regular file"});
    cases.push_back(
        {"device", [](const TempDir&) { return std::string("/dev/zero"); }, "not a regular file"});
#endif
    return cases;
}

INSTANTIATE_TEST_SUITE_P(Paths, SpecialStorePath, ::testing::ValuesIn(specialPaths()), ByLabel());

TEST(RegFileStore, AFailedWriteStepLeavesTheOldFile) {
    for (const char* failing : {"create", "write", "sync", "rename"}) {
        TempDir dir;
        const std::string path = dir.file("r.reg");
        RegFileStore store(path);
        store.openKey("\\K", true);
        store.writeString("v", "old");
        store.closeKey();
        const std::string old = readAll(path);

        store.beforeWriteStep = [&](const char* step) {
            if (std::string(step) == failing)
                throw std::runtime_error("disk on fire");
        };
        store.openKey("\\K", true);
        store.writeString("v", "new");
        try {
            store.closeKey();
            FAIL() << failing;
        } catch (const LauncherError& e) {
            EXPECT_NE(std::string(e.what()).find(path), std::string::npos);
            EXPECT_NE(std::string(e.what()).find("disk on fire"), std::string::npos);
        }
        EXPECT_EQ(readAll(path), old) << failing;
        for (const auto& name : filesIn(dir.path()))
            EXPECT_EQ(name.find(".tmp"), std::string::npos) << failing << ": " << name;

        // the change is still pending and goes out with the next close that succeeds
        store.beforeWriteStep = nullptr;
        store.openKey("\\K", true);
        store.closeKey();
        RegFileStore again(path);
        again.openKeyReadOnly("\\K");
        EXPECT_EQ(again.readString("v"), "new") << failing;
    }
}

// A save under way holds the lock: a second one writes nothing, and its change goes out with
// the first save after it.
TEST(RegFileStore, ASaveWhileAnotherIsUnderWayWritesNothingAndKeepsItsChange) {
    TempDir dir;
    const std::string path = dir.file("r.reg");
    RegFileStore second(path);
    second.openKey("\\K", true);
    second.writeString("w", "second");
    saveValue(path, "first", [&](const char* step) {
        if (std::string(step) == "write") {
            EXPECT_THROW(second.closeKey(), StoreBusyError);
        }
    });
    second.flush();
    RegFileStore again(path);
    again.openKeyReadOnly("\\K");
    EXPECT_EQ(again.readString("v"), "first");
    EXPECT_EQ(again.readString("w"), "second");
}

struct LockCase {
    const char* label;
    void (*block)(const std::string& lock);
    friend void PrintTo(const LockCase& c, std::ostream* os) { *os << c.label; }
};

class UnusableLock : public ::testing::TestWithParam<LockCase> {};

// A lock that cannot be taken is told, never skipped.
TEST_P(UnusableLock, IsToldAndNothingWritten) {
    TempDir dir;
    const std::string path = dir.file("r.reg"), lock = path + ".lock";
    saveValue(path, "old");
    std::filesystem::remove(lock);
    GetParam().block(lock);
    try {
        saveValue(path, "new");
        FAIL();
    } catch (const StoreWriteError& e) {
        EXPECT_NE(std::string(e.what()).find(lock), std::string::npos) << e.what();
    }
    EXPECT_EQ(storedValue(path), "old");
}

std::vector<LockCase> unusableLocks() {
    namespace fs = std::filesystem;
    std::vector<LockCase> cases{{"folder", [](const std::string& l) { fs::create_directory(l); }}};
#ifndef _WIN32
    cases.push_back({"danglingLink", [](const std::string& l) { fs::create_symlink("gone", l); }});
    // Every save replaces the store: a lock on it would be on a file gone.
    cases.push_back(
        {"linkToTheStore", [](const std::string& l) { fs::create_symlink("r.reg", l); }});
#endif
    return cases;
}

INSTANTIATE_TEST_SUITE_P(Paths, UnusableLock, ::testing::ValuesIn(unusableLocks()), ByLabel());

// The reader refuses a file over 64 MiB: a save that would write one is refused.
TEST(RegFileStore, ASaveOverTheSizeLimitIsRefusedAndTheFileKept) {
    TempDir dir;
    const std::string path = dir.file("r.reg");
    saveValue(path, "old");
    EXPECT_THROW(saveValue(path, std::string(RegFileStore::MaxFileSize / 2, 'x')), StoreWriteError);
    EXPECT_EQ(storedValue(path), "old");
}

// Two launchers loading, changing and saving at the same time, each its own mod and value.
TEST(RegFileStore, TwoLaunchersSavingAtOnceNeitherTearNorUndoEachOther) {
    TempDir dir;
    const std::string path = dir.file("registry.reg");
    const std::string exe = dir.file("arma2.exe");
    writeAll(exe, "x");
    {
        RegFileStore s(path);
        openLauncherKey(s, exe);
        s.closeKey();
    }
    const int rounds = 200;
    std::mutex m;
    std::vector<std::string> problems;
    auto launcher = [&](int who) {
        for (int round = 0; round < rounds; ++round) {
            try {
                RegFileStore store(path);
                if (std::string n = store.takeNotice(); !n.empty())
                    throw std::runtime_error(n);
                auto st = std::make_unique<LauncherState>();
                RecordingHost host;
                readRegistry(store, *st, host, "");
                ModTable& mods = st->mods;
                size_t k = 0;
                while (k < mods.entries.size() && mods.entries[k].id != who + 1)
                    ++k;
                if (k == mods.entries.size())
                    mods.entries.emplace_back();
                mods.entries[k].id = who + 1;
                mods.entries[k].name = std::to_string(round);
                if (who == 0)
                    st->settings.maxMemory = round;
                else
                    st->settings.additionalParameters = std::to_string(round);
                saveRegistry(store, *st);
            } catch (const StoreBusyError&) {
                --round; // made again, as the launcher does
            } catch (const std::exception& e) {
                std::lock_guard<std::mutex> lock(m);
                problems.push_back("launcher " + std::to_string(who) + " round " +
                                   std::to_string(round) + ": " + e.what());
            }
        }
    };
    std::thread a(launcher, 0), b(launcher, 1);
    a.join();
    b.join();
    EXPECT_TRUE(problems.empty()) << problems.size() << " problems, first: " << problems[0];

    RegFileStore store(path);
    auto st = std::make_unique<LauncherState>();
    RecordingHost host;
    readRegistry(store, *st, host, "");
    EXPECT_EQ(st->settings.maxMemory, rounds - 1);
    EXPECT_EQ(st->settings.additionalParameters, std::to_string(rounds - 1));
    ASSERT_EQ(st->mods.count(), 2);
    EXPECT_EQ(st->mods.entries[0].name, std::to_string(rounds - 1));
    EXPECT_EQ(st->mods.entries[1].name, std::to_string(rounds - 1));
}

#ifndef _WIN32
TEST(RegFileStore, ASaveKeepsTheFilesModeAndANewStoreIsPrivate) {
    TempDir dir;
    const std::string path = dir.file("r.reg");
    auto mode = [&] {
        struct stat st {};
        stat(path.c_str(), &st);
        return st.st_mode & 07777;
    };
    const mode_t oldMask = umask(022);
    saveValue(path, "new");
    EXPECT_EQ(mode(), 0600u);
    for (const mode_t m : {0640, 0604}) {
        chmod(path.c_str(), m);
        saveValue(path, std::to_string(m));
        EXPECT_EQ(mode(), m);
    }
    umask(oldMask);
}

TEST(RegFileStore, ASymlinkedStoreStaysALinkAndItsTargetIsReplaced) {
    namespace fs = std::filesystem;
    TempDir dir;
    fs::create_directory(dir.file("real"));
    // a link to a file that is not there yet (the first run), relative to the link's folder
    fs::create_symlink("real/registry.reg", dir.file("link.reg"));
    fs::create_symlink(dir.file("link.reg"), dir.file("outer.reg"));
    saveValue(dir.file("link.reg"), "first");
    saveValue(dir.file("outer.reg"), "second");
    EXPECT_TRUE(fs::is_symlink(dir.file("link.reg")));
    EXPECT_TRUE(fs::is_symlink(dir.file("outer.reg")));
    EXPECT_EQ(storedValue(dir.file("real/registry.reg")), "second");
}

class CrashDuringSave : public ::testing::TestWithParam<const char*> {};

// The process dies at each system call of a save in turn.
TEST_P(CrashDuringSave, LeavesTheOldOrTheNewFileAndTheNextSaveTidiesUp) {
    const std::string step = GetParam();
    TempDir dir;
    const std::string path = dir.file("r.reg");
    saveValue(path, "old");
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        saveValue(path, "new", [&](const char* s) {
            if (step == s)
                raise(SIGKILL);
        });
        _exit(0);
    }
    int status = 0;
    waitpid(child, &status, 0);
    ASSERT_TRUE(WIFSIGNALED(status)) << "the save never came to " << step;
    EXPECT_EQ(storedValue(path), step == "dirsync" ? "new" : "old");
    saveValue(path, "next");
    EXPECT_EQ(filesIn(dir.path()), (std::vector<std::string>{"r.reg", "r.reg.lock"}));
}

INSTANTIATE_TEST_SUITE_P(Steps, CrashDuringSave,
                         ::testing::Values("create", "write", "sync", "rename", "dirsync"),
                         [](const auto& p) { return std::string(p.param); });

TEST(RegFileStore, AKilledSaveLeavesTheOldOrTheNewFile) {
    TempDir dir;
    const std::string path = dir.file("r.reg");
    const std::string big(20000, 'x'); // large enough that a write takes several system calls
    std::mt19937 rng(7);
    for (int round = 0; round < 40; ++round) {
        const pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            RegFileStore store(path);
            for (int gen = 0;; ++gen) {
                store.openKey("\\K", true);
                store.writeString("gen", std::to_string(gen) + big);
                for (int k = 0; k < 50; ++k)
                    store.writeInteger("v" + std::to_string(k), gen);
                store.closeKey();
            }
        }
        // The point: the kill comes anywhere in a save.
        usleep(std::uniform_int_distribution<useconds_t>(200, 20000)(rng));
        kill(child, SIGKILL);
        waitpid(child, nullptr, 0);
        if (!std::filesystem::exists(path))
            continue;
        RegFileStore check(path);
        ASSERT_EQ(check.takeNotice(), "") << "round " << round;
        ASSERT_TRUE(check.openKeyReadOnly("\\K"));
        const std::string gen = check.readString("gen");
        ASSERT_GT(gen.size(), big.size());
        const int32_t g = std::stoi(gen.substr(0, gen.size() - big.size()));
        for (int k = 0; k < 50; ++k)
            ASSERT_EQ(check.readInteger("v" + std::to_string(k)), g);
    }
}
#endif
