#pragma once

#include "process_starter.h"
#include "registry_store.h"

#include <string>

class Prompter;

// What the windows need from the outside world; tests hand in their own.
struct AppContext {
    quorvale::RegistryStore* store = nullptr;
    quorvale::ProcessStarter* starter = nullptr;
    Prompter* prompter = nullptr;
    std::string userProfile;
    std::string winePrefix; // where Windows programs live when the settings name no prefix
    // The local UDP ports of the server browser and the watcher; tests take ports the system
    // picks (0).
    int browserPort = 15015;
    int watcherPort = 15020;
};
