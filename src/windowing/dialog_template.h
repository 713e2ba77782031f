// Dialog templates written as tables in the code, turned into the binary layout that the
// windowing layer's CreateDialogIndirectParamA reads (DLGTEMPLATE, the layout a resource
// compiler writes for a DIALOG statement). The module's own settings window and the translated
// resource libraries describe their dialogs this way on Linux; on Windows the resource compiler
// produces the same bytes from a resource script.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

namespace flanger::platform {

// One control: its window class ("Button" and "Static" are written as the predefined atoms,
// any other name as a string), its text, rectangle in dialog units, id and style.
struct DialogItemSpec {
    std::uint16_t id;
    std::string_view className;
    std::string_view text;  // UTF-8
    std::int16_t x, y, cx, cy;
    std::uint32_t style;
};

// The dialog: style (with DS_SETFONT the font is written), caption, font, rectangle in dialog
// units and the controls in creation order.
struct DialogSpec {
    std::uint32_t style;
    std::string_view caption;  // UTF-8
    std::uint16_t pointSize;
    std::string_view faceName;
    std::int16_t x, y, cx, cy;
    const DialogItemSpec* items;
    std::size_t itemCount;
};

// The template's bytes, 4-byte aligned as the layer and Windows require.
class DialogTemplateBytes {
public:
    const void* data() const { return words_.data(); }
    std::size_t size() const { return size_; }

private:
    friend DialogTemplateBytes BuildDialogTemplate(const DialogSpec& spec);
    std::vector<std::uint32_t> words_;
    std::size_t size_ = 0;
};

// Writes the template. Texts are converted from UTF-8 to UTF-16LE; an invalid UTF-8 sequence
// becomes U+FFFD.
DialogTemplateBytes BuildDialogTemplate(const DialogSpec& spec);

}  // namespace flanger::platform
