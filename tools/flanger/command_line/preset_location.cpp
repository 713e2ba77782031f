// Reading and naming preset locations.
#include "command_line/preset_location.h"

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

bool IsAsciiLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

// XML's Name production, with every byte beyond ASCII let through: the settings tree compares
// such bytes as they are, and a save that wrote a name no reader takes back is caught when the
// written document is read back.
bool IsXmlName(std::string_view name) {
    for (std::size_t i = 0; i < name.size(); ++i) {
        const char c = name[i];
        const bool beyondAscii = static_cast<unsigned char>(c) >= 0x80;
        const bool nameStart = IsAsciiLetter(c) || c == '_' || c == ':' || beyondAscii;
        const bool nameChar = nameStart || (c >= '0' && c <= '9') || c == '-' || c == '.';
        if (!(i == 0 ? nameStart : nameChar)) return false;
    }
    return !name.empty();
}

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

// The settings reader refuses documents nested deeper than 256 elements, so a longer path could
// never be loaded, and a new document for it would grow with the square of its length through
// the indentation.
constexpr std::size_t kMaxElementNames = 255;

ElementPathParse ParseElementPath(std::string_view text) {
    if (text.empty()) return {std::nullopt, "--node needs an element path"};
    std::vector<std::string> names;
    for (std::size_t begin = 0;;) {
        const std::size_t slash = text.find('/', begin);
        const std::string_view name = text.substr(begin, slash - begin);
        if (name.empty()) {
            return {std::nullopt,
                    "--node has an empty element name in '" + std::string(text) + "'"};
        }
        if (!IsXmlName(name)) {
            return {std::nullopt, "--node: '" + std::string(name) + "' is not an XML element name"};
        }
        if (names.size() == kMaxElementNames) {
            return {std::nullopt,
                    "--node names more than " + std::to_string(kMaxElementNames) + " elements"};
        }
        names.emplace_back(name);
        if (slash == std::string_view::npos) break;
        begin = slash + 1;
    }
    return {std::move(names), {}};
}

std::string DescribeLocation(const PresetLocation& location) {
    if (location.Where == PresetLocation::Kind::ProfileSection) {
        return "section '" + location.Section + "' of '" + location.FileName + "'";
    }
    if (location.Where == PresetLocation::Kind::XmlElement) {
        return "element '" + location.Section + "' of '" + location.FileName + "'";
    }
    const char* const root =
        location.Root == RegistryRoot::CurrentUser ? "HKEY_CURRENT_USER" : "HKEY_LOCAL_MACHINE";
    return "registry key '" + std::string(root) + "\\" + location.Section + "'";
}

}  // namespace flanger::tool
