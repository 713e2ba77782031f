// Values of a parameter list as key=value lines of one profile section.
//
// Where the texts of a value could be longer than a fixed buffer, they are read and written
// whole: a preset saved here must load back as it was saved, whatever its length.
#include "persistence/profile_storage.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "platform/profile_file.h"
#include "settings_tree/number_text.h"

namespace flanger {

namespace {

// The first read of a text gets this much room, the platform's customary text buffer.
constexpr std::size_t kFirstReadCapacity = 1024;

constexpr char kSizeKeyPrefix[] = "SIZE_LSS_";
constexpr char kDataKeyPrefix[] = "DATA_LSS_";

// Reads the text of `key`, `defaultText` when it is absent. The platform copies at most
// capacity - 1 characters, so a text that fills the buffer may have been cut; it is read again
// with twice the room until it fits. With `enoughLength` the reads stop as soon as the text is
// known to be at least that long, so a caller that only needs a lower bound never holds more
// than twice that (or the first buffer) in memory.
std::string ReadText(const char* section, const char* key, const char* defaultText,
                     const char* fileName,
                     std::uint64_t enoughLength = std::numeric_limits<std::uint64_t>::max()) {
    std::vector<char> buffer(kFirstReadCapacity);
    for (;;) {
        const std::size_t copied = platform::ReadProfileString(
            section, key, defaultText, buffer.data(), buffer.size(), fileName);
        const std::size_t length = std::min(copied, buffer.size() - 1);
        if (length + 1 < buffer.size() || length >= enoughLength) {
            // Up to the first NUL, as a text: a NUL byte in a file ends the value.
            const auto end = std::find(buffer.begin(), buffer.begin() + length, '\0');
            return std::string(buffer.begin(), end);
        }
        buffer.resize(buffer.size() * 2);
    }
}

NumberText FormatInteger(std::int32_t value) {
    NumberText text{};
    std::snprintf(text.data(), text.size(), "%d", static_cast<int>(value));
    return text;
}

std::string PrefixedKey(const char* prefix, const char* name) { return std::string(prefix) + name; }

}  // namespace

std::unique_ptr<ProfileStorage> ProfileStorage::Open(const char* fileName, const char* section) {
    if (fileName == nullptr || section == nullptr) {
        return nullptr;
    }
    return std::unique_ptr<ProfileStorage>(new ProfileStorage(fileName, section));
}

void ProfileStorage::ReadValue(ParameterTag tag, const char* name, void* variable) {
    switch (tag) {
        case ParameterTag::Uint:
        case ParameterTag::Dword:
        case ParameterTag::Int: {
            // The three tags share the 32 bits; the read's default is the current value.
            std::int32_t current;
            std::memcpy(&current, variable, sizeof current);
            const std::uint32_t value =
                platform::ReadProfileInt(section_, name, current, fileName_);
            std::memcpy(variable, &value, sizeof value);
            return;
        }
        case ParameterTag::Float: {
            float& value = *static_cast<float*>(variable);
            const std::string text =
                ReadText(section_, name, FormatNumberText(value).data(), fileName_);
            value = ParseFloatText(text);
            return;
        }
        case ParameterTag::Double: {
            double& value = *static_cast<double*>(variable);
            const std::string text =
                ReadText(section_, name, FormatNumberText(value).data(), fileName_);
            value = ParseDoubleText(text);
            return;
        }
        case ParameterTag::String:
            // The empty default: an absent key empties the string.
            *static_cast<std::string*>(variable) = ReadText(section_, name, "", fileName_);
            return;
        case ParameterTag::Lss:
            ReadBlock(name, *static_cast<LssBlock*>(variable));
            return;
    }
}

// A block gets the size its size entry names, cleared, and the struct read fills it when the
// data entry's length and checksum fit that size exactly; when they do not (a data entry absent,
// too short, too long or with a wrong checksum), the size is kept and the bytes stay zero, never
// what the heap held before.
//
// A size beyond kLargestUnfilledBlock is trusted only as far as the data entry could hold it: a
// damaged or hostile file could name any size up to 4 GiB. When the entry is too short to encode
// that many bytes (two hex digits each and two for the checksum), the data cannot be there and
// the block loads as size 0 with a new block of 0 bytes, as for an absent size; so a block
// larger than that bound is never larger than half its stored text.
void ProfileStorage::ReadBlock(const char* name, LssBlock& block) {
    const std::string sizeKey = PrefixedKey(kSizeKeyPrefix, name);
    const std::string dataKey = PrefixedKey(kDataKeyPrefix, name);
    std::uint32_t size = platform::ReadProfileInt(section_, sizeKey.c_str(), 0, fileName_);
    if (size > kLargestUnfilledBlock) {
        const std::uint64_t encodedLength = 2 * std::uint64_t{size} + 2;
        if (ReadText(section_, dataKey.c_str(), "", fileName_, encodedLength).size() <
            encodedLength) {
            size = 0;
        }
    }
    // Allocated before the block is touched, so a failed allocation leaves it as it was.
    std::unique_ptr<std::uint8_t[]> bytes(new std::uint8_t[size]());
    if (size != 0) {
        platform::ReadProfileStruct(section_, dataKey.c_str(), bytes.get(), size, fileName_);
    }
    block.Size = size;
    block.Data = bytes.release();
}

void ProfileStorage::WriteValue(ParameterTag tag, const char* name, const void* variable) {
    switch (tag) {
        case ParameterTag::Uint:
        case ParameterTag::Dword:
        case ParameterTag::Int: {
            std::int32_t value;
            std::memcpy(&value, variable, sizeof value);
            Pending.push_back({name, FormatInteger(value).data()});
            return;
        }
        case ParameterTag::Float:
            Pending.push_back(
                {name, FormatNumberText(*static_cast<const float*>(variable)).data()});
            return;
        case ParameterTag::Double:
            Pending.push_back(
                {name, FormatNumberText(*static_cast<const double*>(variable)).data()});
            return;
        case ParameterTag::String:
            // Up to a NUL, as the text of a C string.
            Pending.push_back({name, static_cast<const std::string*>(variable)->c_str()});
            return;
        case ParameterTag::Lss:
            WriteBlock(name, *static_cast<const LssBlock*>(variable));
            return;
    }
}

void ProfileStorage::WriteBlock(const char* name, const LssBlock& block) {
    // A block that claims bytes but has none to give is the caller's mistake; writing its size
    // alone would store a preset that cannot load, so nothing is written.
    if (block.Data == nullptr && block.Size != 0) {
        return;
    }
    const std::string sizeKey = PrefixedKey(kSizeKeyPrefix, name);
    const std::string dataKey = PrefixedKey(kDataKeyPrefix, name);
    // The size goes out as the 32 bits taken as signed; the integer read wraps it back.
    Pending.push_back({sizeKey, FormatInteger(static_cast<std::int32_t>(block.Size)).data()});
    Pending.push_back(
        {dataKey, std::string(reinterpret_cast<const char*>(block.Data), block.Size), true});
}

bool ProfileStorage::FinishSave() {
    // One update for the whole list, so that a failing disk never leaves half a preset.
    const bool written =
        Pending.empty() || platform::WriteProfileSection(section_, Pending, fileName_);
    Pending.clear();
    return written;
}

}  // namespace flanger
