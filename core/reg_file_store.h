#pragma once

#include "reg_file.h"
#include "registry_store.h"

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace quorvale {

// Which version of a file is on disk (device, inode, size, times): a new one after every
// replace.
struct FileStamp {
    bool exists = false;
    std::array<uint64_t, 5> id{};
    bool operator==(const FileStamp&) const = default;
};

// The registry kept in one file in regedit's export format, for systems without a registry.
// The file is read once; changes are kept in memory and the whole file is replaced
// atomically when a key opened for writing is closed. Another process may save the same file
// meanwhile: a save then makes this process's changes again on what that process wrote, so
// neither undoes the other's changes. A save that finds the other one under way writes nothing
// and throws StoreBusyError; its changes wait for the next save.
class RegFileStore : public RegistryStore {
public:
    explicit RegFileStore(std::string path);

    // $QUORVALE_REGISTRY, else $XDG_CONFIG_HOME/quorvale/registry.reg, else ~/.config/...
    static std::string defaultPath();
    // Beyond this the file is no settings file; it is told and left alone.
    static constexpr uint64_t MaxFileSize = 64ull << 20;

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
    // Writes the file now if anything changed since the last write.
    void flush() override;

    // Test hook: called before each system call of a file replace ("create", "write", "sync",
    // "rename", "dirsync"); throwing from it aborts the replace as a failing call would.
    std::function<void(const char* step)> beforeWriteStep;

private:
    // A change made since the last write, kept to be made again on a newer file.
    struct Change {
        enum Kind { CreateKey, SetValue, DeleteKey } kind;
        std::string root;
        std::vector<std::string> path;
        RegValue value;
    };

    RegKey& writableKey(const std::string& name);
    const RegValue* findValue(const std::string& name) const;
    void putValue(const std::string& name, RegValue v);
    void open(RegKey* key, std::vector<std::string> parts, bool writable);
    void setAside(const RegParseError& err);
    void mergeWithFile();

    std::string path_;   // as given
    std::string target_; // the file itself, symbolic links followed
    RegTree tree_;
    FileStamp stamp_; // the file this tree was read from or last written to
    std::vector<Change> changes_;
    RootKey root_ = RootKey::CurrentUser;
    RegKey* current_ = nullptr;
    std::string currentRoot_;
    std::vector<std::string> currentPath_;
    bool currentWritable_ = false;
    bool openedForWriting_ = false; // since the last close
    bool frozen_ = false; // the file is not ours to replace: never write it
    std::string notice_;
};

// Replaces a file's content in one step: a temp file of its own in the same folder (with the
// old file's mode, 0600 for a new one), flush, rename. Throws StoreWriteError naming the file
// on failure; the old file is then untouched. The path names the file itself, not a link.
void replaceFileAtomically(const std::string& path, const std::string& bytes,
                           const std::function<void(const char*)>& beforeStep = {});

} // namespace quorvale
