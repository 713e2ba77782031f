// Typed values on a settings node, in two layers: the attribute layer converts one attribute of
// the node between text and a number or a block of bytes; the value layer keeps each value in
// the attribute "Value" of a child named after it, the shape presets have under a host's node.
//
// The text forms are those presets have always had: integers as signed decimal, numbers as
// "%g" text (six significant digits), blocks as upper-case hexadecimal, two digits per byte.
// Reading is lenient in the way the C runtime's atoi and atof are: leading white space is
// skipped, the longest leading number is taken, and anything else reads as 0 (number_text.h
// says which numbers count).
#include <array>
#include <charconv>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>

#include "flanger_settings_node.h"
#include "settings_tree/number_text.h"

namespace {

constexpr char kValueAttribute[] = "Value";

constexpr bool IsSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

// atoi without its undefined behaviour on overflow: after optional white space and one sign,
// the decimal digits are accumulated modulo 2^32 and the 32 bits taken as signed. So the text of
// any 32-bit value reads back as its bits whether it was written signed or unsigned ("-1" and
// "4294967295" both give 0xFFFFFFFF), and the result is the same on 32- and 64-bit targets,
// which the C runtime's atoi does not promise. Longer texts wrap rather than saturate.
std::int32_t ParseInteger(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size() && IsSpace(text[i])) {
        ++i;
    }
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    std::uint32_t magnitude = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        magnitude = magnitude * 10u + static_cast<std::uint32_t>(text[i] - '0');
    }
    const std::uint32_t bits = negative ? 0u - magnitude : magnitude;
    // Two's complement by definition since C++20: the conversion keeps the bits.
    return static_cast<std::int32_t>(bits);
}

using flanger::NumberText;

NumberText FormatInteger(std::int32_t value) {
    NumberText text{};
    std::to_chars(text.data(), text.data() + text.size() - 1, value);
    return text;
}

// A digit's value. Anything but 0 to 9 stands for the low four bits of its code minus 55, which
// maps A to F and a to f alike onto 10 to 15 and every other byte onto some value without an
// error. Only the low four bits of the code matter, so a signed or unsigned char gives the same.
constexpr std::uint8_t DigitValue(char c) {
    if (c >= '0' && c <= '9') {
        return static_cast<std::uint8_t>(c - '0');
    }
    return static_cast<std::uint8_t>((static_cast<unsigned char>(c) - 55u) & 15u);
}

std::string EncodeHex(const std::uint8_t* data, std::uint32_t size) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    std::string text;
    // On a 32-bit target twice a large size does not fit a size_t; such a block cannot be in
    // memory whole, and the check keeps the length from wrapping to a small one.
    if (size > text.max_size() / 2) {
        throw std::length_error("block too large for its hexadecimal text");
    }
    text.resize(2 * std::size_t{size});
    for (std::uint32_t i = 0; i < size; ++i) {
        text[2 * std::size_t{i}] = kDigits[data[i] >> 4];
        text[2 * std::size_t{i} + 1] = kDigits[data[i] & 15];
    }
    return text;
}

std::uint32_t DecodeHex(std::string_view text, std::uint8_t* buffer, std::uint32_t capacity) {
    const std::size_t pairs = text.size() / 2;
    const std::uint32_t count = pairs < capacity ? static_cast<std::uint32_t>(pairs) : capacity;
    for (std::uint32_t i = 0; i < count; ++i) {
        const std::size_t at = 2 * std::size_t{i};
        buffer[i] = static_cast<std::uint8_t>(DigitValue(text[at]) * 16 + DigitValue(text[at + 1]));
    }
    return count;
}

}  // namespace

bool SettingsNode::GetIntAttribute(const char* attributeName, std::int32_t* value) const {
    const SettingsAttribute* const attribute = FindAttribute(attributeName);
    if (attribute == nullptr || value == nullptr) {
        return false;
    }
    *value = ParseInteger(attribute->value);
    return true;
}

bool SettingsNode::GetFloatAttribute(const char* attributeName, float* value) const {
    const SettingsAttribute* const attribute = FindAttribute(attributeName);
    if (attribute == nullptr || value == nullptr) {
        return false;
    }
    *value = flanger::ParseFloatText(attribute->value);
    return true;
}

bool SettingsNode::GetDoubleAttribute(const char* attributeName, double* value) const {
    const SettingsAttribute* const attribute = FindAttribute(attributeName);
    if (attribute == nullptr || value == nullptr) {
        return false;
    }
    *value = flanger::ParseDoubleText(attribute->value);
    return true;
}

