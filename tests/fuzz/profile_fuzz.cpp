// Profile files: any bytes read through the profile functions, and a key written into them.
//
// Input: section NUL key NUL value NUL, then the file. A write either fails and leaves the
// file's bytes as they were, or reads back as written and changes nothing outside one line of
// the file (an inserted line, or the edited entry's line).
#include <cstring>
#include <vector>

#include "fuzz_support.h"
#include "platform/profile_file.h"

namespace {

using flanger::fuzz::Require;

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

// A value that reads back unchanged: no blanks to trim, no pair of outer quotes to remove.
bool ReadsBackAsIs(const std::string& value) {
    if (value.empty()) return true;
    if (IsBlank(value.front()) || IsBlank(value.back())) return false;
    const char first = value.front();
    return !(value.size() >= 2 && (first == '"' || first == '\'') && value.back() == first);
}

bool HasByteOrderMark(const std::string& bytes) {
    return bytes.size() >= 2 && ((bytes[0] == '\xFF' && bytes[1] == '\xFE') ||
                                 (bytes[0] == '\xFE' && bytes[1] == '\xFF'));
}

// The bytes of `before` that `after` replaced: between their common beginning and end.
std::string ReplacedPart(const std::string& before, const std::string& after) {
    std::size_t prefix = 0;
    while (prefix < before.size() && prefix < after.size() && before[prefix] == after[prefix]) {
        ++prefix;
    }
    std::size_t suffix = 0;
    while (suffix < before.size() - prefix && suffix < after.size() - prefix &&
           before[before.size() - 1 - suffix] == after[after.size() - 1 - suffix]) {
        ++suffix;
    }
    return before.substr(prefix, before.size() - prefix - suffix);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace flanger::platform;
    flanger::fuzz::FuzzInput input(data, size);
    const std::string section = input.Field();
    const std::string key = input.Field();
    const std::string value = input.Field(4096);
    const std::string before = input.Rest();
    const std::string path = flanger::fuzz::ScratchPath("fuzz.ini");
    flanger::fuzz::WriteFile(path, before);

    char text[64];
    ReadProfileString(section.c_str(), key.c_str(), "default", text, sizeof text, path.c_str());
    ReadProfileString(section.c_str(), key.c_str(), nullptr, text, 1, path.c_str());
    ReadProfileInt(section.c_str(), key.c_str(), -1, path.c_str());
    unsigned char block[8];
    ReadProfileStruct(section.c_str(), key.c_str(), block, sizeof block, path.c_str());
    ReadProfileStruct(section.c_str(), key.c_str(), block, 0, path.c_str());

    const bool written =
        WriteProfileString(section.c_str(), key.c_str(), value.c_str(), path.c_str());
    const std::optional<std::string> after = flanger::fuzz::ReadFile(path);
    Require(after.has_value(), "the profile file is gone after a write");
    if (!written) {
        Require(*after == before, "a refused write changed the file");
        return 0;
    }
    if (ReadsBackAsIs(value)) {
        std::vector<char> stored(value.size() + 2);
        const std::size_t length = ReadProfileString(section.c_str(), key.c_str(), "\x01",
                                                     stored.data(), stored.size(), path.c_str());
        Require(std::string(stored.data(), length) == value, "a written value reads back changed");
    }
    if (!HasByteOrderMark(before)) {
        const std::string replaced = ReplacedPart(before, *after);
        Require(replaced.find_first_of("\r\n") == std::string::npos,
                "a write changed bytes beyond one line");
    }
    return 0;
}
