#include "steam_library.h"

#include "paths.h"
#include "text.h"
#include "vdf.h"
#include "wine_prefix.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>

namespace fs = std::filesystem;

namespace quorvale {

namespace {

constexpr std::string_view kFlatpakPart = "/.var/app/com.valvesoftware.Steam/";
// A game's or Steam's folder holds a few dozen names; a bound keeps a hostile one cheap.
constexpr int kMaxListed = 10000;

struct KnownGame {
    int appId;
    const char* title;
    const char* executable;
};
constexpr KnownGame kGames[] = {
    {kArrowheadAppId, "ArmA 2: Operation Arrowhead", "ArmA2OA.exe"},
    {kArma2AppId, "ArmA 2", "arma2.exe"},
};

bool isDirectory(const fs::path& p) {
    std::error_code ec;
    return fs::is_directory(p, ec);
}

bool isRegularFile(const fs::path& p) {
    std::error_code ec;
    return fs::is_regular_file(p, ec);
}

std::optional<fs::path> realPath(const fs::path& p) {
    std::error_code ec;
    fs::path c = fs::canonical(p, ec);
    return ec ? std::nullopt : std::optional(c);
}

// The entries of a folder, a bounded number, in no particular order.
std::vector<fs::path> listFolder(const fs::path& folder) {
    std::vector<fs::path> out;
    std::error_code ec;
    fs::directory_iterator it(folder, ec), end;
    for (int n = 0; !ec && it != end && n < kMaxListed; it.increment(ec), ++n)
        out.push_back(it->path());
    return out;
}

// The first number in a name, so that newest first puts Proton 10.0 before Proton 9.0.
long firstNumber(const std::string& name) {
    const size_t digit = name.find_first_of("0123456789");
    return digit == std::string::npos ? -1 : std::strtol(name.c_str() + digit, nullptr, 10);
}

// The libraries one list names: "libraryfolders" { "0" { "path" "..." } } as Steam writes it
// today, or "LibraryFolders" { "1" "..." } as it used to.
std::vector<std::string> librariesIn(const VdfNode& doc) {
    std::vector<std::string> out;
    const VdfNode* top = doc.find("libraryfolders");
    if (!top || !top->block)
        return out;
    for (const VdfNode& entry : top->children) {
        const bool numbered =
            !entry.key.empty() && std::all_of(entry.key.begin(), entry.key.end(),
                                              [](char c) { return c >= '0' && c <= '9'; });
        if (!numbered)
            continue;
        if (!entry.block)
            out.push_back(entry.value);
        else if (const auto path = entry.text("path"))
            out.push_back(*path);
    }
    return out;
}

// The game's folder in one library, from its manifest, with the executable found in it.
std::optional<SteamGame> gameInLibrary(const KnownGame& known, const SteamInstall& install,
                                       const std::string& library) {
    const fs::path apps = pathFromUtf8(library) / "steamapps";
    std::string error;
    const auto manifest = readVdfFile(
        pathToUtf8(apps / ("appmanifest_" + std::to_string(known.appId) + ".acf")), error);
    const VdfNode* state = manifest ? manifest->find("AppState") : nullptr;
    const auto dir = state ? state->text("installdir") : std::nullopt;
    // A name, never a path: the folder stays inside the library.
    if (!dir || dir->empty() || *dir == "." || *dir == ".." ||
        dir->find_first_of("/\\") != std::string::npos)
        return std::nullopt;
    const fs::path folder = apps / "common" / pathFromUtf8(*dir);
    for (const fs::path& entry : listFolder(folder)) {
        if (!sameName(pathToUtf8(entry.filename()), known.executable) || !isRegularFile(entry))
            continue;
        SteamGame game;
        game.appId = known.appId;
        game.title = known.title;
        game.root = install.root;
        game.flatpak = install.flatpak;
        game.library = library;
        game.folder = pathToUtf8(folder);
        game.executable = pathToUtf8(entry);
        return game;
    }
    return std::nullopt;
}

} // namespace

std::vector<std::string> steamRootCandidates(const std::string& home) {
    if (home.empty())
        return {};
    const fs::path h = pathFromUtf8(home);
    std::vector<std::string> out;
    for (const char* sub :
         {".steam/root", ".steam/steam", ".local/share/Steam", ".steam/debian-installation",
          ".var/app/com.valvesoftware.Steam/.local/share/Steam"})
        out.push_back(pathToUtf8(h / sub));
    return out;
}

std::vector<SteamInstall> findSteamInstalls(const std::vector<std::string>& roots) {
    std::vector<SteamInstall> installs;
    std::vector<fs::path> seenRoots;
    for (const std::string& candidate : roots) {
        const auto root = realPath(pathFromUtf8(candidate));
        if (!root || !isDirectory(*root / "steamapps") ||
            std::find(seenRoots.begin(), seenRoots.end(), *root) != seenRoots.end())
            continue;
        seenRoots.push_back(*root);
        SteamInstall install;
        install.root = pathToUtf8(*root);
        install.flatpak = (candidate + "/").find(kFlatpakPart) != std::string::npos ||
                          (install.root + "/").find(kFlatpakPart) != std::string::npos;

        std::vector<std::string> named = {install.root};
        for (const char* list : {"steamapps/libraryfolders.vdf", "config/libraryfolders.vdf"}) {
            std::string error;
            if (const auto doc = readVdfFile(pathToUtf8(*root / list), error)) {
                for (std::string& path : librariesIn(*doc))
                    named.push_back(std::move(path));
            } else if (!error.empty()) {
                install.problems.push_back("Steam's list of game libraries was left aside, "
                                           "because it cannot be read: " +
                                           error + ".");
            }
        }
        std::vector<fs::path> seenLibraries;
        for (const std::string& path : named) {
            const fs::path p = pathFromUtf8(path);
            const auto real = p.is_absolute() ? realPath(p) : std::nullopt;
            if (!real || !isDirectory(*real) ||
                std::find(seenLibraries.begin(), seenLibraries.end(), *real) != seenLibraries.end())
                continue;
            seenLibraries.push_back(*real);
            install.libraries.push_back(pathToUtf8(*real));
        }
        installs.push_back(std::move(install));
    }
    return installs;
}

std::vector<SteamInstall> findSteamInstalls() {
    const std::string home = expandHome("~");
    return findSteamInstalls(home == "~" ? std::vector<std::string>() : steamRootCandidates(home));
}

std::vector<SteamGame> findSteamGames(const std::vector<SteamInstall>& installs) {
    std::vector<SteamGame> games;
    for (const KnownGame& known : kGames)
        for (const SteamInstall& install : installs)
            for (const std::string& library : install.libraries)
                if (auto game = gameInLibrary(known, install, library))
                    games.push_back(std::move(*game));
    return games;
}

std::optional<SteamGame> steamGameFor(const std::vector<SteamGame>& games,
                                      const std::string& executable) {
    if (games.empty())
        return std::nullopt;
    std::error_code ec;
    const fs::path exe = fs::weakly_canonical(pathFromUtf8(executable), ec);
    for (const SteamGame& game : games)
        if (!ec && exe.parent_path() == realPath(pathFromUtf8(game.folder)))
            return game;
    return games.front();
}

std::string compatDataFolder(const SteamGame& game) {
    return pathToUtf8(pathFromUtf8(game.library) / "steamapps" / "compatdata" /
                      std::to_string(game.appId));
}

std::string compatPrefix(const SteamGame& game) {
    return compatDataFolder(game) + "/pfx";
}

std::vector<ProtonTool> findProtons(const std::vector<SteamInstall>& installs) {
    std::vector<ProtonTool> steams, others;
    std::vector<fs::path> seen;
    const auto add = [&](std::vector<ProtonTool>& into, const fs::path& folder) {
        const fs::path script = folder / "proton";
        const auto real = realPath(script);
        if (!real || !isRegularFile(*real) ||
            std::find(seen.begin(), seen.end(), *real) != seen.end())
            return;
        seen.push_back(*real);
        into.push_back({pathToUtf8(folder.filename()), pathToUtf8(script)});
    };
    for (const SteamInstall& install : installs) {
        for (const std::string& library : install.libraries)
            for (const fs::path& folder :
                 listFolder(pathFromUtf8(library) / "steamapps" / "common"))
                if (pathToUtf8(folder.filename()).rfind("Proton", 0) == 0)
                    add(steams, folder);
        for (const fs::path& folder :
             listFolder(pathFromUtf8(install.root) / "compatibilitytools.d"))
            add(others, folder);
    }
    const auto newestFirst = [](const ProtonTool& a, const ProtonTool& b) {
        const long na = firstNumber(a.name), nb = firstNumber(b.name);
        return na != nb ? na > nb : a.name < b.name;
    };
    std::sort(steams.begin(), steams.end(), newestFirst);
    std::sort(others.begin(), others.end(), newestFirst);
    steams.insert(steams.end(), others.begin(), others.end());
    return steams;
}

RunnerValue parseRunnerValue(const std::string& stored) {
    constexpr std::string_view proton = "proton:";
    if (stored.rfind(proton, 0) == 0)
        return {RunnerValue::Proton, expandHome(stored.substr(proton.size()))};
    if (stored == kSteamRunnerValue)
        return {RunnerValue::Steam, {}};
    return {RunnerValue::Command, stored.empty() ? std::string("wine") : stored};
}

std::string protonRunnerValue(const std::string& script) {
    return "proton:" + script;
}

std::vector<RunnerOption> runnerOptions(const std::vector<SteamInstall>& installs) {
    std::vector<RunnerOption> options = {{"Wine", "wine"}};
    for (const ProtonTool& proton : findProtons(installs))
        options.push_back({proton.name, protonRunnerValue(proton.script)});
    if (!installs.empty())
        options.push_back({"Steam", kSteamRunnerValue});
    return options;
}

std::string gamePrefixFolder(const LauncherSettings& settings,
                             const std::string& environmentPrefix) {
    if (parseRunnerValue(settings.runner).kind != RunnerValue::Command)
        if (const auto game =
                steamGameFor(findSteamGames(findSteamInstalls()), settings.executable))
            return compatPrefix(*game);
    return winePrefixFolder(settings.winePrefix, environmentPrefix);
}

std::optional<SteamSetup> steamSetup(const std::vector<SteamInstall>& installs) {
    const std::vector<SteamGame> games = findSteamGames(installs);
    if (games.empty())
        return std::nullopt;
    SteamSetup setup{games.front(), kSteamRunnerValue};
    const std::vector<ProtonTool> protons = findProtons(installs);
    if (!protons.empty() && isDirectory(pathFromUtf8(compatPrefix(setup.game))))
        setup.runner = protonRunnerValue(protons.front().script);
    return setup;
}

std::string steamGameFoundMessage(const SteamSetup& setup) {
    const RunnerValue runner = parseRunnerValue(setup.runner);
    const std::string how =
        runner.kind == RunnerValue::Proton
            ? "It starts through " + pathToUtf8(pathFromUtf8(runner.text).parent_path().filename())
            : "Steam starts it, as Proton has not made its Windows folder yet";
    return setup.game.title + " was found in Steam's library:\n" + setup.game.executable + "\n" +
           how +
           ". Another executable can be chosen with \"change\", another way to start it under "
           "Options, \"Run Windows programs with:\".";
}

std::string steamNotFoundMessage() {
    return "Steam was not found. Quorvale looks for it in ~/.steam/root, ~/.local/share/Steam, "
           "~/.steam/debian-installation and, for Steam from Flathub, in "
           "~/.var/app/com.valvesoftware.Steam/.local/share/Steam. Start Steam once, or choose "
           "Wine under Options, \"Run Windows programs with:\".";
}

std::string steamWithoutGameMessage(const std::vector<SteamInstall>& installs) {
    if (installs.empty())
        return steamNotFoundMessage();
    std::string text = "Steam is installed, but ArmA 2: Operation Arrowhead and ArmA 2 are in "
                       "none of its game libraries:";
    for (const SteamInstall& install : installs)
        for (const std::string& library : install.libraries)
            text += "\n" + library;
    text += "\nInstall the game in Steam, or choose Wine under Options, \"Run Windows programs "
            "with:\".";
    for (const SteamInstall& install : installs)
        for (const std::string& problem : install.problems)
            text += "\n\n" + problem;
    return text;
}

std::string protonMissingMessage(const std::string& script) {
    return "The Proton chosen under Options, \"Run Windows programs with:\", is not there any "
           "more:\n" +
           script + "\nChoose another one there, or install that Proton again in Steam.";
}

std::string compatDataMissingMessage(const SteamGame& game) {
    return game.title +
           " has not been started from Steam yet, so Proton has not made its "
           "Windows folder (" +
           compatDataFolder(game) +
           "). Start the game once from Steam and quit it, then start it from here.";
}

} // namespace quorvale
