#pragma once

#include "registry_io.h"
#include "registry_store.h"

#include <memory>
#include <string>

// The store the core tests run against: the store file on a path here, the real registry on
// Windows (Wine's, in CI), so the same cases prove both.
std::unique_ptr<quorvale::RegistryStore> openTestStore(const std::string& path);
// Removes what an earlier test left in the registry (nothing to do for a fresh file).
void clearTestRegistry();
// Everything stored under the launcher's and the game's keys, as text, to compare two states.
std::string storeSnapshot(const std::string& path);

// Opens the launcher's key for writing, holding what an earlier run leaves there: the
// executable, splash screens off, not windowed. The caller adds what it needs and closes it.
inline void openLauncherKey(quorvale::RegistryStore& s, const std::string& exe) {
    s.openKey(quorvale::kLauncherKey, true);
    s.writeString("executable", exe);
    s.writeInteger("nosplash", 1);
    s.writeInteger("window", 0);
}
