#include "test_store.h"

#include "temp_dir.h"

#ifdef _WIN32
#include "text.h"
#include "win32_registry_store.h"

#include <windows.h>

using namespace quorvale;

std::unique_ptr<RegistryStore> openTestStore(const std::string&) {
    return std::make_unique<Win32RegistryStore>();
}

void clearTestRegistry() {
    RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\Oskelan");
    RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\Bohemia Interactive Studio");
    RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\NaturalPoint");
    RegDeleteTreeW(HKEY_LOCAL_MACHINE, L"Software\\Bohemia Interactive Studio");
}

namespace {
void dump(HKEY key, const std::wstring& path, std::string& out) {
    std::u16string p(path.begin(), path.end());
    out += '[';
    out += utf16ToUtf8(p);
    out += "]\n";
    for (DWORD i = 0;; ++i) {
        wchar_t name[512];
        DWORD nameLen = 512, type = 0, size = 0;
        BYTE data[8192];
        size = sizeof data;
        if (RegEnumValueW(key, i, name, &nameLen, nullptr, &type, data, &size) != ERROR_SUCCESS)
            break;
        out += utf16ToUtf8(std::u16string(name, name + nameLen)) + "=" + std::to_string(type) +
               ":" + std::string(reinterpret_cast<char*>(data), size) + "\n";
    }
    for (DWORD i = 0;; ++i) {
        wchar_t name[512];
        DWORD nameLen = 512;
        if (RegEnumKeyExW(key, i, name, &nameLen, nullptr, nullptr, nullptr, nullptr) !=
            ERROR_SUCCESS)
            break;
        HKEY sub;
        if (RegOpenKeyExW(key, name, 0, KEY_READ, &sub) == ERROR_SUCCESS) {
            dump(sub, path + L"\\" + std::wstring(name, nameLen), out);
            RegCloseKey(sub);
        }
    }
}
} // namespace

std::string storeSnapshot(const std::string&) {
    std::string out;
    HKEY k;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, L"Software\\Oskelan", 0, KEY_READ, &k) == ERROR_SUCCESS) {
        dump(k, L"Software\\Oskelan", out);
        RegCloseKey(k);
    }
    return out;
}

#else
#include "reg_file_store.h"

std::unique_ptr<quorvale::RegistryStore> openTestStore(const std::string& path) {
    return std::make_unique<quorvale::RegFileStore>(path);
}

void clearTestRegistry() {}

std::string storeSnapshot(const std::string& path) {
    return readAll(path);
}
#endif
