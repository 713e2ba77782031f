// Key paths and names of the registry: splitting a sub-key path into key names, and comparing
// names the way the store does (ASCII letters without regard to case).
#pragma once

#include <string_view>
#include <vector>

namespace flanger::platform {

// Splits `subKey` at its backslashes into `names`, which point into `subKey`. A null or empty
// path gives no names. Returns kRegistrySuccess or the path errors that registry.h lists.
long SplitKeyPath(const char* subKey, std::vector<std::string_view>& names);

// Whether two key or value names are the same name: equal bytes once ASCII letters are folded.
// The database's NOCASE collation folds the same way, so both agree on every name.
bool SameRegistryName(std::string_view a, std::string_view b);

}  // namespace flanger::platform
