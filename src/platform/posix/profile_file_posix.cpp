// The profile operations over INI text files: each read parses the whole file, each write is an
// update of it under its lock (locked_file_update.h) that edits one entry (ini_text.h).
//
// Files are bytes, except those in UTF-16 (profile_encoding.h). Null names, keys or file names make
// reads give their default and writes fail, rather than the enumerations and deletions that some
// platforms attach to them. Failures to allocate (a hostile, enormous file) count as an
// unreadable file, so none of these calls throws.
#include <algorithm>
#include <cstring>
#include <exception>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "platform/posix/locked_file_update.h"
#include "platform/posix/ini_text.h"
#include "platform/posix/profile_encoding.h"
#include "platform/posix/profile_values.h"
#include "platform/profile_file.h"

namespace flanger::platform {
namespace {

using posix::IniText;

// The text of `key` as a read returns it (quotes removed); nothing when absent.
std::optional<std::string> FindValue(const char* section, const char* key, const char* fileName) {
    if (section == nullptr || key == nullptr || fileName == nullptr) return std::nullopt;
    std::optional<std::string> bytes = posix::ReadRegularFile(fileName);
    if (!bytes) return std::nullopt;
    const IniText text(posix::DecodeProfile(std::move(*bytes), posix::DecodePurpose::Read).Text);
    const std::optional<std::string_view> stored = text.Find(section, key);
    if (!stored) return std::nullopt;
    return std::string(posix::UnquoteValue(*stored));
}

using Entry = std::pair<std::string_view, std::string_view>;  // key, text

// Sets the entries of `section` in one update; entries the file's text cannot hold are left
// out. False when none could be stored or the file could not be written; `refused` tells
// whether any was left out.
bool WriteValues(const char* section, const std::vector<Entry>& entries, const char* fileName,
                 bool& refused) {
    refused = false;
    if (section == nullptr || fileName == nullptr) return false;
    // Checked up front so that refused entries do not even create the file.
    std::vector<Entry> storable;
    for (const Entry& entry : entries) {
        if (IniText::CanStore(section, entry.first, entry.second)) {
            storable.push_back(entry);
        } else {
            refused = true;
        }
    }
    if (storable.empty()) return false;
    return posix::UpdateFileUnderLock(
        fileName, [&](const std::string& current) -> std::optional<std::string> {
            posix::ProfileText decoded = posix::DecodeProfile(current, posix::DecodePurpose::Edit);
            const auto fits = [&](std::string_view text) {
                return posix::CanStore(decoded.Encoding, text);
            };
            IniText text(std::move(decoded.Text));
            bool changed = false;
            for (const auto& [key, value] : storable) {
                if (fits(section) && fits(key) && fits(value) && text.Set(section, key, value)) {
                    changed = true;
                } else {
                    refused = true;
                }
            }
            if (!changed) return std::nullopt;
            decoded.Text = text.Bytes();
            return posix::EncodeProfile(decoded);
        });
}

bool WriteValue(const char* section, const char* key, std::string_view value,
                const char* fileName) {
    if (key == nullptr) return false;
    bool refused = false;
    return WriteValues(section, {{key, value}}, fileName, refused) && !refused;
}

std::size_t CopyOut(std::string_view text, char* buffer, std::size_t capacity) {
    const std::size_t length = std::min(text.size(), capacity - 1);
    std::memcpy(buffer, text.data(), length);
    buffer[length] = '\0';
    return length;
}

}  // namespace

std::uint32_t ReadProfileInt(const char* section, const char* key, std::int32_t defaultValue,
                             const char* fileName) {
    const auto fallback = static_cast<std::uint32_t>(defaultValue);
    try {
        const std::optional<std::string> value = FindValue(section, key, fileName);
        if (!value) return fallback;
        return posix::ParseProfileInt(*value).value_or(fallback);
    } catch (const std::exception&) {
        return fallback;
    }
}

std::size_t ReadProfileString(const char* section, const char* key, const char* defaultValue,
                              char* buffer, std::size_t capacity, const char* fileName) {
    if (buffer == nullptr || capacity == 0) return 0;
    const std::string_view fallback =
        posix::TrimTrailingBlanks(defaultValue != nullptr ? defaultValue : "");
    try {
        const std::optional<std::string> value = FindValue(section, key, fileName);
        return CopyOut(value ? std::string_view(*value) : fallback, buffer, capacity);
    } catch (const std::exception&) {
        return CopyOut(fallback, buffer, capacity);
    }
}

bool ReadProfileStruct(const char* section, const char* key, void* data, std::uint32_t size,
                       const char* fileName) {
    if (data == nullptr && size != 0) return false;
    try {
        const std::optional<std::string> value = FindValue(section, key, fileName);
        if (!value) return false;
        const auto bytes = posix::DecodeStruct(*value, size);
        if (!bytes) return false;
        if (size != 0) std::memcpy(data, bytes->data(), size);
        return true;
    } catch (const std::exception&) {
        return false;
    }
}

bool WriteProfileString(const char* section, const char* key, const char* value,
                        const char* fileName) {
    if (value == nullptr) return false;
    try {
        return WriteValue(section, key, value, fileName);
    } catch (const std::exception&) {
        return false;
    }
}

bool WriteProfileStruct(const char* section, const char* key, const void* data, std::uint32_t size,
                        const char* fileName) {
    if (data == nullptr && size != 0) return false;
    try {
        const std::string text = posix::EncodeStruct(static_cast<const std::uint8_t*>(data), size);
        return WriteValue(section, key, text, fileName);
    } catch (const std::exception&) {
        return false;
    }
}

bool WriteProfileSection(const char* section, const std::vector<ProfileEntry>& entries,
                         const char* fileName) {
    try {
        std::vector<std::string> structs;
        structs.reserve(entries.size());
        std::vector<Entry> texts;
        for (const ProfileEntry& entry : entries) {
            if (!entry.isStruct) {
                texts.emplace_back(entry.key, entry.value);
                continue;
            }
            structs.push_back(
                posix::EncodeStruct(reinterpret_cast<const std::uint8_t*>(entry.value.data()),
                                    static_cast<std::uint32_t>(entry.value.size())));
            texts.emplace_back(entry.key, structs.back());
        }
        // Entries the file cannot hold are left out, as the single writes leave them.
        bool refused = false;
        return WriteValues(section, texts, fileName, refused);
    } catch (const std::exception&) {
        return false;
    }
}

}  // namespace flanger::platform
