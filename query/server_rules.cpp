#include "server_rules.h"

#include "text.h"

#include <map>
#include <optional>

namespace quorvale {

namespace {

constexpr size_t kMissingTold = 5;
constexpr size_t kMaxIndexDigits = 9; // more is no count a reply could hold

// The index and last index of "name:i-N", when key is a chunk of name.
std::optional<std::pair<uint64_t, uint64_t>> chunkOf(std::string_view key, std::string_view name) {
    if (key.size() <= name.size() + 1 || key.substr(0, name.size()) != name ||
        key[name.size()] != ':')
        return std::nullopt;
    key.remove_prefix(name.size() + 1);
    const auto number = [&key](uint64_t& out) {
        size_t n = 0;
        out = 0;
        while (n < key.size() && key[n] >= '0' && key[n] <= '9' && n < kMaxIndexDigits)
            out = out * 10 + static_cast<uint64_t>(key[n++] - '0');
        key.remove_prefix(n);
        return n > 0;
    };
    uint64_t index = 0, last = 0;
    if (!number(index) || key.empty() || key.front() != '-')
        return std::nullopt;
    key.remove_prefix(1);
    if (!number(last) || !key.empty() || index > last)
        return std::nullopt;
    return std::pair(index, last);
}

} // namespace

JoinedValue joinChunkedRule(const std::vector<RawRule>& rules, std::string_view name) {
    JoinedValue v;
    std::map<uint64_t, const std::string*> chunks;
    std::optional<uint64_t> last;
    for (const auto& [key, value] : rules) {
        if (key == name) {
            v.present = true;
            v.count = 1;
            v.runs = {{value, true, true}};
            return v;
        }
        const auto chunk = chunkOf(key, name);
        if (!chunk)
            continue;
        if (!last)
            last = chunk->second;
        if (chunk->second != *last) {
            v.conflicting = true;
            continue;
        }
        const auto [at, added] = chunks.emplace(chunk->first, &value);
        if (!added && *at->second != value)
            v.conflicting = true;
    }
    if (!last)
        return v;
    v.present = true;
    v.count = *last + 1;
    v.missing = v.count - chunks.size();
    uint64_t expected = 0;
    const auto noteGap = [&v](uint64_t from, uint64_t to) {
        for (uint64_t i = from; i < to && v.firstMissing.size() < kMissingTold; ++i)
            v.firstMissing.push_back(i);
    };
    for (const auto& [index, text] : chunks) {
        if (v.runs.empty() || index != expected) {
            noteGap(expected, index);
            if (!v.runs.empty())
                v.runs.back().wholeEnd = false;
            v.runs.push_back({std::string(), index == 0, true});
        }
        v.runs.back().text += *text;
        expected = index + 1;
    }
    noteGap(expected, v.count);
    if (expected != v.count)
        v.runs.back().wholeEnd = false;
    return v;
}

std::vector<std::string> listItems(const JoinedValue& value) {
    std::vector<std::string> items;
    for (const ChunkRun& run : value.runs) {
        std::vector<std::string_view> parts;
        std::string_view rest = run.text;
        for (size_t semi; (semi = rest.find(';')) != std::string_view::npos;) {
            parts.push_back(rest.substr(0, semi));
            rest.remove_prefix(semi + 1);
        }
        parts.push_back(rest);
        // An item that touches a gap lost part of its text.
        const size_t from = run.wholeStart ? 0 : 1;
        const size_t to = run.wholeEnd ? parts.size() : parts.size() - 1;
        for (size_t i = from; i < to; ++i) {
            if (parts[i].empty())
                continue;
            if (items.size() == MaxServerMods)
                return items;
            items.push_back(decodeUtf8OrCp1252(parts[i]));
        }
    }
    return items;
}

std::string describeGaps(std::string_view name, const JoinedValue& value) {
    std::string text;
    if (value.missing > 0) {
        text = std::string(name) + ": " + std::to_string(value.missing) + " of " +
               std::to_string(value.count) + " chunks did not come (";
        for (size_t i = 0; i < value.firstMissing.size(); ++i)
            text += (i ? ", " : "") + std::to_string(value.firstMissing[i]);
        text += value.missing > value.firstMissing.size() ? ", ...)" : ")";
    }
    if (value.conflicting)
        text += std::string(text.empty() ? std::string(name) + ": " : "; ") +
                "chunks that contradict others were left out";
    return text;
}

bool rulesNameMods(const std::vector<RawRule>& rules) {
    return joinChunkedRule(rules, "modNames").present;
}

ServerMods modsOfRules(const std::vector<RawRule>& rules) {
    ServerMods mods;
    const JoinedValue names = joinChunkedRule(rules, "modNames");
    const JoinedValue hashes = joinChunkedRule(rules, "modHashes");
    mods.names = listItems(names);
    mods.hashes = listItems(hashes);
    for (const std::string& gap :
         {describeGaps("modNames", names), describeGaps("modHashes", hashes)})
        if (!gap.empty())
            mods.problem += (mods.problem.empty() ? "" : "; ") + gap;
    return mods;
}

ServerMods modsOfListValue(std::string_view value) {
    JoinedValue v;
    v.present = true;
    v.count = 1;
    v.runs = {{std::string(value), true, true}};
    ServerMods mods;
    mods.names = listItems(v);
    return mods;
}

} // namespace quorvale
