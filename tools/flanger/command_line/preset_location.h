// Where a preset lives, as the command line names it: a section of a profile (INI) file, a
// registry key below one of the predefined root keys, or an element of an XML settings file. The
// module is told the first two through the fileName, section and rootKey arguments of LoadPreset
// and SavePreset; for the third the command reads the file into a settings tree and hands the
// element's node to InitializeXml and SavePresetXml.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace flanger::tool {

enum class RegistryRoot { CurrentUser, LocalMachine };

struct PresetLocation {
    enum class Kind { ProfileSection, RegistryKey, XmlElement };
    Kind Where = Kind::ProfileSection;
    std::string FileName;  // the profile or XML file; empty for a registry key
    // The profile section, the registry sub-key path below Root (backslash-separated), or the
    // element path as typed (slash-separated).
    std::string Section;
    RegistryRoot Root = RegistryRoot::CurrentUser;
    // For an XML element: the names of the path, the root element's first.
    std::vector<std::string> ElementNames;

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

// A --node value: element names separated by '/', from the root element's name down to the
// preset's element ("Settings/Effects/Flanger"). Every name must be non-empty and an XML name
// (a letter, '_' or ':' first; letters, digits, '-', '.', '_' and ':' after it; bytes beyond
// ASCII are taken as they are), since save-preset may have to create the element; at most 255
// names, as no deeper document is read. Either the names or the refusal.
struct ElementPathParse {
    std::optional<std::vector<std::string>> Names;
    std::string Error;  // without the "flanger: " prefix; empty when Names is set
};
ElementPathParse ParseElementPath(std::string_view text);

// "section 'Warm' of 'presets.ini'", "registry key 'HKEY_CURRENT_USER\Software\Warm'" or
// "element 'Settings/Flanger' of 'settings.xml'", for messages.
std::string DescribeLocation(const PresetLocation& location);

}  // namespace flanger::tool