std::uint32_t SettingsNode::GetBlockAttribute(const char* attributeName, std::uint8_t* buffer,
                                              std::uint32_t capacity) const {
    const SettingsAttribute* const attribute = FindAttribute(attributeName);
    if (attribute == nullptr || buffer == nullptr) {
        return 0;
    }
    return DecodeHex(attribute->value, buffer, capacity);
}

void SettingsNode::SetIntAttribute(const char* attributeName, std::int32_t value) {
    SetAttribute(attributeName, FormatInteger(value).data());
}

void SettingsNode::SetFloatAttribute(const char* attributeName, float value) {
    SetAttribute(attributeName, flanger::FormatNumberText(value).data());
}

void SettingsNode::SetDoubleAttribute(const char* attributeName, double value) {
    SetAttribute(attributeName, flanger::FormatNumberText(value).data());
}

void SettingsNode::SetBlockAttribute(const char* attributeName, const std::uint8_t* data,
                                     std::uint32_t size) {
    if (data == nullptr && size != 0) {
        return;
    }
    std::string text = EncodeHex(data, size);
    if (SettingsAttribute* const existing = FindAttribute(attributeName)) {
        existing->value = std::move(text);
        return;
    }
    attributes.push_back({attributeName != nullptr ? attributeName : "", std::move(text)});
}

bool SettingsNode::ReadDwordValue(const char* childName, std::uint32_t* value) const {
    const SettingsNode* const child = FindChild(childName);
    std::int32_t bits = 0;
    if (child == nullptr || value == nullptr || !child->GetIntAttribute(kValueAttribute, &bits)) {
        return false;
    }
    *value = static_cast<std::uint32_t>(bits);
    return true;
}

bool SettingsNode::ReadIntValue(const char* childName, std::int32_t* value) const {
    const SettingsNode* const child = FindChild(childName);
    return child != nullptr && child->GetIntAttribute(kValueAttribute, value);
}

bool SettingsNode::ReadFloatValue(const char* childName, float* value) const {
    const SettingsNode* const child = FindChild(childName);
    return child != nullptr && child->GetFloatAttribute(kValueAttribute, value);
}

bool SettingsNode::ReadDoubleValue(const char* childName, double* value) const {
    const SettingsNode* const child = FindChild(childName);
    return child != nullptr && child->GetDoubleAttribute(kValueAttribute, value);
}

bool SettingsNode::ReadStringValue(const char* childName, std::string* value) const {
    const SettingsNode* const child = FindChild(childName);
    return child != nullptr && value != nullptr && child->GetAttribute(kValueAttribute, *value);
}

std::uint32_t SettingsNode::ReadBlockValue(const char* childName, std::uint8_t* buffer,
                                           std::uint32_t capacity) const {
    const SettingsNode* const child = FindChild(childName);
    return child != nullptr ? child->GetBlockAttribute(kValueAttribute, buffer, capacity) : 0;
}

namespace {

// The child that holds a value: the first of that name, or a new one at the end. A child found
// under another letter case keeps its stored name.
SettingsNode& ValueChild(SettingsNode& node, const char* childName) {
    SettingsNode* const child = node.FindChild(childName);
    return child != nullptr ? *child : *node.AddChild(childName);
}

}  // namespace

void SettingsNode::WriteDwordValue(const char* childName, std::uint32_t value) {
    // The 32 bits as a signed number: values above 2^31 - 1 are written negative.
    ValueChild(*this, childName).SetIntAttribute(kValueAttribute, static_cast<std::int32_t>(value));
}

void SettingsNode::WriteIntValue(const char* childName, std::int32_t value) {
    ValueChild(*this, childName).SetIntAttribute(kValueAttribute, value);
}

void SettingsNode::WriteFloatValue(const char* childName, float value) {
    ValueChild(*this, childName).SetFloatAttribute(kValueAttribute, value);
}

void SettingsNode::WriteDoubleValue(const char* childName, double value) {
    ValueChild(*this, childName).SetDoubleAttribute(kValueAttribute, value);
}

void SettingsNode::WriteStringValue(const char* childName, const std::string& value) {
    ValueChild(*this, childName).SetAttribute(kValueAttribute, value.c_str());
}

void SettingsNode::WriteBlockValue(const char* childName, const std::uint8_t* data,
                                   std::uint32_t size) {
    // Checked before the child is added, so a block that cannot be written leaves no trace.
    if (data == nullptr && size != 0) {
        return;
    }
    ValueChild(*this, childName).SetBlockAttribute(kValueAttribute, data, size);
}
