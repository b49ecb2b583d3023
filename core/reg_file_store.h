#pragma once

#include "reg_file.h"
#include "registry_store.h"

#include <functional>
#include <string>

namespace quorvale {

// The registry kept in one file in regedit's export format, for systems without a registry.
// The file is read once; changes are kept in memory and the whole file is replaced
// atomically when a key opened for writing is closed.
class RegFileStore : public RegistryStore {
public:
    explicit RegFileStore(std::string path);

    // $QUORVALE_REGISTRY, else $XDG_CONFIG_HOME/quorvale/registry.reg, else ~/.config/...
    static std::string defaultPath();

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
    std::string takeNotice() override;

    const std::string& path() const { return path_; }
    const RegTree& tree() const { return tree_; }
    // Writes the file now if anything changed since the last write. A write that fails
    // drops the changes: the tree goes back to what the file holds.
    void flush();

    // Test hook: called before each step of a file replace ("write", "sync", "rename");
    // throwing from it aborts the replace as a failing system call would.
    std::function<void(const char* step)> beforeWriteStep;

private:
    RegKey& writableKey(const std::string& name);
    const RegValue* findValue(const std::string& name) const;

    std::string path_;
    RegTree tree_;
    RootKey root_ = RootKey::CurrentUser;
    RegKey* current_ = nullptr;
    bool currentWritable_ = false;
    bool dirty_ = false;
    bool pendingClose_ = false;
    bool frozen_ = false; // the file could not be read and not be set aside: never write it
    std::string notice_;
    std::string committed_; // the bytes the file holds, as last read or written
};

// Replaces a file's content in one step: temp file in the same folder, flush, rename.
// Throws LauncherError naming the file on failure; the old file is then untouched.
void replaceFileAtomically(const std::string& path, const std::string& bytes,
                           const std::function<void(const char*)>& beforeStep = {});

} // namespace quorvale
