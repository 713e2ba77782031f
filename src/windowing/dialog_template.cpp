// The dialog-template writer: a DialogSpec table to the bytes of a DLGTEMPLATE.
//
// The layout, all little-endian: the header (style, extended style 0, item count, x, y, cx,
// cy), menu 0x0000, class 0x0000, the caption in UTF-16 with its terminator and, with
// DS_SETFONT, the point size and the face name. Each item starts on a 4-byte boundary: style,
// extended style 0, x, y, cx, cy, id, the class (0xFFFF and 0x0080 for "Button", 0xFFFF and
// 0x0082 for "Static", otherwise the name in UTF-16), the text in UTF-16 (an empty text is a
// lone terminator, as a resource compiler writes it) and a creation-data size of 0. The size
// is the end of the last item, without padding.
#include "windowing/dialog_template.h"

#include <cstring>
#include <string>

#include "windowing/template_text.h"

namespace flanger::platform {
namespace {

constexpr std::uint32_t kSetFontStyle = 0x40;  // DS_SETFONT
constexpr std::uint16_t kButtonAtom = 0x0080;
constexpr std::uint16_t kStaticAtom = 0x0082;

class TemplateWriter {
public:
    void Word(std::uint16_t value) {
        Bytes.push_back(static_cast<unsigned char>(value & 0xFF));
        Bytes.push_back(static_cast<unsigned char>(value >> 8));
    }
    void Dword(std::uint32_t value) {
        Word(static_cast<std::uint16_t>(value & 0xFFFF));
        Word(static_cast<std::uint16_t>(value >> 16));
    }
    void Short(std::int16_t value) { Word(static_cast<std::uint16_t>(value)); }
    void String(std::string_view utf8) {
        for (const char16_t unit : Utf8ToUtf16(utf8)) {
            Word(unit);
        }
        Word(0);
    }
    void AlignToDword() {
        while (Bytes.size() % 4 != 0) {
            Bytes.push_back(0);
        }
    }
    const std::vector<unsigned char>& Result() const { return Bytes; }

private:
    std::vector<unsigned char> Bytes;
};

}  // namespace

DialogTemplateBytes BuildDialogTemplate(const DialogSpec& spec) {
    TemplateWriter writer;
    writer.Dword(spec.style);
    writer.Dword(0);
    writer.Word(static_cast<std::uint16_t>(spec.itemCount));
    writer.Short(spec.x);
    writer.Short(spec.y);
    writer.Short(spec.cx);
    writer.Short(spec.cy);
    writer.Word(0);  // no menu
    writer.Word(0);  // the dialog class
    writer.String(spec.caption);
    if ((spec.style & kSetFontStyle) != 0) {
        writer.Word(spec.pointSize);
        writer.String(spec.faceName);
    }
    for (std::size_t i = 0; i < spec.itemCount; ++i) {
        const DialogItemSpec& item = spec.items[i];
        writer.AlignToDword();
        writer.Dword(item.style);
        writer.Dword(0);
        writer.Short(item.x);
        writer.Short(item.y);
        writer.Short(item.cx);
        writer.Short(item.cy);
        writer.Word(item.id);
        if (EqualsIgnoringAsciiCase(item.className, "Button")) {
            writer.Word(0xFFFF);
            writer.Word(kButtonAtom);
        } else if (EqualsIgnoringAsciiCase(item.className, "Static")) {
            writer.Word(0xFFFF);
            writer.Word(kStaticAtom);
        } else {
            writer.String(item.className);
        }
        writer.String(item.text);
        writer.Word(0);  // no creation data
    }
    const std::vector<unsigned char>& bytes = writer.Result();
    DialogTemplateBytes result;
    result.words_.resize((bytes.size() + 3) / 4);
    if (!bytes.empty()) {
        std::memcpy(result.words_.data(), bytes.data(), bytes.size());
    }
    result.size_ = bytes.size();
    return result;
}

}  // namespace flanger::platform
