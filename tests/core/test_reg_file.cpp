#include "errors.h"
#include "reg_file.h"
#include "reg_file_store.h"
#include "temp_dir.h"
#include "text.h"

#include <gtest/gtest.h>

#include <random>
#ifndef _WIN32
#include <csignal>
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
    [](const auto& info) { return std::string(info.param.label); });

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
                    3}),
    [](const auto& info) { return std::string(info.param.label); });

TEST(RegFileStore, AFailedWriteStepLeavesTheOldFile) {
    for (const char* failing : {"write", "sync", "rename"}) {
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
        EXPECT_FALSE(std::filesystem::exists(path + ".tmp")) << failing;

        // the failed change is dropped: memory holds what the file holds, and the next save
        // that succeeds writes only what it writes itself
        store.openKeyReadOnly("\\K");
        EXPECT_EQ(store.readString("v"), "old") << failing;
        store.beforeWriteStep = nullptr;
        store.openKey("\\K", true);
        store.writeString("w", "later");
        store.closeKey();
        RegFileStore again(path);
        again.openKeyReadOnly("\\K");
        EXPECT_EQ(again.readString("v"), "old") << failing;
        EXPECT_EQ(again.readString("w"), "later") << failing;
    }
}

#ifndef _WIN32
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
