#include "server_mods.h"

#include "paths.h"
#include "text.h"

#include <algorithm>
#include <fstream>

namespace quorvale {

namespace {

constexpr size_t kModCppBytes = 64 * 1024;
constexpr size_t kModNameBytes = 256;

std::string_view withoutAt(std::string_view s) {
    return !s.empty() && s.front() == '@' ? s.substr(1) : s;
}

bool sameMod(std::string_view a, std::string_view b) {
    return !withoutAt(a).empty() && sameName(withoutAt(a), withoutAt(b));
}

bool isBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

} // namespace

bool isGameContent(std::string_view name) {
    static constexpr std::string_view kGame[] = {
        "Arma 2",
        "Arma 2: Operation Arrowhead",
        "Arma 2: British Armed Forces",
        "Arma 2: Private Military Company",
        "Arma 2: Army of the Czech Republic",
        "Arma 2: Reinforcements",
        "Arma 2: Free",
        "Arma 2: Operation Arrowhead Demo",
        "CA",
        "Expansion",
        "BAF",
        "PMC",
        "ACR",
    };
    std::string_view base = name;
    constexpr std::string_view lite = " (Lite)";
    if (base.size() > lite.size() && sameName(base.substr(base.size() - lite.size()), lite))
        base.remove_suffix(lite.size());
    return std::any_of(std::begin(kGame), std::end(kGame),
                       [&](std::string_view g) { return sameName(base, g); });
}

std::vector<ServerModMatch> matchServerMods(const std::vector<std::string>& names,
                                            const ModTable& mods) {
    std::vector<ServerModMatch> matches;
    for (const std::string& name : names) {
        ServerModMatch m;
        m.name = name;
        const auto& e = mods.entries;
        // A display name that matches wins over a folder that does.
        auto it = std::find_if(e.begin(), e.end(),
                               [&](const ModEntry& k) { return sameMod(k.name, name); });
        if (it == e.end())
            it = std::find_if(e.begin(), e.end(),
                              [&](const ModEntry& k) { return sameMod(k.folder, name); });
        if (it != e.end())
            m.slot = static_cast<int>(it - e.begin());
        else
            m.game = isGameContent(name);
        matches.push_back(std::move(m));
    }
    return matches;
}

std::vector<std::string> matchedFolders(const std::vector<ServerModMatch>& matches,
                                        const ModTable& mods) {
    std::vector<std::string> folders;
    for (const ServerModMatch& m : matches) {
        if (!mods.holds(m.slot))
            continue;
        const std::string& folder = mods.entries[static_cast<size_t>(m.slot)].folder;
        if (std::find(folders.begin(), folders.end(), folder) == folders.end())
            folders.push_back(folder);
    }
    return folders;
}

std::vector<std::string> missingMods(const std::vector<ServerModMatch>& matches) {
    std::vector<std::string> missing;
    for (const ServerModMatch& m : matches)
        if (m.missing() && std::find(missing.begin(), missing.end(), m.name) == missing.end())
            missing.push_back(m.name);
    return missing;
}

std::string missingModsQuestion(const std::vector<std::string>& missing) {
    std::string q = "This server uses " + std::to_string(missing.size()) +
                    (missing.size() == 1 ? " mod" : " mods") + " you do not have: ";
    for (size_t i = 0; i < missing.size(); ++i)
        q += (i ? ", " : "") + escapeControlCharacters(missing[i]);
    return q + ". Join anyway?";
}

std::optional<std::string> modCppName(std::string_view text) {
    // `name = "..." ;` at the start of a statement; "" inside the quotes is one quote.
    size_t at = 0;
    while ((at = text.find("name", at)) != std::string_view::npos) {
        const size_t start = at;
        at += 4;
        if (start > 0 && !isBlank(text[start - 1]) && text[start - 1] != ';' &&
            text[start - 1] != '{')
            continue;
        size_t i = at;
        while (i < text.size() && isBlank(text[i]))
            ++i;
        if (i >= text.size() || text[i] != '=')
            continue;
        ++i;
        while (i < text.size() && isBlank(text[i]))
            ++i;
        if (i >= text.size() || text[i] != '"')
            continue;
        std::string value;
        for (++i; i < text.size(); ++i) {
            if (text[i] == '"') {
                if (i + 1 < text.size() && text[i + 1] == '"') {
                    value += '"';
                    ++i;
                    continue;
                }
                const std::string name = decodeUtf8OrCp1252(value);
                if (name.empty())
                    return std::nullopt;
                return name;
            }
            if (text[i] == '\n' || value.size() >= kModNameBytes)
                break;
            value += text[i];
        }
        return std::nullopt;
    }
    return std::nullopt;
}

std::optional<std::string> readModCppName(const std::string& folder) {
    std::ifstream in(pathFromUtf8(folder) / "mod.cpp", std::ios::binary);
    if (!in)
        return std::nullopt;
    std::string text(kModCppBytes, '\0');
    in.read(text.data(), static_cast<std::streamsize>(text.size()));
    text.resize(static_cast<size_t>(in.gcount()));
    return modCppName(text);
}

} // namespace quorvale
