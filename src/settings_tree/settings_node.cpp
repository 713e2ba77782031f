// Looking up and adding children and attributes of a settings node by name.
//
// Every lookup is a linear scan in list order that stops at the first match: names are not
// unique, and the first one is the one that counts.
#include <memory>
#include <string>
#include <string_view>
#include <utility>

#include "flanger_settings_node.h"

namespace {

constexpr char FoldAscii(char c) {
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

// Equal without regard to ASCII letter case; every other byte compares as it is. In UTF-8 the
// bytes of a multibyte character are all 0x80 or above, so they never fold onto a letter and a
// character compares as a whole; a locale's case mapping is deliberately not used, since it
// could fold a single byte of such a character.
bool SameName(std::string_view stored, std::string_view wanted) {
    if (stored.size() != wanted.size()) {
        return false;
    }
    for (std::size_t i = 0; i < stored.size(); ++i) {
        if (FoldAscii(stored[i]) != FoldAscii(wanted[i])) {
            return false;
        }
    }
    return true;
}

std::string_view TextOf(const char* text) {
    return text != nullptr ? std::string_view(text) : std::string_view();
}

}  // namespace

SettingsNode::~SettingsNode() = default;

SettingsNode* SettingsNode::FindChild(const char* childName) const {
    const std::string_view wanted = TextOf(childName);
    for (TreeNode* child = firstChild; child != nullptr; child = child->nextSibling) {
        auto* const node = static_cast<SettingsNode*>(child);
        if (SameName(node->name, wanted)) {
            return node;
        }
    }
    return nullptr;
}

SettingsNode* SettingsNode::AddChild(const char* childName) {
    auto child = std::make_unique<SettingsNode>();
    child->name = TextOf(childName);
    InsertChild(child.get());
    return child.release();
}

const SettingsAttribute* SettingsNode::FindAttribute(const char* attributeName) const {
    const std::string_view wanted = TextOf(attributeName);
    for (const SettingsAttribute& attribute : attributes) {
        if (SameName(attribute.name, wanted)) {
            return &attribute;
        }
    }
    return nullptr;
}

SettingsAttribute* SettingsNode::FindAttribute(const char* attributeName) {
    return const_cast<SettingsAttribute*>(std::as_const(*this).FindAttribute(attributeName));
}

SettingsAttribute* SettingsNode::SetAttribute(const char* attributeName, const char* value) {
    if (SettingsAttribute* const existing = FindAttribute(attributeName)) {
        existing->value = TextOf(value);
        return existing;
    }
    attributes.push_back({std::string(TextOf(attributeName)), std::string(TextOf(value))});
    return &attributes.back();
}

bool SettingsNode::GetAttribute(const char* attributeName, std::string& value) const {
    const SettingsAttribute* const attribute = FindAttribute(attributeName);
    if (attribute == nullptr) {
        return false;
    }
    value = attribute->value;
    return true;
}
