// Matching a token of a type string against the tag names.
#include "persistence/parameter_tag.h"

#include <array>
#include <utility>

namespace flanger {

namespace {

constexpr std::array<std::pair<std::string_view, ParameterTag>, 7> kTagNames = {{
    {"UINT", ParameterTag::Uint},
    {"DWORD", ParameterTag::Dword},
    {"INT", ParameterTag::Int},
    {"FLOAT", ParameterTag::Float},
    {"DOUBLE", ParameterTag::Double},
    {"STRING", ParameterTag::String},
    {"LSS", ParameterTag::Lss},
}};

// Folds only ASCII letters: the tag names are ASCII, and a locale-dependent fold could make a
// byte of a multibyte character equal to one of their letters.
constexpr char FoldAscii(char c) {
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

bool EqualsIgnoringAsciiCase(std::string_view token, std::string_view upperName) {
    if (token.size() != upperName.size()) {
        return false;
    }
    for (std::size_t i = 0; i < token.size(); ++i) {
        if (FoldAscii(token[i]) != upperName[i]) {
            return false;
        }
    }
    return true;
}

}  // namespace

std::optional<ParameterTag> MatchTag(std::string_view token) {
    for (const auto& [name, tag] : kTagNames) {
        if (EqualsIgnoringAsciiCase(token, name)) {
            return tag;
        }
    }
    return std::nullopt;
}

}  // namespace flanger
