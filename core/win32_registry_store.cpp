#include "win32_registry_store.h"

#include "errors.h"
#include "text.h"

namespace quorvale {

namespace {

std::wstring wide(const std::string& s) {
    return utf8ToWide(s);
}

std::string narrow(const wchar_t* s, size_t n) {
    std::u16string u;
    for (size_t i = 0; i < n && s[i]; ++i)
        u += static_cast<char16_t>(s[i]);
    return utf16ToUtf8(u);
}

// Registry paths are relative to the root; a leading backslash is not.
std::wstring keyPath(const std::string& path) {
    std::wstring w = wide(path);
    while (!w.empty() && w.front() == L'\\')
        w.erase(0, 1);
    while (!w.empty() && w.back() == L'\\')
        w.pop_back();
    return w;
}

} // namespace

Win32RegistryStore::~Win32RegistryStore() {
    if (current_)
        RegCloseKey(current_);
}

void Win32RegistryStore::setRoot(RootKey root) {
    root_ = root == RootKey::LocalMachine ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER;
}

bool Win32RegistryStore::openKeyReadOnly(const std::string& path) {
    closeKey();
    return RegOpenKeyExW(root_, keyPath(path).c_str(), 0, KEY_READ, &current_) == ERROR_SUCCESS ||
           (current_ = nullptr, false);
}

bool Win32RegistryStore::openKey(const std::string& path, bool canCreate) {
    closeKey();
    LONG rc;
    if (canCreate)
        rc = RegCreateKeyExW(root_, keyPath(path).c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                             KEY_ALL_ACCESS, nullptr, &current_, nullptr);
    else
        rc = RegOpenKeyExW(root_, keyPath(path).c_str(), 0, KEY_ALL_ACCESS, &current_);
    if (rc != ERROR_SUCCESS)
        current_ = nullptr;
    return rc == ERROR_SUCCESS;
}

ValueType Win32RegistryStore::valueType(const std::string& name) {
    DWORD type = 0;
    if (!current_ || RegQueryValueExW(current_, wide(name).c_str(), nullptr, &type, nullptr,
                                      nullptr) != ERROR_SUCCESS)
        return ValueType::None;
    return static_cast<ValueType>(type);
}

bool Win32RegistryStore::valueExists(const std::string& name) {
    DWORD type = 0;
    return current_ && RegQueryValueExW(current_, wide(name).c_str(), nullptr, &type, nullptr,
                                        nullptr) == ERROR_SUCCESS;
}

std::string Win32RegistryStore::readString(const std::string& name) {
    if (!current_)
        return {};
    const std::wstring n = wide(name);
    DWORD type = 0, size = 0;
    if (RegQueryValueExW(current_, n.c_str(), nullptr, &type, nullptr, &size) != ERROR_SUCCESS)
        return {};
    if (type != REG_SZ && type != REG_EXPAND_SZ)
        throw RegistryError::wrongType(name);
    std::wstring buf(size / sizeof(wchar_t) + 1, L'\0');
    DWORD got = static_cast<DWORD>(buf.size() * sizeof(wchar_t));
    if (RegQueryValueExW(current_, n.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(buf.data()),
                         &got) != ERROR_SUCCESS)
        throw RegistryError::missing(name);
    return narrow(buf.c_str(), got / sizeof(wchar_t));
}

int32_t Win32RegistryStore::readInteger(const std::string& name) {
    if (!current_)
        throw RegistryError::missing(name);
    DWORD type = 0, value = 0, size = sizeof value;
    const LONG rc = RegQueryValueExW(current_, wide(name).c_str(), nullptr, &type,
                                     reinterpret_cast<BYTE*>(&value), &size);
    if (rc == ERROR_FILE_NOT_FOUND)
        throw RegistryError::missing(name);
    if ((rc == ERROR_SUCCESS || rc == ERROR_MORE_DATA) && type != REG_DWORD)
        throw RegistryError::wrongType(name);
    if (rc != ERROR_SUCCESS || size != sizeof value)
        throw RegistryError::missing(name);
    return static_cast<int32_t>(value);
}

void Win32RegistryStore::writeText(const std::string& name, const std::string& value, DWORD type) {
    const std::wstring v = wide(value.substr(0, value.find('\0')));
    if (!current_ ||
        RegSetValueExW(current_, wide(name).c_str(), 0, type,
                       reinterpret_cast<const BYTE*>(v.c_str()),
                       static_cast<DWORD>((v.size() + 1) * sizeof(wchar_t))) != ERROR_SUCCESS)
        throw RegistryError("Failed to set data for '" + name + "'");
}

void Win32RegistryStore::writeString(const std::string& name, const std::string& value) {
    writeText(name, value, REG_SZ);
}

void Win32RegistryStore::writeExpandString(const std::string& name, const std::string& value) {
    writeText(name, value, REG_EXPAND_SZ);
}

void Win32RegistryStore::writeInteger(const std::string& name, int32_t value) {
    const DWORD v = static_cast<DWORD>(value);
    if (!current_ || RegSetValueExW(current_, wide(name).c_str(), 0, REG_DWORD,
                                    reinterpret_cast<const BYTE*>(&v), sizeof v) != ERROR_SUCCESS)
        throw RegistryError("Failed to set data for '" + name + "'");
}

std::vector<std::string> Win32RegistryStore::subKeyNames() {
    std::vector<std::string> names;
    if (!current_)
        return names;
    wchar_t buf[256];
    for (DWORD i = 0;; ++i) {
        DWORD len = 256;
        if (RegEnumKeyExW(current_, i, buf, &len, nullptr, nullptr, nullptr, nullptr) !=
            ERROR_SUCCESS)
            break;
        names.push_back(narrow(buf, len));
    }
    return names;
}

bool Win32RegistryStore::deleteKey(const std::string& subKey) {
    if (!current_)
        return false;
    // Removes the key itself along with everything below it.
    return RegDeleteTreeW(current_, keyPath(subKey).c_str()) == ERROR_SUCCESS;
}

void Win32RegistryStore::closeKey() {
    if (current_)
        RegCloseKey(current_);
    current_ = nullptr;
}

} // namespace quorvale
