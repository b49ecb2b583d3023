#pragma once

// Steam under a home folder: the root with ArmA 2 and Proton 8.0, a second library (a blank in
// its name) with Operation Arrowhead, its compatdata with a prefix, and more Protons. Each
// Proton's script writes Steam's four variables to protonEnv, then runs the stub game.
#include "scoped_env.h"
#include "stub_records.h"
#include "temp_dir.h"

#include <filesystem>

struct FakeSteam {
    enum class List { Current, Old, InConfig, None }; // Steam's list of libraries

    TempDir dir;
    std::string home = dir.file("home"), root, arma2, proton;
    std::string library = dir.file("games/Steam Library");
    std::string arrowhead = library + "/steamapps/common/Arma 2 Operation Arrowhead";
    std::string arrowheadExe = arrowhead + "/arma2oa.EXE"; // matched without regard to case
    std::string compatData = library + "/steamapps/compatdata/33930";
    std::string records = dir.file("records"), protonEnv = dir.file("proton-env");
    ScopedEnv stubOut{"QUORVALE_STUB_OUT", records};

    explicit FakeSteam(List list = List::Current, bool flatpak = false) {
        namespace fs = std::filesystem;
        root = home + (flatpak ? "/.var/app/com.valvesoftware.Steam" : "") + "/.local/share/Steam";
        arma2 = root + "/steamapps/common/Arma 2";
        fs::create_directories(root + "/steamapps");
        if (!flatpak) {
            fs::create_directories(home + "/.steam");
            fs::create_directory_symlink(root, home + "/.steam/root"); // the same Steam twice
        }
        const std::string libs = "\"0\" { \"path\" \"" + root + "\" }\n\"1\" { \"path\" \"" +
                                 library + "\" \"apps\" { \"33930\" \"2\" } }\n";
        if (list == List::Current || list == List::InConfig)
            writeAll(root + (list == List::Current ? "/steamapps" : "/config") +
                         "/libraryfolders.vdf",
                     "\"libraryfolders\"\n{\n\"contentstatsid\" \"-1\"\n" + libs + "}\n");
        if (list == List::Old)
            writeAll(root + "/steamapps/libraryfolders.vdf",
                     "\"LibraryFolders\"\n{\n\t\"TimeNextStatsReport\"\t\"1\"\n\t\"1\"\t\"" +
                         library + "\"\n}\n");
        game(root, "33900", "Arma 2", "ArmA2.exe");
        game(library, "33930", "Arma 2 Operation Arrowhead", "arma2oa.EXE");
        proton = protonAt(root + "/steamapps/common/Proton 8.0");
        protonAt(library + "/steamapps/common/Proton 10.0");
        protonAt(root + "/compatibilitytools.d/GE-Proton9-1");
        fs::create_directories(library + "/steamapps/common/Proton EasyAntiCheat Runtime");
        fs::create_directories(compatData + "/pfx/dosdevices");
        fs::create_directory_symlink("../drive_c", compatData + "/pfx/dosdevices/c:");
        writeAll(compatData + "/pfx/drive_c/users/steamuser/Documents/ArmA 2 Other Profiles/"
                              "Zo%C3%AB/Zo%C3%AB.ArmA2OAProfile",
                 "");
        writeAll(compatData + "/pfx/drive_c/Games/OA/ArmA2OA.exe", "MZ");
        writeAll(compatData + "/pfx/system.reg",
                 "WINE REGISTRY Version 2\n\n[Software\\\\Bohemia Interactive Studio\\\\ArmA 2 "
                 "OA] 1\n\"MAIN\"=\"C:\\\\Games\\\\OA\"\n");
        writeAll(compatData + "/pfx/user.reg",
                 "WINE REGISTRY Version 2\n\n[Software\\\\Bohemia Interactive Studio\\\\ArmA 2] 1\n"
                 "\"Player Name\"=\"Zo\\x00eb \\\"Z\\\"\"\n");
    }

    static void game(const std::string& lib, const std::string& appId, const std::string& folder,
                     const std::string& exe) {
        writeAll(lib + "/steamapps/appmanifest_" + appId + ".acf",
                 "\"AppState\" { \"appid\" \"" + appId + "\" \"installdir\" \"" + folder + "\" }");
        writeAll(lib + "/steamapps/common/" + folder + "/" + exe, "MZ");
    }

    std::string protonAt(const std::string& folder) const {
        writeAll(folder + "/proton",
                 "#!/bin/sh\nprintf '%s\\n' \"$STEAM_COMPAT_DATA_PATH\" "
                 "\"$STEAM_COMPAT_CLIENT_INSTALL_PATH\" \"$SteamAppId\" \"$SteamGameId\" >'" +
                     protonEnv + "'\nexec '" STUB_GAME_PATH "' \"$@\"\n");
        std::filesystem::permissions(folder + "/proton", std::filesystem::perms::owner_all);
        return folder + "/proton";
    }
};
