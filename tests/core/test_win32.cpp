// The Win32 side of the core, against a real Win32 implementation (Wine in CI).
#include "errors.h"
#include "launch.h"
#include "launch_modes.h"
#include "param_names.h"
#include "process_starter.h"
#include "reg_file_store.h"
#include "temp_dir.h"
#include "text.h"
#include "win32_registry_store.h"
#include "win_stub_records.h"

#include <gtest/gtest.h>

#include <fstream>
#include <windows.h>

using namespace quorvale;

namespace {

std::string utf8(const std::wstring& w) {
    return utf16ToUtf8(std::u16string(w.begin(), w.end()));
}

std::filesystem::path ownFolder() {
    wchar_t buf[MAX_PATH];
    const DWORD n = GetModuleFileNameW(nullptr, buf, MAX_PATH);
    return std::filesystem::path(std::wstring(buf, n)).parent_path();
}

} // namespace

TEST(Win32Registry, ReadFailuresCarryTheRegistryTexts) {
    RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\QuorvaleTest");
    Win32RegistryStore s;
    ASSERT_TRUE(s.openKey("\\Software\\QuorvaleTest\\", true));
    s.writeString("s", "text Zoë");
    s.writeExpandString("e", "%USERPROFILE%\\x");
    s.writeInteger("d", -1);
    EXPECT_EQ(s.readString("s"), "text Zoë");
    EXPECT_EQ(s.readString("e"), "%USERPROFILE%\\x"); // not expanded
    EXPECT_EQ(s.valueType("e"), ValueType::ExpandString);
    EXPECT_EQ(s.readInteger("d"), -1);
    EXPECT_EQ(s.readString("missing"), "");
    const auto text = [](auto f) {
        try {
            f();
        } catch (const RegistryError& e) {
            return std::string(e.what());
        }
        return std::string("no error");
    };
    EXPECT_EQ(text([&] { s.readInteger("missing"); }), "Failed to get data for 'missing'");
    EXPECT_EQ(text([&] { s.readInteger("s"); }), "Invalid data type for 's'");
    EXPECT_EQ(text([&] { s.readString("d"); }), "Invalid data type for 'd'");
    s.closeKey();
    EXPECT_FALSE(s.openKey("\\Software\\QuorvaleTest\\nope", false));
    EXPECT_TRUE(s.openKeyReadOnly("\\SOFTWARE\\quorvaletest"));
}

TEST(Win32Registry, ListsSubkeysAndDeletesWholeSubtrees) {
    RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\QuorvaleTest");
    Win32RegistryStore s;
    for (const char* k : {"9", "10", "a", "_x", "B"})
        ASSERT_TRUE(s.openKey(std::string("\\Software\\QuorvaleTest\\T\\") + k + "\\deep", true));
    ASSERT_TRUE(s.openKey("\\Software\\QuorvaleTest\\T", false));
    EXPECT_EQ(s.subKeyNames(), (std::vector<std::string>{"10", "9", "_x", "a", "B"}));
    EXPECT_TRUE(s.deleteKey("A"));
    EXPECT_FALSE(s.deleteKey("nope"));
    EXPECT_EQ(s.subKeyNames(), (std::vector<std::string>{"10", "9", "_x", "B"}));
    s.closeKey();
}

// The same operations on both stores; the script compares Wine's export with our file.
TEST(Win32Registry, BothStoresAgree) {
    RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\QuorvaleAgree");
    TempDir dir;
    Win32RegistryStore win;
    RegFileStore file(dir.file("agree.reg"));
    for (RegistryStore* s : std::initializer_list<RegistryStore*>{&win, &file}) {
        s->openKey("\\Software\\QuorvaleAgree", true);
        s->writeString("executable", "C:\\Games\\ArmA 2\\arma2.exe");
        s->writeInteger("nosplash", 1);
        s->writeString("Name", "Jörg \"J\" Ж");
        s->writeExpandString("path", "%USERPROFILE%\\My Documents\\ArmA 2\\a long enough path "
                                     "to wrap.ArmAProfile");
        for (const char* id : {"10", "9", "4711"}) {
            s->openKey(std::string("\\Software\\QuorvaleAgree\\mods\\") + id, true);
            s->writeString("dir", std::string("@") + id);
            s->writeInteger("checked", 1);
        }
        s->openKey("\\Software\\QuorvaleAgree\\mods", false);
        s->deleteKey("9");
        s->closeKey();
    }
    if (const char* out = std::getenv("QUORVALE_AGREE_OUT")) {
        const RegKey* k = file.tree().find("HKEY_CURRENT_USER", "\\Software\\QuorvaleAgree");
        ASSERT_NE(k, nullptr);
        std::ofstream(out, std::ios::binary)
            << serializeRegSubtree(*k, "HKEY_CURRENT_USER\\Software\\QuorvaleAgree");
    }
}

