// The Win32 side of the core, against a real Win32 implementation (Wine in CI).
#include "errors.h"
#include "process_starter.h"
#include "reg_file_store.h"
#include "temp_dir.h"
#include "text.h"
#include "win32_registry_store.h"

#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <thread>
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

// What the Windows stub wrote: (command line, working folder) per start.
std::vector<std::pair<std::wstring, std::wstring>> stubRecords(const std::filesystem::path& file,
                                                               size_t want) {
    std::vector<std::pair<std::wstring, std::wstring>> recs;
    for (int i = 0; i < 500 && recs.size() < want; ++i) {
        recs.clear();
        std::ifstream in(file, std::ios::binary);
        std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        std::wstring w;
        for (size_t k = 0; k + 1 < bytes.size(); k += 2)
            w += static_cast<wchar_t>(static_cast<unsigned char>(bytes[k]) |
                                      static_cast<unsigned char>(bytes[k + 1]) << 8);
        size_t pos = 0;
        for (size_t end; (end = w.find(L'\x1e', pos)) != std::wstring::npos; pos = end + 1) {
            const size_t sep = w.find(L'\x1f', pos);
            recs.emplace_back(w.substr(pos, sep - pos), w.substr(sep + 1, end - sep - 1));
        }
        if (recs.size() < want)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return recs;
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
    const auto recs = stubRecords(out, 1);
    ASSERT_EQ(recs.size(), 1u);
    EXPECT_EQ(utf8(recs[0].first), line);
    EXPECT_EQ(std::filesystem::path(recs[0].second), folder);
    EXPECT_FALSE(std::filesystem::exists(folder / "x"));
}

TEST(Win32Process, AProgramThatIsNotThereIsReported) {
    SystemProcessStarter starter;
    const StartResult r = starter.start("C:\\no such folder\\arma2.exe -nosplash", "", {});
    EXPECT_FALSE(r.started);
    EXPECT_FALSE(r.error.empty());
}
