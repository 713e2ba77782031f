// Variables of every tag and the lists built from them.
#include "tagged_variable.h"

#include <algorithm>

#include "persistence/parameter_driver.h"
#include "recording_storage.h"

namespace flanger::test {

TaggedVariable::TaggedVariable(ParameterTag tag, const TaggedValue& value) : tag_(tag) {
    switch (tag) {
        case ParameterTag::Uint:
        case ParameterTag::Dword:
            unsigned_ = std::get<std::uint32_t>(value);
            break;
        case ParameterTag::Int:
            signed_ = std::get<std::int32_t>(value);
            break;
        case ParameterTag::Float:
            float_ = std::get<float>(value);
            break;
        case ParameterTag::Double:
            double_ = std::get<double>(value);
            break;
        case ParameterTag::String:
            string_ = std::get<std::string>(value);
            break;
        case ParameterTag::Lss: {
            const Bytes& bytes = std::get<Bytes>(value);
            initialBlock_ = new std::uint8_t[bytes.size()];
            std::copy(bytes.begin(), bytes.end(), initialBlock_);
            block_ = {static_cast<std::uint32_t>(bytes.size()), initialBlock_};
            break;
        }
    }
}

TaggedVariable::~TaggedVariable() {
    if (block_.Data != initialBlock_) {
        delete[] block_.Data;
    }
    delete[] initialBlock_;
}

void* TaggedVariable::Pointer() {
    switch (tag_) {
        case ParameterTag::Uint:
        case ParameterTag::Dword:
            return &unsigned_;
        case ParameterTag::Int:
            return &signed_;
        case ParameterTag::Float:
            return &float_;
        case ParameterTag::Double:
            return &double_;
        case ParameterTag::String:
            return &string_;
        case ParameterTag::Lss:
            return &block_;
    }
    return nullptr;
}

TaggedValue TaggedVariable::Value() const {
    switch (tag_) {
        case ParameterTag::Uint:
        case ParameterTag::Dword:
            return unsigned_;
        case ParameterTag::Int:
            return signed_;
        case ParameterTag::Float:
            return float_;
        case ParameterTag::Double:
            return double_;
        case ParameterTag::String:
            return string_;
        case ParameterTag::Lss:
            if (block_.Data == nullptr) {
                return Bytes{};
            }
            return Bytes(block_.Data, block_.Data + block_.Size);
    }
    return {};
}

TaggedVariable& TaggedList::Add(ParameterTag tag, std::string name, const TaggedValue& value) {
    names_.push_back(std::move(name));
    if (!variables_.empty()) {
        types_ += ' ';
    }
    types_ += TagText(tag);
    variables_.push_back(std::make_unique<TaggedVariable>(tag, value));
    return *variables_.back();
}

void TaggedList::Load(const StorageTarget& target) {
    std::vector<const char*> names;
    std::vector<void*> pointers;
    for (std::size_t i = 0; i < variables_.size(); ++i) {
        names.push_back(names_[i].c_str());
        pointers.push_back(variables_[i]->Pointer());
    }
    LoadParameters(target, names, types_.c_str(), pointers);
}

std::int32_t TaggedList::Save(const StorageTarget& target) {
    std::vector<const char*> names;
    std::vector<const void*> pointers;
    for (std::size_t i = 0; i < variables_.size(); ++i) {
        names.push_back(names_[i].c_str());
        pointers.push_back(variables_[i]->Pointer());
    }
    return SaveParameters(target, names, types_.c_str(), pointers);
}

}  // namespace flanger::test
