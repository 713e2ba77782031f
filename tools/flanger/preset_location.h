// Where a preset lives, as the command line names it: a section of a profile (INI) file, or a
// registry key below one of the predefined root keys. The module is told the location through
// the fileName, section and rootKey arguments of LoadPreset and SavePreset.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace flanger::tool {

enum class RegistryRoot { CurrentUser, LocalMachine };

struct PresetLocation {
    enum class Kind { ProfileSection, RegistryKey };
    Kind Where = Kind::ProfileSection;
    std::string FileName;  // the profile file; empty for a registry key
    // The profile section, or the registry sub-key path below Root (backslash-separated).
    std::string Section;
    RegistryRoot Root = RegistryRoot::CurrentUser;

    bool operator==(const PresetLocation&) const = default;
};

// A --registry-key value: "HKCU\Path", "HKLM\Path", "HKEY_CURRENT_USER\Path" or
// "HKEY_LOCAL_MACHINE\Path", the root name in any letter case. The path is kept as typed; it
// must name at least one key and may not contain an empty key name (a doubled, leading or
// trailing backslash), which no key can have. Either the location or the refusal.
struct RegistryKeyParse {
    std::optional<PresetLocation> Location;
    std::string Error;  // without the "flanger: " prefix; empty when Location is set
};
RegistryKeyParse ParseRegistryKey(std::string_view text);

// "section 'Warm' of 'presets.ini'" or "registry key 'HKEY_CURRENT_USER\Software\Warm'", for
// messages.
std::string DescribeLocation(const PresetLocation& location);

}  // namespace flanger::tool
