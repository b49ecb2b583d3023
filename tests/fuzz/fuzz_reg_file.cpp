// libFuzzer target: no file may crash the store file's reader or writer, and what the writer
// writes the reader reads back as the same keys and values.
#include "reg_file.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

using namespace quorvale;

namespace {

bool sameValues(const RegKey& a, const RegKey& b) {
    if (a.name != b.name || a.values.size() != b.values.size() ||
        a.subkeys.size() != b.subkeys.size())
        return false;
    for (auto i = a.values.begin(), j = b.values.begin(); i != a.values.end(); ++i, ++j)
        if (i->second.name != j->second.name || !(i->second == j->second))
            return false;
    return true;
}

bool sameTree(const RegTree& a, const RegTree& b) {
    if (a.roots().size() != b.roots().size())
        return false;
    std::vector<std::pair<const RegKey*, const RegKey*>> todo;
    for (auto i = a.roots().begin(), j = b.roots().begin(); i != a.roots().end(); ++i, ++j)
        todo.emplace_back(i->second.get(), j->second.get());
    while (!todo.empty()) {
        const auto [x, y] = todo.back();
        todo.pop_back();
        if (!sameValues(*x, *y))
            return false;
        for (auto i = x->subkeys.begin(), j = y->subkeys.begin(); i != x->subkeys.end(); ++i, ++j)
            todo.emplace_back(i->second.get(), j->second.get());
    }
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    RegTree first;
    RegParseError err;
    if (!parseRegFile(bytes, first, err))
        return 0;
    const std::string written = serializeRegFile(first);
    RegTree second;
    if (!parseRegFile(written, second, err))
        __builtin_trap(); // we wrote what we cannot read
    if (!sameTree(first, second))
        __builtin_trap(); // a rewrite changed a key or a value
    if (serializeRegFile(second) != written)
        __builtin_trap();
    return 0;
}
