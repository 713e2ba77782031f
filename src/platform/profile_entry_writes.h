// Several entries of a profile section written one call at a time, where the platform has no
// update of several at once (Windows' profile functions), yet all of them or none.
//
// Before each entry is written, the text its key holds is read; when a write fails, the entries
// written before it get those texts back, the last one first (a key that held none is removed
// again), so that the section's values are as they were. Putting them back can itself fail on
// a disk that stopped taking writes; nothing more can be done then.
#pragma once

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/profile_file.h"

namespace flanger::platform {

// The calls on one section of one file that the writing goes through.
struct ProfileEntryCalls {
    // The text `key` holds; nothing when the section holds no such key.
    std::function<std::optional<std::string>(const std::string& key)> StoredText;
    // Writes one entry; false when the platform reports a failure.
    std::function<bool(const ProfileEntry& entry)> Write;
    // Gives `key` back its `text`, or removes it when there is none.
    std::function<void(const std::string& key, const std::optional<std::string>& text)> Restore;
};

// Writes the entries in order; on the first failure puts back what was written before it and
// returns false.
inline bool WriteEntriesOrNone(const std::vector<ProfileEntry>& entries,
                               const ProfileEntryCalls& calls) {
    std::vector<std::pair<const std::string*, std::optional<std::string>>> written;
    for (const ProfileEntry& entry : entries) {
        std::optional<std::string> old = calls.StoredText(entry.key);
        if (!calls.Write(entry)) {
            for (std::size_t k = written.size(); k-- > 0;) {
                calls.Restore(*written[k].first, written[k].second);
            }
            return false;
        }
        written.emplace_back(&entry.key, std::move(old));
    }
    return true;
}

}  // namespace flanger::platform
