// The dialog template reader.
#include "windowing/dialog_template_parser.h"

#include <algorithm>
#include <cstring>

#include "windowing/template_text.h"

namespace flanger::platform {
namespace {

// Reads little-endian fields of a template, each checked against the known extent.
class TemplateReader {
public:
    TemplateReader(const unsigned char* data, std::size_t available)
        : Data(data), Available(available) {}

    bool Word(WORD& value) { return Read(&value, sizeof value); }
    bool Dword(DWORD& value) { return Read(&value, sizeof value); }
    bool Short(short& value) { return Read(&value, sizeof value); }

    bool Skip(std::size_t bytes) {
        if (!Fits(bytes)) {
            return false;
        }
        Offset += bytes;
        return true;
    }

    void AlignToDword() { Offset = (Offset + 3) & ~static_cast<std::size_t>(3); }

    // Where the next read starts (kept inside the known extent).
    const unsigned char* Here() const { return Data + std::min(Offset, Available); }

    // A NUL-terminated UTF-16 string, converted to UTF-8.
    TemplateProblem String(std::string& text) {
        std::u16string units;
        for (;;) {
            WORD unit = 0;
            if (!Word(unit)) {
                return TemplateProblem::Truncated;
            }
            if (unit == 0) {
                break;
            }
            if (units.size() == kMaxTemplateString) {
                return TemplateProblem::BadString;
            }
            units.push_back(static_cast<char16_t>(unit));
        }
        text = Utf16ToUtf8(units);
        return TemplateProblem::None;
    }

    // 0x0000 (nothing), 0xFFFF and an ordinal, or a string.
    TemplateProblem NameOrOrdinal(WORD& ordinal, std::string& name) {
        WORD first = 0;
        if (!Peek(first)) {
            return TemplateProblem::Truncated;
        }
        if (first == 0x0000) {
            Offset += 2;
            return TemplateProblem::None;
        }
        if (first == 0xFFFF) {
            Offset += 2;
            return Word(ordinal) ? TemplateProblem::None : TemplateProblem::Truncated;
        }
        return String(name);
    }

private:
    bool Fits(std::size_t bytes) const {
        return Offset <= Available && Available - Offset >= bytes;
    }

    bool Peek(WORD& value) const {
        if (!Fits(sizeof value)) {
            return false;
        }
        std::memcpy(&value, Data + Offset, sizeof value);
        return true;
    }

    bool Read(void* value, std::size_t size) {
        if (!Fits(size)) {
            return false;
        }
        std::memcpy(value, Data + Offset, size);
        Offset += size;
        return true;
    }

    const unsigned char* Data;
    std::size_t Available;
    std::size_t Offset = 0;
};

// The class names behind the predefined atoms 0x80 to 0x85 (also written 0 to 5).
const char* PredefinedClassName(WORD atom) {
    static const char* const kNames[] = {"Button",  "Edit",      "Static",
                                         "ListBox", "ScrollBar", "ComboBox"};
    if (atom >= 0x80 && atom <= 0x85) {
        atom = static_cast<WORD>(atom - 0x80);
    }
    return atom <= 5 ? kNames[atom] : nullptr;
}

TemplateProblem ParseItem(TemplateReader& reader, TemplateItem& item) {
    reader.AlignToDword();
    if (!reader.Dword(item.style) || !reader.Dword(item.exStyle) || !reader.Short(item.x) ||
        !reader.Short(item.y) || !reader.Short(item.cx) || !reader.Short(item.cy) ||
        !reader.Word(item.id)) {
        return TemplateProblem::Truncated;
    }
    WORD classAtom = 0;
    TemplateProblem problem = reader.NameOrOrdinal(classAtom, item.className);
    if (problem != TemplateProblem::None) {
        return problem;
    }
    if (classAtom != 0) {
        const char* name = PredefinedClassName(classAtom);
        item.className = name != nullptr ? name : "";
    }
    WORD textOrdinal = 0;  // an icon or bitmap resource; the layer has none
    problem = reader.NameOrOrdinal(textOrdinal, item.text);
    if (problem != TemplateProblem::None) {
        return problem;
    }
    const unsigned char* sizeWord = reader.Here();
    WORD dataSize = 0;
    if (!reader.Word(dataSize) || !reader.Skip(dataSize / 2 * 2)) {
        return TemplateProblem::Truncated;
    }
    item.creationData = dataSize != 0 ? sizeWord : nullptr;
    return TemplateProblem::None;
}

}  // namespace

TemplateProblem ParseDialogTemplate(const unsigned char* data, std::size_t available,
                                    DialogTemplate& result) {
    TemplateReader reader(data, available);
    WORD itemCount = 0;
    if (!reader.Dword(result.style)) {
        return TemplateProblem::Truncated;
    }
    if ((result.style & 0xFFFF) == 0x0001 && (result.style >> 16) == 0xFFFF) {
        return TemplateProblem::Extended;
    }
    if (!reader.Dword(result.exStyle) || !reader.Word(itemCount) || !reader.Short(result.x) ||
        !reader.Short(result.y) || !reader.Short(result.cx) || !reader.Short(result.cy)) {
        return TemplateProblem::Truncated;
    }
    if (itemCount > kMaxTemplateItems) {
        return TemplateProblem::TooManyItems;
    }
    WORD menuOrdinal = 0;  // menus are not supported; the name is read past
    std::string menuName;
    TemplateProblem problem = reader.NameOrOrdinal(menuOrdinal, menuName);
    if (problem == TemplateProblem::None) {
        problem = reader.NameOrOrdinal(result.classAtom, result.className);
    }
    if (problem == TemplateProblem::None) {
        problem = reader.String(result.caption);
    }
    if (problem == TemplateProblem::None && (result.style & DS_SETFONT) != 0) {
        short pointSize = 0;
        if (!reader.Short(pointSize)) {
            return TemplateProblem::Truncated;
        }
        result.hasFont = true;
        result.pointSize = pointSize;
        if (pointSize != 0x7FFF) {
            problem = reader.String(result.faceName);
        }
    }
    if (problem != TemplateProblem::None) {
        return problem;
    }
    result.items.resize(itemCount);
    for (TemplateItem& item : result.items) {
        problem = ParseItem(reader, item);
        if (problem != TemplateProblem::None) {
            return problem;
        }
    }
    return TemplateProblem::None;
}

}  // namespace flanger::platform
