// libFuzzer target: no text may crash or hang Steam's file reader; a refusal says why, and a text
// read under tight limits reads the same under the usual ones.
#include "vdf.h"

#include <cstdint>
#include <cstdlib>

using namespace quorvale;

namespace {
bool same(const VdfNode& a, const VdfNode& b) {
    if (a.key != b.key || a.value != b.value || a.block != b.block ||
        a.children.size() != b.children.size())
        return false;
    for (size_t i = 0; i < a.children.size(); ++i)
        if (!same(a.children[i], b.children[i]))
            return false;
    return true;
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    std::string error;
    const auto tight = parseVdf(text, error, VdfLimits{4096, 4, 64});
    if (!tight && error.empty())
        std::abort();
    const auto usual = parseVdf(text, error);
    if (tight && (!usual || !same(*tight, *usual)))
        std::abort();
    return 0;
}
