// The walk over a type string that LoadParameters and SaveParameters share, and the choice and
// lifetime of the storage behind it.
//
// The exports call these with the six effect parameters; the walk itself knows nothing of them
// and handles any list a caller describes.
#include "persistence/parameter_driver.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <optional>
#include <string_view>

namespace flanger {

namespace {

// The walk cuts tokens in this copy, so the caller's string stays untouched and its length is
// bounded by the buffer, not by whatever the caller passed.
using TypeBuffer = std::array<char, kMaxTypeStringLength + 1>;

// Copies `types` (null reads as the empty string) into `buffer`. Returns false, with nothing
// usable in the buffer, when the string does not fit: it is refused whole rather than cut, since
// a cut string would pair later names with the wrong tags. Reads at most one character past the
// limit, so an unterminated or very long string is never scanned to its end.
bool CopyTypeString(const char* types, TypeBuffer& buffer) {
    if (types == nullptr) {
        buffer[0] = '\0';
        return true;
    }
    for (std::size_t i = 0; i < buffer.size(); ++i) {
        buffer[i] = types[i];
        if (types[i] == '\0') {
            return true;
        }
    }
    return false;
}

// Calls visit(index, tag) for each token of the copy that names a tag, with the token's position
// in the list; unrecognised and empty tokens use up their position all the same. Stops at the
// end of the string or after `count` positions, whichever comes first.
//
// Tokens end at a plain 0x20 byte. That equals a multibyte-aware search in UTF-8 and in the
// double-byte code pages, because 0x20 never occurs as a trail byte there.
template <typename Visit>
void WalkTypeString(TypeBuffer& buffer, std::size_t count, Visit&& visit) {
    char* cursor = buffer.data();
    for (std::size_t index = 0; index < count && *cursor != '\0'; ++index) {
        char* const space = std::strchr(cursor, ' ');
        if (space != nullptr) {
            *space = '\0';
        }
        if (const std::optional<ParameterTag> tag = MatchTag(std::string_view(cursor))) {
            visit(index, *tag);
        }
        if (space == nullptr) {
            return;
        }
        cursor = space + 1;
    }
}

}  // namespace

void LoadParameters(const StorageTarget& target, std::span<const char* const> names,
                    const char* types, std::span<void* const> values, StorageOpener& storages) {
    TypeBuffer buffer;
    if (!CopyTypeString(types, buffer)) {
        return;
    }
    const StorageKind kind = SelectStorage(target);
    if (kind == StorageKind::None) {
        return;
    }
    // Open once for the whole list: a registry key is opened at the start of the call and closed
    // when `storage` goes out of scope at its end.
    const std::unique_ptr<ParameterStorage> storage = storages.OpenForLoad(kind, target);
    if (storage == nullptr) {
        return;
    }
    WalkTypeString(buffer, std::min(names.size(), values.size()),
                   [&](std::size_t index, ParameterTag tag) {
                       if (names[index] != nullptr && values[index] != nullptr) {
                           storage->ReadValue(tag, names[index], values[index]);
                       }
                   });
}

std::int32_t SaveParameters(const StorageTarget& target, std::span<const char* const> names,
                            const char* types, std::span<const void* const> values,
                            StorageOpener& storages) {
    TypeBuffer buffer;
    if (!CopyTypeString(types, buffer)) {
        return 0;
    }
    const StorageKind kind = SelectStorage(target);
    if (kind == StorageKind::None) {
        return 1;
    }
    const std::unique_ptr<ParameterStorage> storage = storages.OpenForSave(kind, target);
    if (storage == nullptr) {
        // A registry key that cannot be created is reported; a profile file named without a
        // section selects nothing to write into, as no storage at all.
        return kind == StorageKind::Registry ? 0 : 1;
    }
    WalkTypeString(buffer, std::min(names.size(), values.size()),
                   [&](std::size_t index, ParameterTag tag) {
                       if (names[index] != nullptr && values[index] != nullptr) {
                           storage->WriteValue(tag, names[index], values[index]);
                       }
                   });
    // The registry and the profile file store the values only now, when the key is closed or
    // the file updated; a save that is lost there must not report success.
    return storage->FinishSave() ? 1 : 0;
}

}  // namespace flanger
