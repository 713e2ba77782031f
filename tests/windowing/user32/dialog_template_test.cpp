// The dialog-template writer: the exact bytes of a small dialog, worked out by hand from the
// DLGTEMPLATE layout, the UTF-8 to UTF-16 conversion of texts, and the predefined class atoms.
#include "windowing/dialog_template.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <vector>

namespace flanger::platform::test {
namespace {

std::vector<unsigned char> BytesOf(const DialogTemplateBytes& bytes) {
    const auto* data = static_cast<const unsigned char*>(bytes.data());
    return std::vector<unsigned char>(data, data + bytes.size());
}

// The UTF-16 units from byte `offset` up to the terminator.
std::vector<std::uint16_t> WordsAt(const std::vector<unsigned char>& bytes, std::size_t offset) {
    std::vector<std::uint16_t> words;
    for (; offset + 1 < bytes.size(); offset += 2) {
        const std::uint16_t word =
            static_cast<std::uint16_t>(bytes[offset] | bytes[offset + 1] << 8);
        if (word == 0) {
            break;
        }
        words.push_back(word);
    }
    return words;
}

TEST(DialogTemplateTest, WritesTheBytesOfADialogStatement) {
    const DialogItemSpec items[] = {
        {7, "Button", "Ok", 2, 3, 10, 8, 0x50010003},
        {0xFFFF, "static", "", 4, 5, 6, 7, 0x50000000},
        {9, "Tb", "\xC3\xA4", -2, 12, 13, 14, 0x5001001A},
    };
    const DialogSpec spec{0x40000040, "Fx", 8, "MS", 1, 2, 30, 20, items, 3};
    // clang-format off
    const std::vector<unsigned char> expected = {
        // 0x00 DLGTEMPLATE: style WS_CHILD | DS_SETFONT, extended style, 3 items, 1, 2, 30, 20
        0x40, 0x00, 0x00, 0x40, 0x00, 0x00, 0x00, 0x00, 0x03, 0x00, 0x01, 0x00, 0x02, 0x00,
        0x1E, 0x00, 0x14, 0x00,
        // 0x12 no menu, the dialog class, caption "Fx"
        0x00, 0x00, 0x00, 0x00, 'F', 0x00, 'x', 0x00, 0x00, 0x00,
        // 0x1C 8 points, "MS"; ends at 0x24, already on a 4-byte boundary
        0x08, 0x00, 'M', 0x00, 'S', 0x00, 0x00, 0x00,
        // 0x24 item 1: style, extended style, 2, 3, 10, 8, id 7
        0x03, 0x00, 0x01, 0x50, 0x00, 0x00, 0x00, 0x00, 0x02, 0x00, 0x03, 0x00, 0x0A, 0x00,
        0x08, 0x00, 0x07, 0x00,
        // 0x36 class Button as an atom, text "Ok", no creation data; padding to 0x44
        0xFF, 0xFF, 0x80, 0x00, 'O', 0x00, 'k', 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
        // 0x44 item 2: style, extended style, 4, 5, 6, 7, id 0xFFFF
        0x00, 0x00, 0x00, 0x50, 0x00, 0x00, 0x00, 0x00, 0x04, 0x00, 0x05, 0x00, 0x06, 0x00,
        0x07, 0x00, 0xFF, 0xFF,
        // 0x56 class Static as an atom (whatever its case), empty text, no creation data;
        // padding to 0x60
        0xFF, 0xFF, 0x82, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
        // 0x60 item 3: style, extended style, -2, 12, 13, 14, id 9
        0x1A, 0x00, 0x01, 0x50, 0x00, 0x00, 0x00, 0x00, 0xFE, 0xFF, 0x0C, 0x00, 0x0D, 0x00,
        0x0E, 0x00, 0x09, 0x00,
        // 0x72 class "Tb" as a string, text U+00E4, no creation data; the end, unpadded
        'T', 0x00, 'b', 0x00, 0x00, 0x00, 0xE4, 0x00, 0x00, 0x00, 0x00, 0x00,
    };
    // clang-format on
    const DialogTemplateBytes bytes = BuildDialogTemplate(spec);
    EXPECT_EQ(bytes.size(), 0x7Eu);
    EXPECT_EQ(BytesOf(bytes), expected);
    EXPECT_EQ(reinterpret_cast<std::uintptr_t>(bytes.data()) % 4, 0u);
}

TEST(DialogTemplateTest, TextsBecomeUtf16WithReplacementForBrokenSequences) {
    const struct {
        const char* what;
        const char* utf8;
        std::vector<std::uint16_t> utf16;
    } cases[] = {
        {"ASCII", "Ab", {0x41, 0x62}},
        {"two bytes", "\xC3\xBC\xC3\x9F", {0xFC, 0xDF}},
        {"three bytes", "\xE2\x82\xAC", {0x20AC}},
        {"four bytes, a surrogate pair", "\xF0\x9F\x98\x80", {0xD83D, 0xDE00}},
        {"a lone continuation byte", "a\x80z", {0x61, 0xFFFD, 0x7A}},
        {"an overlong form", "\xC0\xAF", {0xFFFD, 0xFFFD}},
        {"a cut sequence",
         "\xE2\x82"
         "A",
         {0xFFFD, 0x41}},
        {"a cut sequence at the end", "A\xF0\x9F\x98", {0x41, 0xFFFD}},
        {"an encoded surrogate", "\xED\xA0\x80", {0xFFFD, 0xFFFD, 0xFFFD}},
        {"beyond U+10FFFF", "\xF4\x90\x80\x80", {0xFFFD, 0xFFFD, 0xFFFD, 0xFFFD}},
        {"the highest code point", "\xF4\x8F\xBF\xBF", {0xDBFF, 0xDFFF}},
        {"an invalid lead byte",
         "\xFF"
         "a",
         {0xFFFD, 0x61}},
    };
    for (const auto& c : cases) {
        // Without DS_SETFONT or items the caption is all that follows the fixed fields.
        const DialogSpec spec{0, c.utf8, 0, "", 0, 0, 0, 0, nullptr, 0};
        EXPECT_EQ(WordsAt(BytesOf(BuildDialogTemplate(spec)), 0x16), c.utf16) << c.what;
    }
}

TEST(DialogTemplateTest, OnlyButtonAndStaticBecomeAtoms) {
    const struct {
        const char* className;
        std::vector<std::uint16_t> written;
    } cases[] = {
        {"Button", {0xFFFF, 0x0080}},
        {"BUTTON", {0xFFFF, 0x0080}},
        {"sTaTiC", {0xFFFF, 0x0082}},
        {"Buttons", {'B', 'u', 't', 't', 'o', 'n', 's'}},
        {"Edit", {'E', 'd', 'i', 't'}},
        {"msctls_trackbar32",
         {'m', 's', 'c', 't', 'l', 's', '_', 't', 'r', 'a', 'c', 'k', 'b', 'a', 'r', '3', '2'}},
    };
    for (const auto& c : cases) {
        const DialogItemSpec item{1, c.className, "", 0, 0, 1, 1, 0};
        const DialogSpec spec{0, "", 0, "", 0, 0, 1, 1, &item, 1};
        // Header 18 bytes, menu, class and an empty caption: the item starts at 0x18 and its
        // class at 0x2A.
        const std::vector<unsigned char> bytes = BytesOf(BuildDialogTemplate(spec));
        std::vector<std::uint16_t> written;
        for (std::size_t i = 0; i < c.written.size(); ++i) {
            written.push_back(
                static_cast<std::uint16_t>(bytes[0x2A + 2 * i] | bytes[0x2B + 2 * i] << 8));
        }
        EXPECT_EQ(written, c.written) << c.className;
    }
}

}  // namespace
}  // namespace flanger::platform::test
