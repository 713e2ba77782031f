// LoadParameters and SaveParameters: move a described list of named, typed variables between
// the caller and one storage.
//
// The list is described by a names table, a type string of space-separated tags and one
// pointer per tag; the driver walks the type string token by token and has the selected storage
// read or write each value in list order.
#pragma once

#include <cstdint>
#include <span>

#include "persistence/parameter_storage.h"

namespace flanger {

// The longest type string the walk accepts, in characters. A longer one is refused whole: the
// load reads nothing and the save writes nothing.
inline constexpr std::size_t kMaxTypeStringLength = 1023;

// Reads every value the selected storage holds into its variable; the others keep their
// content. `names` and `values` hold one entry per token of `types`, empty tokens included; the
// walk stops when either runs out. A null name or value pointer skips that value.
void LoadParameters(const StorageTarget& target, std::span<const char* const> names,
                    const char* types, std::span<void* const> values,
                    StorageOpener& storages = ModuleStorages());

// Writes every value to the selected storage. Returns 0 when the registry is selected and its
// key cannot be opened or created (nothing is written then), or when the registry did not
// store every value (a value refused, or the key's values lost at its close: a full disk, a
// read-only or long-locked database); 0 when the profile file could not be updated (a file or
// folder that cannot be written, a full disk, a file locked by another writer past the wait),
// its section then keeping its old values; 1 otherwise, also when no storage is selected, when
// single values a profile file cannot hold are left out and when single writes to a node fail.
// A refused type string also gives 0.
std::int32_t SaveParameters(const StorageTarget& target, std::span<const char* const> names,
                            const char* types, std::span<const void* const> values,
                            StorageOpener& storages = ModuleStorages());

}  // namespace flanger
