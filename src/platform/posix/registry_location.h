// Where the registry's database file lives, and making its folder.
//
// The file is looked up anew on every open of a key below a predefined root, so a change of the
// environment takes effect for keys opened afterwards; keys already open keep their database.
#pragma once

#include <string>

namespace flanger::platform {

// The environment variable that names the database file (a full path, or one relative to the
// current directory); it overrides the default location when set and not empty.
inline constexpr const char* kRegistryPathVariable = "FLANGER_REGISTRY";

// The database file: $FLANGER_REGISTRY, else $XDG_CONFIG_HOME/flanger/registry.sqlite3, else
// ~/.config/flanger/registry.sqlite3 (the XDG default). A relative XDG_CONFIG_HOME is ignored,
// as the XDG base directory rules say. Empty when no home directory can be found.
std::string RegistryDatabasePath();

// Creates the missing folders above `filePath`, each readable by its owner only (0700), since
// the user's settings are nobody else's business. Existing folders keep their modes. Returns
// false when a folder cannot be made.
bool MakeParentFolders(const std::string& filePath);

}  // namespace flanger::platform
