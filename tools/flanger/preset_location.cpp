// Reading and naming preset locations.
#include "preset_location.h"

#include <algorithm>
#include <cctype>

namespace flanger::tool {
namespace {

struct RootName {
    std::string_view Name;
    RegistryRoot Root;
};

constexpr RootName kRootNames[] = {
    {"HKCU", RegistryRoot::CurrentUser},
    {"HKEY_CURRENT_USER", RegistryRoot::CurrentUser},
    {"HKLM", RegistryRoot::LocalMachine},
    {"HKEY_LOCAL_MACHINE", RegistryRoot::LocalMachine},
};

bool SameLetters(std::string_view a, std::string_view b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
        return std::toupper(static_cast<unsigned char>(x)) ==
               std::toupper(static_cast<unsigned char>(y));
    });
}

RegistryKeyParse Refuse(std::string message) { return {std::nullopt, std::move(message)}; }

}  // namespace

RegistryKeyParse ParseRegistryKey(std::string_view text) {
    const std::size_t backslash = text.find('\\');
    const std::string_view rootName = text.substr(0, backslash);
    const auto known =
        std::find_if(std::begin(kRootNames), std::end(kRootNames),
                     [&](const RootName& r) { return SameLetters(r.Name, rootName); });
    if (known == std::end(kRootNames)) {
        return Refuse(
            "--registry-key must start with HKCU\\, HKLM\\, HKEY_CURRENT_USER\\ or "
            "HKEY_LOCAL_MACHINE\\ (got '" +
            std::string(text) + "')");
    }
    const std::string_view path =
        backslash == std::string_view::npos ? std::string_view() : text.substr(backslash + 1);
    if (path.empty()) {
        // The root itself holds the machine's or user's whole tree, never one preset.
        return Refuse("--registry-key needs a key path after the root (got '" + std::string(text) +
                      "')");
    }
    if (path.front() == '\\' || path.back() == '\\' ||
        path.find("\\\\") != std::string_view::npos) {
        return Refuse("--registry-key has an empty key name in '" + std::string(text) + "'");
    }
    PresetLocation location;
    location.Where = PresetLocation::Kind::RegistryKey;
    location.Section = std::string(path);
    location.Root = known->Root;
    return {location, {}};
}

std::string DescribeLocation(const PresetLocation& location) {
    if (location.Where == PresetLocation::Kind::ProfileSection) {
        return "section '" + location.Section + "' of '" + location.FileName + "'";
    }
    const char* const root =
        location.Root == RegistryRoot::CurrentUser ? "HKEY_CURRENT_USER" : "HKEY_LOCAL_MACHINE";
    return "registry key '" + std::string(root) + "\\" + location.Section + "'";
}

}  // namespace flanger::tool
