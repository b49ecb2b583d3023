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

struct RegValue {
    std::string name; // as first written
    ValueType type = ValueType::String;
    std::string text;         // String
    uint32_t dword = 0;       // Dword
    std::vector<uint8_t> raw; // every other type, bytes as stored (ExpandString: UTF-16LE)
};

struct RegKey {
    std::string name;
    std::map<std::string, RegValue, NameLess> values;
    std::map<std::string, std::unique_ptr<RegKey>, NameLess> subkeys;

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

private:
    std::map<std::string, std::unique_ptr<RegKey>, NameLess> roots_;
};

struct RegParseError {
    int line = 0;
    std::string message;
};

// Parses a regedit export (v5 UTF-16LE, LF or CRLF; REGEDIT4 in Windows-1252).
// Returns false and fills err on anything it cannot read.
bool parseRegFile(const std::string& bytes, RegTree& tree, RegParseError& err);

// The v5 export of everything in the tree, as regedit and Wine's reg.exe write it.
std::string serializeRegFile(const RegTree& tree);
// The export of one key and everything below it, the way "reg export ROOT\path" writes it.
std::string serializeRegSubtree(const RegKey& key, const std::string& fullPath);

std::vector<std::string> splitKeyPath(const std::string& path);
const char* rootName(RootKey root);

std::string expandStringText(const RegValue& v);

} // namespace quorvale
