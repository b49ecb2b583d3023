#include "list_editing.h"

#include "paths.h"
#include "registry_io.h"
#include "server_mods.h"
#include "text.h"

#include <algorithm>
#include <filesystem>

#ifdef _WIN32
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#endif

namespace fs = std::filesystem;

namespace quorvale {

namespace {
// Calls f with each ";"-ended token of a server's mods; NULs are skipped.
template <typename F> void forEachModToken(std::string_view mods, F f) {
    std::string token;
    for (const char c : mods) {
        if (c == ';') {
            f(token);
            token.clear();
        } else if (c != '\0') {
            token += c;
        }
    }
}
} // namespace

namespace {
// The entry a save goes to: the selected one, or a new one with a fresh id; null when full.
template <typename Entry, typename NewId>
Entry* saveSlot(Table<Entry>& table, int selected, NewId newId) {
    if (table.holds(selected))
        return &table.entries[static_cast<size_t>(selected)];
    if (table.full())
        return nullptr;
    Entry entry;
    entry.id = newId();
    table.entries.push_back(std::move(entry));
    return &table.entries.back();
}
} // namespace

bool saveModEntry(ModTable& table, int selected, const std::string& name, const std::string& dir,
                  std::mt19937& rng) {
    ModEntry* m = saveSlot(table, selected, [&] { return newModId(table, rng); });
    if (!m)
        return false;
    m->name = name; // a new mod starts unticked
    m->folder = dir;
    return true;
}

std::vector<ServerModItem> serverModItems(std::string_view mods, const ModTable& table) {
    std::vector<ServerModItem> items;
    std::vector<bool> listed(table.entries.size(), false);
    forEachModToken(mods, [&](const std::string& token) {
        if (std::any_of(items.begin(), items.end(),
                        [&](const ServerModItem& i) { return i.folder == token; }))
            return;
        const auto& e = table.entries;
        const auto it =
            std::find_if(e.begin(), e.end(), [&](const ModEntry& m) { return m.folder == token; });
        const int slot = it == e.end() ? -1 : static_cast<int>(it - e.begin());
        if (slot >= 0)
            listed[static_cast<size_t>(slot)] = true;
        items.push_back({token, slot, true});
    });
    for (size_t i = 0; i < table.entries.size(); ++i)
        if (!listed[i])
            items.push_back({table.entries[i].folder, static_cast<int>(i), false});
    return items;
}

std::string modsFromItems(const std::vector<ServerModItem>& items) {
    std::string mods;
    for (const ServerModItem& i : items)
        if (i.ticked)
            mods += i.folder + ';';
    return mods;
}

bool saveServerEntry(ServerTable& servers, int selected, const ServerFields& fields,
                     const std::string& mods, std::mt19937& rng) {
    ServerEntry* t = saveSlot(servers, selected, [&] { return newServerId(servers, rng); });
    if (!t)
        return false;
    t->name = fields.name;
    t->host = fields.host;
    t->port = fields.port;
    t->queryPort = fields.queryPort;
    t->password = fields.password;
    t->joinWithSockets = true;
    t->mods = mods;
    return true;
}

int favouriteSlot(const ServerTable& servers, std::string_view host, std::string_view port) {
    for (int i = 0; i < servers.count(); ++i) {
        const ServerEntry& e = servers.entries[static_cast<size_t>(i)];
        if (sameAsciiNoCase(e.host, host) && e.port == port)
            return i;
    }
    return -1;
}

void rememberJoined(std::vector<ServerEntry>& history, ServerEntry joined) {
    std::erase_if(history, [&](const ServerEntry& e) {
        return sameAsciiNoCase(e.host, joined.host) && e.port == joined.port;
    });
    // Only where it is: no password or mods of a favourite go into the history.
    ServerEntry kept;
    kept.name = std::move(joined.name);
    kept.host = std::move(joined.host);
    kept.port = std::move(joined.port);
    kept.queryPort = std::move(joined.queryPort);
    history.insert(history.begin(), std::move(kept));
    if (history.size() > HistoryCapacity)
        history.resize(HistoryCapacity);
}

std::string historyText(const std::vector<ServerEntry>& history) {
    const auto field = [](std::string text) {
        std::replace_if(
            text.begin(), text.end(), [](char c) { return c == '\t' || c == '\n' || c == '\r'; },
            ' ');
        return text;
    };
    std::string out;
    for (const ServerEntry& e : history)
        out += field(e.host) + '\t' + field(e.port) + '\t' + field(e.queryPort) + '\t' +
               field(e.name) + '\n';
    return out;
}

std::vector<ServerEntry> parseHistory(std::string_view text) {
    std::vector<ServerEntry> out;
    while (!text.empty() && out.size() < HistoryCapacity) {
        const size_t end = std::min(text.find('\n'), text.size());
        std::string_view line = text.substr(0, end);
        text.remove_prefix(std::min(end + 1, text.size()));
        ServerEntry e;
        for (std::string* f : {&e.host, &e.port, &e.queryPort}) {
            const size_t tab = std::min(line.find('\t'), line.size());
            *f = std::string(line.substr(0, tab));
            line.remove_prefix(std::min(tab + 1, line.size()));
        }
        e.name = std::string(line);
        if (!e.host.empty())
            out.push_back(std::move(e));
    }
    return out;
}

std::string masterAddressProblem(std::string_view text) {
    const size_t colon = text.rfind(':');
    const std::string_view host = text.substr(0, colon);
    if (host.empty())
        return "The master server needs a host name or address, e.g. " +
               std::string("hl2master.steampowered.com:27011") + ".";
    if (std::any_of(host.begin(), host.end(), [](char c) {
            return static_cast<unsigned char>(c) <= ' ' || c == '/' || c == '\\';
        }))
        return "The master server's host name holds a character no host name has.";
    uint16_t port = 0;
    if (colon != std::string_view::npos &&
        (!tryParsePort(std::string(text.substr(colon + 1)), port) || port == 0))
        return "The master server's port must be a number from 1 to 65535.";
    return {};
}

std::optional<uint32_t> appIdOf(std::string_view text) {
    if (text.empty() || text.size() > 10 ||
        !std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; }))
        return std::nullopt;
    const uint64_t n = std::stoull(std::string(text));
    return n >= 1 && n <= UINT32_MAX ? std::optional(static_cast<uint32_t>(n)) : std::nullopt;
}

