// UTF-16 profile files as UTF-8 text and back; see profile_encoding.h.
#include "platform/posix/profile_encoding.h"

#include <cstdint>
#include <utility>

namespace flanger::platform::posix {
namespace {

constexpr std::string_view kLittleEndianMark = "\xFF\xFE";
constexpr std::string_view kBigEndianMark = "\xFE\xFF";
constexpr char32_t kReplacement = 0xFFFD;

bool IsHighSurrogate(char32_t unit) { return unit >= 0xD800 && unit <= 0xDBFF; }
bool IsLowSurrogate(char32_t unit) { return unit >= 0xDC00 && unit <= 0xDFFF; }

void AppendUtf8(std::string& text, char32_t point) {
    const auto byte = [&text](char32_t bits) { text.push_back(static_cast<char>(bits)); };
    if (point < 0x80) {
        byte(point);
    } else if (point < 0x800) {
        byte(0xC0 | point >> 6);
        byte(0x80 | (point & 0x3F));
    } else if (point < 0x10000) {
        byte(0xE0 | point >> 12);
        byte(0x80 | (point >> 6 & 0x3F));
        byte(0x80 | (point & 0x3F));
    } else {
        byte(0xF0 | point >> 18);
        byte(0x80 | (point >> 12 & 0x3F));
        byte(0x80 | (point >> 6 & 0x3F));
        byte(0x80 | (point & 0x3F));
    }
}

// The code point that starts at text[at], and the bytes it takes; nothing for bytes that do not
// form one in shortest form. With `surrogates` the three-byte forms of surrogate numbers count.
std::optional<std::pair<char32_t, std::size_t>> NextPoint(std::string_view text, std::size_t at,
                                                          bool surrogates) {
    const auto lead = static_cast<unsigned char>(text[at]);
    std::size_t length = 0;
    char32_t point = 0;
    char32_t smallest = 0;
    if (lead < 0x80) return std::pair<char32_t, std::size_t>{lead, 1};
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2, point = lead & 0x1F, smallest = 0x80;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3, point = lead & 0x0F, smallest = 0x800;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4, point = lead & 0x07, smallest = 0x10000;
    } else {
        return std::nullopt;
    }
    if (text.size() - at < length) return std::nullopt;
    for (std::size_t i = 1; i < length; ++i) {
        const auto trail = static_cast<unsigned char>(text[at + i]);
        if ((trail & 0xC0) != 0x80) return std::nullopt;
        point = point << 6 | (trail & 0x3F);
    }
    if (point < smallest || point > 0x10FFFF) return std::nullopt;
    if (!surrogates && (IsHighSurrogate(point) || IsLowSurrogate(point))) return std::nullopt;
    return std::pair{point, length};
}

void AppendUnit(std::string& bytes, char32_t unit, bool bigEndian) {
    const char high = static_cast<char>(unit >> 8);
    const char low = static_cast<char>(unit & 0xFF);
    bytes.push_back(bigEndian ? high : low);
    bytes.push_back(bigEndian ? low : high);
}

}  // namespace

ProfileText DecodeProfile(std::string bytes, DecodePurpose purpose) {
    ProfileText decoded;
    const std::string_view view(bytes);
    if (!view.starts_with(kLittleEndianMark) && !view.starts_with(kBigEndianMark)) {
        decoded.Text = std::move(bytes);
        return decoded;
    }
    const bool bigEndian = view.starts_with(kBigEndianMark);
    decoded.Encoding =
        bigEndian ? ProfileEncoding::Utf16BigEndian : ProfileEncoding::Utf16LittleEndian;
    const std::size_t units = (view.size() - 2) / 2;
    const auto unitAt = [&](std::size_t i) {
        const auto first = static_cast<unsigned char>(view[2 + 2 * i]);
        const auto second = static_cast<unsigned char>(view[3 + 2 * i]);
        return static_cast<char32_t>(bigEndian ? first << 8 | second : second << 8 | first);
    };
    decoded.Text.reserve(units * 3 / 2);
    for (std::size_t i = 0; i < units; ++i) {
        const char32_t unit = unitAt(i);
        if (IsHighSurrogate(unit) && i + 1 < units && IsLowSurrogate(unitAt(i + 1))) {
            AppendUtf8(decoded.Text, 0x10000 + ((unit - 0xD800) << 10) + (unitAt(i + 1) - 0xDC00));
            ++i;
        } else if (IsHighSurrogate(unit) || IsLowSurrogate(unit)) {
            AppendUtf8(decoded.Text, purpose == DecodePurpose::Edit ? unit : kReplacement);
        } else {
            AppendUtf8(decoded.Text, unit);
        }
    }
    decoded.Tail = view.substr(2 + 2 * units);
    return decoded;
}

bool CanStore(ProfileEncoding encoding, std::string_view text) {
    if (encoding == ProfileEncoding::Bytes) return true;
    for (std::size_t at = 0; at < text.size();) {
        const auto point = NextPoint(text, at, false);
        if (!point) return false;
        at += point->second;
    }
    return true;
}

std::optional<std::string> EncodeProfile(const ProfileText& text) {
    if (text.Encoding == ProfileEncoding::Bytes) return text.Text;
    const bool bigEndian = text.Encoding == ProfileEncoding::Utf16BigEndian;
    std::string bytes(bigEndian ? kBigEndianMark : kLittleEndianMark);
    bytes.reserve(2 + 2 * text.Text.size() + text.Tail.size());
    for (std::size_t at = 0; at < text.Text.size();) {
        const auto point = NextPoint(text.Text, at, true);
        if (!point) return std::nullopt;
        at += point->second;
        if (point->first < 0x10000) {
            AppendUnit(bytes, point->first, bigEndian);
        } else {
            const char32_t offset = point->first - 0x10000;
            AppendUnit(bytes, 0xD800 + (offset >> 10), bigEndian);
            AppendUnit(bytes, 0xDC00 + (offset & 0x3FF), bigEndian);
        }
    }
    bytes += text.Tail;
    return bytes;
}

}  // namespace flanger::platform::posix
