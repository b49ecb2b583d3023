#include "registry_io.h"
#include "paths.h"

#include "errors.h"
#include "list_editing.h"
#include "text.h"
#ifndef _WIN32
#include "steam_library.h"
#include "wine_prefix.h"
#endif

#include <algorithm>
#include <cstdlib>
#include <exception>
#include <filesystem>
#include <optional>
#include <set>
#include <utility>

namespace fs = std::filesystem;

namespace quorvale {

namespace {

// Value names of the launcher key.
constexpr const char* kExecutable = "executable";
constexpr const char* kNoSplash = "nosplash";
constexpr const char* kWindowed = "window";
constexpr const char* kCloseAfterLaunch = "close";
constexpr const char* kRunTrackIr = "runtir";
constexpr const char* kFlashTaskbar = "flash";
constexpr const char* kAlertSound = "watchers";
constexpr const char* kMaxMemory = "maxmem";
constexpr const char* kNewGameSound = "sound1";
constexpr const char* kPlayersBackSound = "sound2";
constexpr const char* kAdditionalParameters = "extraParams";
constexpr const char* kPreLaunchProgram = "extraExec";
constexpr const char* kRunner = "runner"; // where there is no Windows
constexpr const char* kWinePrefix = "wineprefix";
// Added later, each optional: the internet servers' master and app id, the servers joined.
constexpr const char* kMasterServer = "masterserver";
constexpr const char* kMasterAppId = "masterappid";
constexpr const char* kServerHistory = "serverhistory";
constexpr const char* kWebApiKey = "webapikey";
constexpr const char* kWebApiUrl = "webapiurl";

// Value names of an entry's subkey.
constexpr const char* kModName = "name";
constexpr const char* kModFolder = "dir";
constexpr const char* kModChecked = "checked";
constexpr const char* kModOrder = "order"; // added later: the load order, optional
constexpr const char* kServerName = "name";
constexpr const char* kServerHost = "ip";
constexpr const char* kServerPort = "port";
constexpr const char* kServerQueryPort = "queryport"; // added later: optional
constexpr const char* kServerPassword = "pass";
constexpr const char* kServerSockets = "sockets";
constexpr const char* kServerMods = "mods";

// Reads of the launcher key's own values. Each value read (or fallen back) counts as read,
// so that the save writes it back; a value the load never came to is not written.
class SettingsLoad {
public:
    SettingsLoad(RegistryStore& store, LauncherState& state)
        : store_(store), stored_(state.storedSettings) {
        stored_.read.clear();
        stored_.asLoaded = state.settings;
    }
    // No fallback: a failed read throws.
    bool flag(const char* name) { return read(name, store_.readInteger(name) != 0); }
    std::string text(const char* name) { return read(name, store_.readString(name)); }
    bool flag(const char* name, bool fallback) { return number(name, fallback ? 1 : 0) != 0; }
    int32_t number(const char* name, int32_t fallback) {
        try {
            return read(name, store_.readInteger(name));
        } catch (const RegistryError&) {
            return read(name, fallback);
        }
    }
    std::string text(const char* name, const std::string& fallback) {
        try {
            return read(name, store_.readString(name));
        } catch (const RegistryError&) {
            return read(name, fallback);
        }
    }
    template <typename T> T read(const char* name, T value) {
        stored_.read.insert(name);
        return value;
    }

private:
    RegistryStore& store_;
    StoredValues& stored_;
};

// Writes of the launcher key's own values: each one only when this run read it or the player
// changed it since the load.
class SettingsSave {
public:
    SettingsSave(RegistryStore& store, LauncherState& state)
        : store_(store), stored_(state.storedSettings), now_(state.settings) {}
    void put(const char* name, std::string LauncherSettings::*field) {
        if (wanted(name, field))
            store_.writeString(name, now_.*field);
    }
    void put(const char* name, bool LauncherSettings::*field) {
        if (wanted(name, field))
            store_.writeInteger(name, now_.*field ? 1 : 0);
    }
    void put(const char* name, int32_t LauncherSettings::*field) {
        if (wanted(name, field))
            store_.writeInteger(name, now_.*field);
    }
    void put(const char* name, std::vector<ServerEntry> LauncherSettings::*field) {
        if (wanted(name, field))
            store_.writeString(name, historyText(now_.*field));
    }
    void put(const char* name, AlertSound LauncherSettings::*field) {
        if (wanted(name, field))
            store_.writeInteger(name, static_cast<int32_t>(now_.*field));
    }

private:
    template <typename T> bool wanted(const char* name, T LauncherSettings::*field) {
        if (!stored_.read.count(name) && now_.*field == stored_.asLoaded.*field)
            return false;
        stored_.read.insert(name); // written: this run's from now on
        return true;
    }
    RegistryStore& store_;
    StoredValues& stored_;
    const LauncherSettings& now_;
};

// A table value added later: missing or unreadable is empty and does not end the load.
std::string optionalText(RegistryStore& store, const char* name) {
    if (!store.valueExists(name))
        return {};
    try {
        return store.readString(name);
    } catch (const RegistryError&) {
        return {};
    }
}

// The same for a number: nothing when missing or unreadable.
std::optional<int32_t> optionalNumber(RegistryStore& store, const char* name) {
    if (!store.valueExists(name))
        return std::nullopt;
    try {
        return store.readInteger(name);
    } catch (const RegistryError&) {
        return std::nullopt;
    }
}

// Sorts the loaded mods by their order, ties in store order.
void putInLoadOrder(std::vector<ModEntry>& mods, std::vector<std::pair<int64_t, size_t>> order) {
    std::stable_sort(order.begin(), order.end());
    std::vector<ModEntry> sorted;
    sorted.reserve(mods.size());
    for (const auto& [rank, place] : order)
        sorted.push_back(std::move(mods[place]));
    mods = std::move(sorted);
}

void tellOverflow(LoadHost& host, StoredKeys& keys, const char* what, size_t listed) {
    if (listed <= static_cast<size_t>(TableCapacity) || keys.overflowTold)
        return;
    keys.overflowTold = true;
    host.showMessage("The settings hold " + std::to_string(listed) + " " + what +
                     ". Quorvale shows the first " + std::to_string(TableCapacity) +
                     " and leaves the other " + std::to_string(listed - TableCapacity) +
                     " in the settings as they are.");
}

// Lists a table key's subkeys and loads each entry in store order; an entry that fails to
// load ends the load with the entries before it kept.
template <typename Entry, typename LoadEntry>
void loadTable(RegistryStore& store, Table<Entry>& table, const char* key, const char* what,
               LoadHost& host, LoadEntry loadEntry) {
    store.openKey(key, true);
    auto names = store.subKeyNames();
    table.keys.listed = names;
    table.keys.loaded.clear();
    table.entries.clear();
    tellOverflow(host, table.keys, what, names.size());
    const size_t n = std::min(names.size(), static_cast<size_t>(TableCapacity));
    for (size_t i = 0; i < n; ++i) {
        Entry entry;
        entry.id = strToInt(names[i]);
        store.openKey(std::string(key) + "\\" + names[i], true);
        loadEntry(entry);
        table.entries.push_back(std::move(entry));
        table.keys.loaded.push_back(names[i]);
    }
}

// Writes every entry, then removes the subkeys this process loaded that no entry names any
// more. Subkeys it never loaded are left alone.
template <typename Entry, typename WriteEntry>
void saveTable(RegistryStore& store, Table<Entry>& table, const char* key, WriteEntry writeEntry) {
    std::set<std::string, bool (*)(const std::string&, const std::string&)> kept(
        [](const std::string& a, const std::string& b) { return compareNames(a, b) < 0; });
    store.openKey(key, true);
    for (const Entry& entry : table.entries) {
        const std::string sub = std::to_string(entry.id);
        store.openKey(std::string(key) + "\\" + sub, true);
        writeEntry(entry);
        kept.insert(sub);
    }
    store.openKey(key, true);
    std::vector<std::string> loaded;
    for (const auto& name : table.keys.loaded) {
        if (!kept.count(name))
            store.deleteKey(name);
    }
    for (const auto& name : kept)
        loaded.push_back(name);
    // What this process now owns in the store: the entries it wrote.
    table.keys.loaded = std::move(loaded);
}

} // namespace

void readRegistry(RegistryStore& store, LauncherState& state, LoadHost& host,
                  const std::string& userProfile,
                  [[maybe_unused]] const std::string& environmentPrefix) {
    if (const std::string notice = store.takeNotice(); !notice.empty())
        host.showMessage(notice);
    LauncherSettings& s = state.settings;
    SettingsLoad in(store, state);
    // A store that cannot write its file does not end the load: what it holds in memory is
    // loaded and shown, so that the window and a launch agree; the failure is told at the end.
    std::exception_ptr notWritten;
    auto closeKeepingFailure = [&](KeyScope& scope) {
        try {
            scope.close();
        } catch (const StoreWriteError&) {
            if (!notWritten)
                notWritten = std::current_exception();
        }
    };

    // The game's folder, where its installer recorded it.
    store.setRoot(RootKey::LocalMachine);
    bool installKey;
    {
        KeyScope scope(store);
        installKey = store.openKeyReadOnly(kGameInstallKey);
        if (installKey)
            s.gamePath = store.readString("MAIN");
        closeKeepingFailure(scope);
    }
    s.gameInstallKeyFound = installKey;
    store.setRoot(RootKey::CurrentUser);
#ifndef _WIN32
    // A game the store does not place, and whose executable is not there yet, is looked for
    // where Linux players have it: installed in a Wine prefix, else in Steam's libraries.
    std::optional<std::pair<std::string, std::string>> inPrefix; // prefix, game folder
    const auto gameFolderFromPrefix = [&](const std::string& prefix) {
        if (installKey)
            return;
        if (!inPrefix || inPrefix->first != prefix) {
            std::string folder = gameFolderInPrefix(prefix);
            if (folder.empty())
                if (const auto games = findSteamGames(findSteamInstalls()); !games.empty())
                    folder = games.front().folder;
            inPrefix.emplace(prefix, folder);
        }
        if (!inPrefix->second.empty())
            s.gamePath = inPrefix->second;
    };
#endif

    // A game in Steam's libraries needs no chooser: it is taken with a way to start it, and told.
    const auto takeGameFromSteam = [&] {
#ifndef _WIN32
        if (const auto steam = steamSetup(findSteamInstalls())) {
            store.writeString(kExecutable, steam->game.executable);
            store.writeString(kRunner, steam->runner);
            host.showMessage(steamGameFoundMessage(*steam));
            return true;
        }
#endif
        return false;
    };

    host.refreshLocalAddress();

    // First run: the launcher key and its defaults, with the executable the player picks.
    {
        KeyScope scope(store);
        if (!store.openKey(kLauncherKey, false)) {
            if (store.openKey(kLauncherKey, true)) {
                if (!takeGameFromSteam()) {
#ifndef _WIN32
                    gameFolderFromPrefix(environmentPrefix);
#endif
                    host.showMessage("Select the ArmA 2 executable.");
                    store.writeString(kExecutable, host.chooseExecutable());
                }
                store.writeInteger(kNoSplash, 1);
                store.writeInteger(kWindowed, 0);
                store.writeInteger(kCloseAfterLaunch, 0);
                store.writeInteger(kAlertSound, 1);
                store.writeString("o_sound1", "none");
                store.writeString("o_sound2", "none");
                store.openKey(kModsKey, true);
                store.openKey(kServersKey, true);
            }
        }
        closeKeepingFailure(scope);
    }

    KeyScope scope(store);
    if (store.openKey(kLauncherKey, false)) {
        s.executable = in.text(kExecutable);
#ifndef _WIN32
        // Older stores have neither value; a save leaves them without until the player sets one.
        s.runner = store.valueExists(kRunner) ? in.text(kRunner, "") : std::string();
        if (s.runner.empty())
            s.runner = "wine";
        s.winePrefix = store.valueExists(kWinePrefix) ? in.text(kWinePrefix, "") : std::string();
        const std::string prefix = gamePrefixFolder(s, environmentPrefix);
#endif
        std::error_code ec;
        if (!fs::is_regular_file(pathFromUtf8(s.executable), ec)) {
#ifndef _WIN32
            gameFolderFromPrefix(prefix);
#endif
            host.showMessage("ArmA Executable not found! Select the correct ArmA executable.");
            const std::string chosen = host.chooseExecutable();
            store.writeString(kExecutable, chosen);
            s.executable = chosen;
        }
        // Without the game's install key the game lives where its executable is.
        if (!installKey && fs::is_regular_file(pathFromUtf8(s.executable), ec))
            s.gamePath = pathToUtf8(pathFromUtf8(s.executable).parent_path());

        // Values every store has since the first run: a failed read ends the load.
        s.noSplash = in.flag(kNoSplash);
        s.windowed = in.flag(kWindowed);
        // Values added later fall back to their defaults.
        s.closeAfterLaunch = in.flag(kCloseAfterLaunch, false);
        s.runTrackIr = in.flag(kRunTrackIr, false);
        s.flashTaskbar = in.flag(kFlashTaskbar, true);
        s.alertSound = static_cast<AlertSound>(in.number(kAlertSound, 1));
        s.maxMemory = in.number(kMaxMemory, 0);
        // The two sounds stand or fall together.
        try {
            s.newGameSound = in.text(kNewGameSound);
            s.playersBackSound = in.text(kPlayersBackSound);
        } catch (const RegistryError&) {
            s.newGameSound = in.read(kNewGameSound, std::string("none"));
            s.playersBackSound = in.read(kPlayersBackSound, std::string("none"));
        }
        s.additionalParameters = in.text(kAdditionalParameters, "");
        s.preLaunchProgram = in.text(kPreLaunchProgram, "");
        // Older stores have none of these; a save leaves them without until they change.
        const auto added = [&](const char* name) {
            return store.valueExists(name) ? in.text(name, "") : std::string();
        };
        s.masterServer = added(kMasterServer);
        s.masterAppId = added(kMasterAppId);
        s.history = parseHistory(added(kServerHistory));
        s.webApiKey = added(kWebApiKey);
        s.webApiUrl = added(kWebApiUrl);
        if (s.newGameSound.empty())
            s.newGameSound = "none";
        if (s.playersBackSound.empty())
            s.playersBackSound = "none";

        // The mods load in the player's order: a mod without one keeps its place in the store's
        // order, as stores of older builds have it.
        std::vector<std::pair<int64_t, size_t>> order; // order, store place
        try {
            loadTable(store, state.mods, kModsKey, "mods", host, [&](ModEntry& m) {
                m.name = store.readString(kModName);
                m.folder = store.readString(kModFolder);
                m.checked = store.readInteger(kModChecked) != 0;
                const size_t place = order.size();
                order.emplace_back(optionalNumber(store, kModOrder).value_or(place), place);
            });
        } catch (...) {
            order.resize(state.mods.entries.size());
            putInLoadOrder(state.mods.entries, order);
            throw;
        }
        putInLoadOrder(state.mods.entries, order);
        loadTable(store, state.servers, kServersKey, "servers", host, [&](ServerEntry& t) {
            t.name = store.readString(kServerName);
            t.host = store.readString(kServerHost);
            t.port = store.readString(kServerPort);
            t.password = store.readString(kServerPassword);
            t.joinWithSockets = store.readInteger(kServerSockets) != 0;
            t.mods = store.readString(kServerMods);
            t.queryPort = optionalText(store, kServerQueryPort);
        });

        // The name the game itself used last.
        std::string player;
        if (store.openKey(kGameUserKey, false))
            player = store.readString("Player Name");
#ifndef _WIN32
        // Where the game itself keeps it there: in the prefix's user.reg.
        if (player.empty())
            player = playerNameInPrefix(prefix);
#endif
        host.setLoadedPlayerName(player);

        std::vector<std::string> documents;
        if (!userProfile.empty())
            for (const char* folder : {"Documents", "My Documents"})
                documents.push_back(pathToUtf8(pathFromUtf8(userProfile) / folder));
#ifndef _WIN32
        for (const std::string& folder : documentFoldersInPrefix(prefix))
            documents.push_back(folder);
#endif
        host.setPlayerList(findProfiles(documents));
    }
    closeKeepingFailure(scope);
    host.refillModList();
    host.setExecutableLabel(s.executable);
    if (notWritten)
        std::rethrow_exception(notWritten);
}

void saveRegistry(RegistryStore& store, LauncherState& state) {
    store.setRoot(RootKey::CurrentUser);
    KeyScope scope(store);
    if (!store.openKey(kLauncherKey, false)) {
        scope.close();
        return;
    }
    {
        SettingsSave out(store, state);
        out.put(kExecutable, &LauncherSettings::executable);
        out.put(kNoSplash, &LauncherSettings::noSplash);
        out.put(kWindowed, &LauncherSettings::windowed);
        out.put(kRunTrackIr, &LauncherSettings::runTrackIr);
        out.put(kFlashTaskbar, &LauncherSettings::flashTaskbar);
        out.put(kCloseAfterLaunch, &LauncherSettings::closeAfterLaunch);
        out.put(kNewGameSound, &LauncherSettings::newGameSound);
        out.put(kPlayersBackSound, &LauncherSettings::playersBackSound);
        out.put(kAlertSound, &LauncherSettings::alertSound);
        out.put(kMaxMemory, &LauncherSettings::maxMemory);
        out.put(kAdditionalParameters, &LauncherSettings::additionalParameters);
        out.put(kPreLaunchProgram, &LauncherSettings::preLaunchProgram);
        out.put(kMasterServer, &LauncherSettings::masterServer);
        out.put(kMasterAppId, &LauncherSettings::masterAppId);
        out.put(kServerHistory, &LauncherSettings::history);
        out.put(kWebApiKey, &LauncherSettings::webApiKey);
        out.put(kWebApiUrl, &LauncherSettings::webApiUrl);
#ifndef _WIN32
        out.put(kRunner, &LauncherSettings::runner);
        out.put(kWinePrefix, &LauncherSettings::winePrefix);
#endif
    }
    state.storedSettings.asLoaded = state.settings;

    saveTable(store, state.mods, kModsKey, [&](const ModEntry& m) {
        store.writeString(kModName, m.name);
        store.writeString(kModFolder, m.folder);
        store.writeInteger(kModChecked, m.checked ? 1 : 0);
        store.writeInteger(kModOrder, static_cast<int32_t>(&m - state.mods.entries.data()));
    });
    saveTable(store, state.servers, kServersKey, [&](const ServerEntry& t) {
        store.writeString(kServerName, t.name);
        store.writeString(kServerHost, t.host);
        store.writeString(kServerPassword, t.password);
        store.writeString(kServerPort, t.port);
        store.writeString(kServerMods, t.mods);
        store.writeInteger(kServerSockets, t.joinWithSockets ? 1 : 0);
        // Written only when set, so that stores stay as older builds wrote them; a value left
        // from before is emptied, as the slot may now hold another server.
        if (!t.queryPort.empty() || store.valueExists(kServerQueryPort))
            store.writeString(kServerQueryPort, t.queryPort);
    });
    scope.close();
}

bool writeExecutableChoice(RegistryStore& store, LoadHost& host) {
    store.setRoot(RootKey::CurrentUser);
    KeyScope scope(store);
    bool written = false;
    if (store.openKey(kLauncherKey, false)) {
        host.showMessage("Select the ArmA 2 executable.");
        // Cancel keeps the executable the player had.
        if (const std::string chosen = host.chooseExecutable(); !chosen.empty()) {
            store.writeString(kExecutable, chosen);
            written = true;
        }
    }
    scope.close();
    return written;
}

std::string userProfileFolder() {
    if (const char* p = std::getenv("USERPROFILE"); p && *p)
        return p;
    if (const char* h = std::getenv("HOME"); h && *h)
        return h;
    return {};
}

namespace {

int hexDigit(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if ((c | 0x20) >= 'a' && (c | 0x20) <= 'f')
        return (c | 0x20) - 'a' + 10;
    return -1;
}

// The game writes a profile's blanks and other characters as %XX in its file and folder names.
std::string percentDecoded(const std::string& s) {
    std::string out;
    for (size_t i = 0; i < s.size(); ++i) {
        const int hi = s[i] == '%' && i + 2 < s.size() ? hexDigit(s[i + 1]) : -1;
        const int lo = hi >= 0 ? hexDigit(s[i + 2]) : -1;
        if (lo < 0) {
            out += s[i];
            continue;
        }
        out += static_cast<char>(hi * 16 + lo);
        i += 2;
    }
    return isValidUtf8(out) ? out : s;
}

// The profiles in one folder: ArmA 2's, Operation Arrowhead's and the older kind, each name
// cut before the first occurrence of its extension, which matches without regard to case as the
// file search does.
void addProfilesIn(const fs::path& folder, std::vector<std::string>& names) {
    static const std::string exts[] = {".armaprofile", ".arma2profile", ".arma2oaprofile"};
    std::error_code ec;
    fs::directory_iterator it(folder, ec), end;
    for (; !ec && it != end; it.increment(ec)) {
        const std::string file = pathToUtf8(it->path().filename());
        std::string lower = file;
        std::transform(lower.begin(), lower.end(), lower.begin(), [](unsigned char c) {
            return static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c);
        });
        for (const std::string& ext : exts) {
            if (lower.size() >= ext.size() &&
                !lower.compare(lower.size() - ext.size(), ext.size(), ext)) {
                names.push_back(percentDecoded(file.substr(0, lower.find(ext))));
                break;
            }
        }
    }
}

} // namespace