std::string webApiKeyProblem(std::string_view text) {
    if (std::all_of(text.begin(), text.end(), [](char c) {
            return (c >= '0' && c <= '9') || ((c | 0x20) >= 'a' && (c | 0x20) <= 'z');
        }))
        return {};
    return "A Steam web API key holds only letters and digits (32 of them).";
}

std::string appIdProblem(std::string_view text) {
    if (text.empty() || appIdOf(text))
        return {};
    return "The app id must be empty or a whole number from 1 to 4294967295 (Operation "
           "Arrowhead: 33930).";
}

void deleteModEntry(ModTable& table, int selected) {
    if (table.holds(selected))
        table.entries.erase(table.entries.begin() + selected);
}

void deleteServerEntry(ServerTable& servers, int selected) {
    if (!servers.holds(selected))
        return;
    // Ids stay with their slots: each later server moves up into the id of the slot before it,
    // and the last id goes.
    auto& e = servers.entries;
    for (size_t j = static_cast<size_t>(selected); j + 1 < e.size(); ++j) {
        const int32_t id = e[j].id;
        e[j] = std::move(e[j + 1]);
        e[j].id = id;
    }
    e.pop_back();
}

bool sameAsciiNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size())
        return false;
    const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; };
    for (size_t i = 0; i < a.size(); ++i)
        if (lower(a[i]) != lower(b[i]))
            return false;
    return true;
}

namespace {
bool hiddenOrSystem(const fs::directory_entry& entry, const std::string& name) {
#ifdef _WIN32
    (void)name;
    const DWORD a = GetFileAttributesW(entry.path().c_str());
    return a != INVALID_FILE_ATTRIBUTES && (a & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM));
#else
    (void)entry;
    return !name.empty() && name.front() == '.';
#endif
}

