#pragma once

#include "registry_store.h"

#include <windows.h>

namespace quorvale {

// The Windows registry through the W API; text is UTF-8 here and UTF-16 at the API.
class Win32RegistryStore : public RegistryStore {
public:
    Win32RegistryStore() = default;
    ~Win32RegistryStore() override;
    Win32RegistryStore(const Win32RegistryStore&) = delete;
    Win32RegistryStore& operator=(const Win32RegistryStore&) = delete;

    void setRoot(RootKey root) override;
    bool openKeyReadOnly(const std::string& path) override;
    bool openKey(const std::string& path, bool canCreate) override;
    std::string readString(const std::string& name) override;
    int32_t readInteger(const std::string& name) override;
    bool valueExists(const std::string& name) override;
    ValueType valueType(const std::string& name) override;
    void writeString(const std::string& name, const std::string& value) override;
    void writeExpandString(const std::string& name, const std::string& value) override;
    void writeInteger(const std::string& name, int32_t value) override;
    std::vector<std::string> subKeyNames() override;
    bool deleteKey(const std::string& subKey) override;
    void closeKey() override;

private:
    void writeText(const std::string& name, const std::string& value, DWORD type);
    HKEY root_ = HKEY_CURRENT_USER;
    HKEY current_ = nullptr;
};

} // namespace quorvale