std::vector<std::string> findProfiles(const std::vector<std::string>& documentFolders) {
    std::vector<std::string> names;
    for (const std::string& documents : documentFolders) {
        const fs::path base = pathFromUtf8(documents);
        addProfilesIn(base / "ArmA 2", names);
        // Every profile but the default one has a folder of its own here.
        std::error_code ec;
        fs::directory_iterator it(base / "ArmA 2 Other Profiles", ec), end;
        for (; !ec && it != end; it.increment(ec))
            addProfilesIn(it->path(), names);
    }
    // The order a Windows folder search gives on NTFS: by name, without regard to case; a name
    // found in two folders is one profile.
    std::stable_sort(names.begin(), names.end(), [](const std::string& a, const std::string& b) {
        return compareNames(a, b) < 0;
    });
    names.erase(std::unique(names.begin(), names.end(), sameName), names.end());
    return names;
}

namespace {
template <typename Table> int32_t newId(const Table& table, std::mt19937& rng, int32_t base) {
    std::uniform_int_distribution<int32_t> dist(0, 9'999'999);
    for (;;) {
        const int32_t id = dist(rng) + base;
        const std::string text = std::to_string(id);
        bool used = false;
        for (size_t i = 0; i < table.entries.size() && !used; ++i)
            used = table.entries[i].id == id;
        for (size_t k = 0; k < table.keys.listed.size() && !used; ++k)
            used = sameName(table.keys.listed[k], text);
        if (!used)
            return id;
    }
}
} // namespace

int32_t newModId(const ModTable& mods, std::mt19937& rng, int32_t base) {
    return newId(mods, rng, base);
}
int32_t newServerId(const ServerTable& servers, std::mt19937& rng, int32_t base) {
    return newId(servers, rng, base);
}

} // namespace quorvale