bool isDir(const fs::path& p) {
    std::error_code ec;
    return fs::is_directory(p, ec);
}

// Mods ship "addons" or "dta" spelled in any case ("Addons", "AddOns"); on a file system that
// tells case apart, only a look at every entry finds them.
bool holdsGameData(const fs::path& folder) {
    if (isDir(folder / "addons") || isDir(folder / "dta"))
        return true;
    std::error_code ec;
    fs::directory_iterator it(folder, fs::directory_options::skip_permission_denied, ec);
    for (; !ec && it != fs::directory_iterator(); it.increment(ec)) {
        const std::string name = pathToUtf8(it->path().filename());
        if ((sameAsciiNoCase(name, "addons") || sameAsciiNoCase(name, "dta")) && isDir(it->path()))
            return true;
    }
    return false;
}
} // namespace

ModScan scanForMods(const std::string& gamePath, const ModTable& table) {
    ModScan scan;
    if (gamePath.empty()) {
        scan.gameFolderUnknown = true;
        return scan;
    }
    const int room = std::min(MaxFoundMods, TableCapacity - table.count());
    const fs::path root = pathFromUtf8(gamePath);
    std::error_code ec;
    fs::directory_iterator it(root, fs::directory_options::skip_permission_denied, ec);
    for (; !ec && it != fs::directory_iterator(); it.increment(ec)) {
        const std::string name = pathToUtf8(it->path().filename());
        if (name == "." || name == ".." || hiddenOrSystem(*it, name))
            continue;
        const fs::path folder = root / it->path().filename();
        if (!holdsGameData(folder))
            continue;
        const std::string display = readModCppName(pathToUtf8(folder)).value_or(name);
        if (std::any_of(table.entries.begin(), table.entries.end(), [&](const ModEntry& m) {
                return sameAsciiNoCase(m.name, name) || sameAsciiNoCase(m.name, display);
            }))
            continue;
        if (static_cast<int>(scan.found.size()) < room) {
            scan.found.push_back(name);
            scan.names.push_back(display);
        } else {
            ++scan.leftOut;
        }
    }
    scan.scanLimitHit = scan.leftOut > 0 && room == MaxFoundMods;
    return scan;
}

std::string scanQuestion(const ModScan& scan) {
    std::string q = "Found mods:\r\n";
    for (const auto& n : scan.found)
        q += n + "\r\n";
    q += "\r\n\r\n";
    if (scan.leftOut > 0)
        q += leftOutMessage(scan) + "\r\n\r\n";
    return q + "Add to mods list?";
}

std::string tableFullMessage(const char* what) {
    return std::string("The ") + what + " list is full (" + std::to_string(TableCapacity) +
           " entries). Delete an entry before adding a new one.";
}

std::string leftOutMessage(const ModScan& scan) {
    const int n = scan.leftOut;
    if (scan.scanLimitHit)
        return std::to_string(n) + (n == 1 ? " more mod folder is" : " more mod folders are") +
               " left out: one scan adds at most " + std::to_string(MaxFoundMods) +
               " mods. Scan again to add " + (n == 1 ? "it." : "them.");
    return std::to_string(n) + (n == 1 ? " more mod folder does" : " more mod folders do") +
           " not fit in the mod list (at most " + std::to_string(TableCapacity) + " entries) and " +
           (n == 1 ? "is" : "are") + " left out.";
}

void addFoundMods(ModTable& table, const std::vector<std::string>& folders, std::mt19937& rng,
                  const std::function<void(const std::string&)>& trace,
                  const std::vector<std::string>& displayNames) {
    for (size_t i = 0; i < folders.size(); ++i) {
        const std::string& n = folders[i];
        if (table.full())
            return;
        if (trace)
            trace("ADD:" + n);
        ModEntry m;
        m.id = newModId(table, rng, table.count());
        m.name = i < displayNames.size() ? displayNames[i] : n;
        m.folder = n;
        table.entries.push_back(std::move(m));
    }
}

} // namespace quorvale
