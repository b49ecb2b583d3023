#pragma once

#include "registry_store.h"

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace quorvale {

struct NameLess {
    bool operator()(const std::string& a, const std::string& b) const;
};

// Windows refuses keys nested deeper than this below a root.
constexpr size_t MaxKeyDepth = 512;

struct RegValue {
    std::string name; // as first written
    ValueType type = ValueType::String;
    std::string text;         // String in quotes
    uint32_t dword = 0;       // Dword as "dword:"
    std::vector<uint8_t> raw; // the bytes as stored (ExpandString: UTF-16LE), when inHex()
    // A String or Dword a file gave as hex bytes ("hex(1):", a "hex(4):" not 4 bytes long)
    // stays in that form, so that a rewrite keeps its bytes.
    bool hexForm = false;

    bool inHex() const {
        return hexForm || (type != ValueType::String && type != ValueType::Dword);
    }
    bool operator==(const RegValue& o) const {
        return type == o.type && hexForm == o.hexForm && text == o.text && dword == o.dword &&
               raw == o.raw;
    }
};

struct RegKey {
    std::string name;
    std::map<std::string, RegValue, NameLess> values;
    std::map<std::string, std::unique_ptr<RegKey>, NameLess> subkeys;

    RegKey() = default;
    RegKey(const RegKey&) = delete;
    RegKey& operator=(const RegKey&) = delete;
    // Frees the keys below without recursing, however deep they go.
    ~RegKey();

    RegKey* child(const std::string& n) const;
    RegKey& childOrCreate(const std::string& n);
};

// Both roots (and any other a file names) with their trees, in regedit's export format.
class RegTree {
public:
    RegKey& root(const std::string& rootName);
    const std::map<std::string, std::unique_ptr<RegKey>, NameLess>& roots() const { return roots_; }
    // "\A\B\" relative to a root; empty parts are ignored.
    RegKey* find(const std::string& rootName, const std::string& path) const;
    RegKey& findOrCreate(const std::string& rootName, const std::string& path);
    RegKey* find(const std::string& rootName, const std::vector<std::string>& parts) const;
    RegKey& findOrCreate(const std::string& rootName, const std::vector<std::string>& parts);

private:
    std::map<std::string, std::unique_ptr<RegKey>, NameLess> roots_;
};

struct RegParseError {
    int line = 0;
    std::string message;
};

// Parses a regedit export (v5 UTF-16LE, LF or CRLF; REGEDIT4 in Windows-1252).
// Returns false and fills err on anything it cannot read or could not write back as it was.
bool parseRegFile(const std::string& bytes, RegTree& tree, RegParseError& err);

// The v5 export of everything in the tree, as regedit and Wine's reg.exe write it.
std::string serializeRegFile(const RegTree& tree);
// The export of one key and everything below it, the way "reg export ROOT\path" writes it.
std::string serializeRegSubtree(const RegKey& key, const std::string& fullPath);

std::vector<std::string> splitKeyPath(const std::string& path);
const char* rootName(RootKey root);

// The text of a String or ExpandString value, up to its first NUL.
std::string expandStringText(const RegValue& v);

} // namespace quorvale
