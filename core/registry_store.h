#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace quorvale {

enum class RootKey { CurrentUser, LocalMachine };

// Registry value types, numbered as Windows numbers them.
enum class ValueType : uint32_t {
    None = 0,
    String = 1,
    ExpandString = 2,
    Binary = 3,
    Dword = 4,
    MultiString = 7,
    Qword = 11,
};

// The registry as the launcher uses it: one current key at a time, opened, used and closed.
// Key paths are absolute from the selected root ("\Software\Oskelan\Quorvale\"); names
// compare without regard to case. Reads and writes act on the current key.
class RegistryStore {
public:
    virtual ~RegistryStore() = default;

    virtual void setRoot(RootKey root) = 0;
    virtual bool openKeyReadOnly(const std::string& path) = 0;
    virtual bool openKey(const std::string& path, bool canCreate) = 0;

    // Missing reads empty; a type other than REG_SZ / REG_EXPAND_SZ throws RegistryError.
    virtual std::string readString(const std::string& name) = 0;
    // Missing or another type throws RegistryError.
    virtual int32_t readInteger(const std::string& name) = 0;
    virtual bool valueExists(const std::string& name) = 0;
    virtual ValueType valueType(const std::string& name) = 0;

    virtual void writeString(const std::string& name, const std::string& value) = 0;
    virtual void writeExpandString(const std::string& name, const std::string& value) = 0;
    virtual void writeInteger(const std::string& name, int32_t value) = 0;

    // Subkeys of the current key, in the store's own order.
    virtual std::vector<std::string> subKeyNames() = 0;
    // Deletes a subkey of the current key with everything below it.
    virtual bool deleteKey(const std::string& subKey) = 0;
    // Ends the use of the current key; a store that buffers writes makes them durable here.
    virtual void closeKey() = 0;
    // Makes durable what an earlier close could not; a store that writes at once has nothing
    // left to write.
    virtual void flush() {}

    // Something the user must be told about the store itself (a file set aside, say); once.
    virtual std::string takeNotice() { return {}; }
};

// Opens and closes the current key of a store for the length of a scope.
class KeyScope {
public:
    explicit KeyScope(RegistryStore& store) : store_(store) {}
    ~KeyScope() {
        if (!released_) {
            try {
                store_.closeKey();
            } catch (...) {
                // An error while unwinding another one must not terminate; the first error wins.
            }
        }
    }
    // Closes now so that a failure to persist reaches the caller.
    void close() {
        released_ = true;
        store_.closeKey();
    }
    KeyScope(const KeyScope&) = delete;
    KeyScope& operator=(const KeyScope&) = delete;

private:
    RegistryStore& store_;
    bool released_ = false;
};

} // namespace quorvale
