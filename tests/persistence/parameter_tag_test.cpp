// Tag matching: the seven tag names in any ASCII letter case, nothing else.
#include "persistence/parameter_tag.h"

#include <gtest/gtest.h>

#include <optional>
#include <string_view>

namespace flanger {
namespace {

struct TagCase {
    std::string_view token;
    std::optional<ParameterTag> expected;
};

constexpr TagCase kTagCases[] = {
    {"UINT", ParameterTag::Uint},
    {"DWORD", ParameterTag::Dword},
    {"INT", ParameterTag::Int},
    {"FLOAT", ParameterTag::Float},
    {"DOUBLE", ParameterTag::Double},
    {"STRING", ParameterTag::String},
    {"LSS", ParameterTag::Lss},
    {"uint", ParameterTag::Uint},
    {"dWoRd", ParameterTag::Dword},
    {"int", ParameterTag::Int},
    {"Float", ParameterTag::Float},
    {"doublE", ParameterTag::Double},
    {"sTRING", ParameterTag::String},
    {"lss", ParameterTag::Lss},
    {"", std::nullopt},
    {"INT\t", std::nullopt},
    {"\tINT", std::nullopt},
    {"INT ", std::nullopt},
    {" INT", std::nullopt},
    {"BOOL", std::nullopt},
    {"IN", std::nullopt},
    {"INTS", std::nullopt},
    {"UINT32", std::nullopt},
    {"LS", std::nullopt},
    // Prefixes of longer names: a comparison over the token's length only would take them.
    {"DOUBL", std::nullopt},
    {"STRIN", std::nullopt},
    // A comparison of C strings would stop at the NUL and call this "INT".
    {std::string_view("INT\0", 4), std::nullopt},
    {"I-NT", std::nullopt},
};

TEST(ParameterTagTest, MatchesTheSevenTagNamesIgnoringAsciiCase) {
    for (const TagCase& c : kTagCases) {
        EXPECT_EQ(MatchTag(c.token), c.expected) << "token \"" << c.token << "\"";
    }
}

}  // namespace
}  // namespace flanger