TEST(Win32Process, TheCommandLineArrivesByteForByte) {
    TempDir dir;
    const auto folder = dir.path() / "some folder with blanks";
    std::filesystem::create_directories(folder);
    std::filesystem::copy_file(ownFolder() / "win_stub.exe", folder / "stub.exe");
    const auto out = dir.path() / "records";
    SetEnvironmentVariableW(L"QUORVALE_STUB_OUT", out.wstring().c_str());

    const std::string line = utf8((folder / "stub.exe").wstring()) +
                             " -nosplash -mod=@a;@b  \"-name=; $(touch x) `id` & | ^ %PATH% Zoë\" ";
    SystemProcessStarter starter;
    const StartResult r = starter.start(line, utf8(folder.wstring()), {});
    ASSERT_TRUE(r.started) << r.error;
    const auto recs = waitForWinStubRecords(utf8(out.wstring()), 1);
    ASSERT_EQ(recs.size(), 1u);
    EXPECT_EQ(recs[0].commandLine, line);
    EXPECT_EQ(std::filesystem::path(utf8ToWide(recs[0].cwd)), folder);
    EXPECT_FALSE(std::filesystem::exists(folder / "x"));
}

class Win32LaunchModes : public ::testing::TestWithParam<LaunchCase> {};

// What the game parses from the line CreateProcessW hands it; the same table holds for Linux
// and for Wine. Beside the folder lies what its path reads as up to the blank.
TEST_P(Win32LaunchModes, TheGameParsesTheArgumentsOfEveryMode) {
    const auto& c = GetParam();
    TempDir dir;
    const auto folder = dir.path() / "game folder";
    std::filesystem::create_directories(folder);
    std::filesystem::copy_file(ownFolder() / "win_stub.exe", folder / "arma2.exe");
    std::filesystem::copy_file(ownFolder() / "win_stub.exe", dir.path() / "game.exe");
    const auto out = dir.path() / "records";
    SetEnvironmentVariableW(L"QUORVALE_STUB_OUT", out.wstring().c_str());
    LauncherState st;
    prepareLaunchState(st);
    c.change(st);
    st.settings.executable = utf8((folder / "arma2.exe").wstring());
    st.settings.gamePath = utf8(folder.wstring());
    RegFileStore store(utf8((dir.path() / "reg").wstring()));
    SystemProcessStarter starter;
    const LaunchResult r = launchGame(st, store, starter, c.connect(), c.mods);
    ASSERT_TRUE(r.gameStarted) << r.error;
    const auto recs = waitForWinStubRecords(utf8(out.wstring()), 1);
    ASSERT_EQ(recs.size(), 1u);
    EXPECT_EQ(recs[0].commandLine, r.commandLine);
    ASSERT_FALSE(recs[0].args.empty());
    EXPECT_EQ(std::vector<std::string>(recs[0].args.begin() + 1, recs[0].args.end()), c.args);
}

INSTANTIATE_TEST_SUITE_P(Modes, Win32LaunchModes, ::testing::ValuesIn(launchModeCases()),
                         ByLabel());

TEST(Win32Process, AProgramThatIsNotThereIsReported) {
    SystemProcessStarter starter;
    const StartResult r = starter.start("C:\\no such folder\\arma2.exe -nosplash", "", {});
    EXPECT_FALSE(r.started);
    EXPECT_FALSE(r.error.empty());
}
