// Key path splitting and name comparison for the registry.
#include "platform/posix/registry_names.h"

#include "platform/registry.h"

namespace flanger::platform {
namespace {

char FoldAscii(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

}  // namespace

long SplitKeyPath(const char* subKey, std::vector<std::string_view>& names) {
    names.clear();
    if (subKey == nullptr || subKey[0] == '\0') {
        return kRegistrySuccess;
    }
    std::string_view rest(subKey);
    if (rest.front() == '\\') {
        return kRegistryBadPathName;
    }
    // Windows accepts one trailing backslash ("Software\\"), so callers that build paths by
    // appending a separator keep working.
    if (rest.back() == '\\') {
        rest.remove_suffix(1);
    }
    while (true) {
        const std::size_t separator = rest.find('\\');
        const std::string_view name = rest.substr(0, separator);
        if (name.empty()) {
            return kRegistryBadPathName;
        }
        if (name.size() > kRegistryMaxKeyNameLength || names.size() == kRegistryMaxKeyDepth) {
            return kRegistryInvalidParameter;
        }
        names.push_back(name);
        if (separator == std::string_view::npos) {
            return kRegistrySuccess;
        }
        rest.remove_prefix(separator + 1);
    }
}

bool SameRegistryName(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (FoldAscii(a[i]) != FoldAscii(b[i])) {
            return false;
        }
    }
    return true;
}

}  // namespace flanger::platform
