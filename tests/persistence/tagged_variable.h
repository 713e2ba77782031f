// Variables of every tag for round-trip tests, and a parameter list built from them that is
// loaded and saved through the module's storages.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <variant>
#include <vector>

#include "persistence/parameter_storage.h"

namespace flanger::test {

using Bytes = std::vector<std::uint8_t>;

// A value as a test states it: uint32 for "UINT" and "DWORD", int32 for "INT", float, double,
// text for "STRING" and the block's bytes for "LSS".
using TaggedValue = std::variant<std::uint32_t, std::int32_t, float, double, std::string, Bytes>;

// One variable of the kind a tag designates. An "LSS" variable owns the block it starts with
// and the one a load puts in its place (a load does not release the earlier block; the caller
// does).
class TaggedVariable {
public:
    // `value` must hold the alternative of `tag`.
    TaggedVariable(ParameterTag tag, const TaggedValue& value);
    ~TaggedVariable();
    TaggedVariable(const TaggedVariable&) = delete;
    TaggedVariable& operator=(const TaggedVariable&) = delete;

    ParameterTag Tag() const { return tag_; }
    void* Pointer();
    TaggedValue Value() const;
    // "LSS": whether a load replaced the block the variable started with.
    bool BlockReplaced() const { return block_.Data != initialBlock_; }

private:
    ParameterTag tag_;
    std::uint32_t unsigned_ = 0;
    std::int32_t signed_ = 0;
    float float_ = 0;
    double double_ = 0;
    std::string string_;
    LssBlock block_;
    std::uint8_t* initialBlock_ = nullptr;
};

// A parameter list of tagged variables: names, type string and pointers as a caller passes them.
class TaggedList {
public:
    TaggedVariable& Add(ParameterTag tag, std::string name, const TaggedValue& value);

    void Load(const StorageTarget& target);
    std::int32_t Save(const StorageTarget& target);

    TaggedVariable& operator[](std::size_t i) { return *variables_[i]; }
    std::size_t Size() const { return variables_.size(); }

private:
    std::vector<std::string> names_;
    std::string types_;
    std::vector<std::unique_ptr<TaggedVariable>> variables_;
};

}  // namespace flanger::test
