// The parameter walk: any type string and tags, with values, saved to a storage and loaded back.
//
// Input: a byte (bit 0: a profile file section instead of a settings node; bits 1-7: how many
// names and values, less than the tokens perhaps), the type string, then per token one value:
// four bytes for the number tags, a NUL-ended field for STRING and LSS. Invariants: a type
// string past the longest accepted one is refused whole (0); otherwise the save succeeds and
// the integers, and in a settings node also texts and blocks, load back as saved.
#include <cstring>
#include <memory>
#include <optional>
#include <fstream>
#include <string>
#include <vector>

#include "flanger_settings_node.h"
#include "fuzz_support.h"
#include "persistence/parameter_driver.h"
#include "persistence/parameter_tag.h"

namespace {

using flanger::LssBlock;
using flanger::ParameterTag;
using flanger::fuzz::Require;

// One variable of every kind, so that whatever a tag makes of the pointer is a valid object.
struct Variable {
    std::optional<ParameterTag> tag;
    std::string name;
    std::uint32_t integer = 0;
    float single = 0;
    double twice = 0;
    std::string text;
    std::string bytes;
    LssBlock block;

    void* Pointer() {
        if (!tag) return &integer;
        switch (*tag) {
            case ParameterTag::Float:
                return &single;
            case ParameterTag::Double:
                return &twice;
            case ParameterTag::String:
                return &text;
            case ParameterTag::Lss:
                return &block;
            default:
                return &integer;
        }
    }
};

std::vector<std::string> Tokens(const std::string& types) {
    std::vector<std::string> tokens;
    std::size_t start = 0;
    for (;;) {
        const std::size_t space = types.find(' ', start);
        tokens.push_back(types.substr(start, space - start));
        if (space == std::string::npos) return tokens;
        start = space + 1;
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    flanger::fuzz::FuzzInput input(data, size);
    const std::uint8_t shape = input.Byte();
    const bool profile = (shape & 1) != 0;
    const std::string types = input.Field(1100);
    const std::vector<std::string> tokens = Tokens(types);
    const std::size_t count = std::min<std::size_t>(tokens.size(), shape >> 1);

    std::vector<Variable> saved(tokens.size()), loaded(tokens.size());
    std::vector<const char*> names;
    std::vector<const void*> savePointers;
    std::vector<void*> loadPointers;
    for (std::size_t k = 0; k < tokens.size(); ++k) {
        Variable& variable = saved[k];
        variable.tag = flanger::MatchTag(tokens[k]);
        variable.name = "V" + std::to_string(k);
        variable.integer = static_cast<std::uint32_t>(input.Int32());
        std::memcpy(&variable.single, &variable.integer, sizeof variable.single);
        variable.twice = static_cast<std::int32_t>(variable.integer) / 7.0;
        variable.text = input.Field();
        variable.bytes = input.Field();
        variable.block = {static_cast<std::uint32_t>(variable.bytes.size()),
                          reinterpret_cast<std::uint8_t*>(variable.bytes.data())};
        loaded[k].tag = variable.tag;
        loaded[k].integer = ~variable.integer;
        if (k >= count) continue;
        names.push_back(variable.name.c_str());
        savePointers.push_back(variable.Pointer());
        loadPointers.push_back(loaded[k].Pointer());
    }

    SettingsNode document;
    const std::string file = flanger::fuzz::ScratchPath("walk.ini");
    std::remove(file.c_str());
    flanger::StorageTarget target{.document = &document};
    if (profile) target = {.fileName = file.c_str(), .section = "Walk"};
    const std::int32_t result = flanger::SaveParameters(target, names, types.c_str(), savePointers);
    const bool accepted = types.size() <= flanger::kMaxTypeStringLength;
    // A profile file that could take none of the values is not written, and the save says so.
    const bool nothingStored = profile && accepted && result == 0 && !std::ifstream(file).good();
    Require(result == (accepted ? 1 : 0) || nothingStored,
            "a save's result does not fit its type string");
    if (nothingStored) return 0;
    flanger::LoadParameters(target, names, types.c_str(), loadPointers);
    for (std::size_t k = 0; k < count; ++k) {
        const Variable& out = saved[k];
        Variable& in = loaded[k];
        if (!out.tag || !accepted) {
            Require(in.integer == ~out.integer, "a value outside the walk was loaded");
        } else if (flanger::IsIntegerTag(*out.tag)) {
            Require(in.integer == out.integer, "an integer does not load back as saved");
        } else if (*out.tag == ParameterTag::Lss) {
            const std::string back(reinterpret_cast<const char*>(in.block.Data), in.block.Size);
            delete[] in.block.Data;
            Require(profile || back == out.bytes, "a block does not load back as saved");
        } else if (*out.tag == ParameterTag::String) {
            Require(profile || in.text == out.text, "a text does not load back as saved");
        }
    }
    return 0;
}
