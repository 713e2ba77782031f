// Values of a parameter list as children of a settings node, through the node's value layer.
#include "persistence/settings_node_storage.h"

#include <algorithm>
#include <cstdint>
#include <string>

namespace flanger {

namespace {

constexpr char kSizeChildPrefix[] = "SIZE_LSS_";
constexpr char kDataChildPrefix[] = "DATA_LSS_";
// The attribute the value layer keeps every value in.
constexpr char kValueAttribute[] = "Value";

std::string PrefixedName(const char* prefix, const char* name) {
    return std::string(prefix) + name;
}

}  // namespace

std::unique_ptr<SettingsNodeStorage> SettingsNodeStorage::Open(SettingsNode* node) {
    if (node == nullptr) {
        return nullptr;
    }
    return std::unique_ptr<SettingsNodeStorage>(new SettingsNodeStorage(*node));
}

void SettingsNodeStorage::ReadValue(ParameterTag tag, const char* name, void* variable) {
    // The readers' results are not needed: an absent value leaves the variable as it was.
    switch (tag) {
        case ParameterTag::Uint:
        case ParameterTag::Dword:
            node_.ReadDwordValue(name, static_cast<std::uint32_t*>(variable));
            return;
        case ParameterTag::Int:
            node_.ReadIntValue(name, static_cast<std::int32_t*>(variable));
            return;
        case ParameterTag::Float:
            node_.ReadFloatValue(name, static_cast<float*>(variable));
            return;
        case ParameterTag::Double:
            node_.ReadDoubleValue(name, static_cast<double*>(variable));
            return;
        case ParameterTag::String:
            node_.ReadStringValue(name, static_cast<std::string*>(variable));
            return;
        case ParameterTag::Lss:
            ReadBlock(name, *static_cast<LssBlock*>(variable));
            return;
    }
}

// A block gets the size its size child names and as many bytes as the data child's text encodes
// (two digits each); the bytes no text filled are cleared, so none keeps what the heap held.
// A size beyond kLargestUnfilledBlock is trusted only as far as the data text reaches: a damaged
// or hostile tree could name any size up to 4 GiB ("-1" reads as 4294967295), so such a size is
// cut to what the text can fill.
void SettingsNodeStorage::ReadBlock(const char* name, LssBlock& block) {
    const std::string sizeName = PrefixedName(kSizeChildPrefix, name);
    const std::string dataName = PrefixedName(kDataChildPrefix, name);
    std::uint32_t size = 0;
    if (!node_.ReadDwordValue(sizeName.c_str(), &size)) {
        block.Size = 0;
        block.Data = nullptr;
        return;
    }
    const SettingsNode* const dataChild = node_.FindChild(dataName.c_str());
    const SettingsAttribute* const data =
        dataChild != nullptr ? dataChild->FindAttribute(kValueAttribute) : nullptr;
    const std::size_t encoded = data != nullptr ? data->value.size() / 2 : 0;
    if (size > kLargestUnfilledBlock && encoded < size) {
        size = static_cast<std::uint32_t>(encoded);
    }
    // Allocated before the block is touched, so a failed allocation leaves it as it was.
    std::unique_ptr<std::uint8_t[]> bytes(new std::uint8_t[size]());
    node_.ReadBlockValue(dataName.c_str(), bytes.get(), size);
    block.Size = size;
    block.Data = bytes.release();
}

void SettingsNodeStorage::WriteValue(ParameterTag tag, const char* name, const void* variable) {
    switch (tag) {
        case ParameterTag::Uint:
        case ParameterTag::Dword:
            node_.WriteDwordValue(name, *static_cast<const std::uint32_t*>(variable));
            return;
        case ParameterTag::Int:
            node_.WriteIntValue(name, *static_cast<const std::int32_t*>(variable));
            return;
        case ParameterTag::Float:
            node_.WriteFloatValue(name, *static_cast<const float*>(variable));
            return;
        case ParameterTag::Double:
            node_.WriteDoubleValue(name, *static_cast<const double*>(variable));
            return;
        case ParameterTag::String:
            node_.WriteStringValue(name, *static_cast<const std::string*>(variable));
            return;
        case ParameterTag::Lss:
            WriteBlock(name, *static_cast<const LssBlock*>(variable));
            return;
    }
}

void SettingsNodeStorage::WriteBlock(const char* name, const LssBlock& block) {
    // A block that claims bytes but has none to give is the caller's mistake; writing its size
    // alone would store a preset whose size the data cannot back, so nothing is written.
    if (block.Data == nullptr && block.Size != 0) {
        return;
    }
    node_.WriteDwordValue(PrefixedName(kSizeChildPrefix, name).c_str(), block.Size);
    node_.WriteBlockValue(PrefixedName(kDataChildPrefix, name).c_str(), block.Data, block.Size);
}

}  // namespace flanger
