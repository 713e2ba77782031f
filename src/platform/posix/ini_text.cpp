// Profile file text: line classification and entry edits that keep all other bytes.
#include "platform/posix/ini_text.h"

#include <utility>

#include "platform/posix/profile_values.h"

namespace flanger::platform::posix {
namespace {

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

char LowerAscii(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool EqualIgnoringCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (LowerAscii(a[i]) != LowerAscii(b[i])) return false;
    }
    return true;
}

bool HoldsLineBreak(std::string_view text) {
    return text.find_first_of("\r\n") != std::string_view::npos;
}

}  // namespace

IniText::IniText(std::string bytes) : Text(std::move(bytes)) { Parse(); }

void IniText::Parse() {
    Lines.clear();
    std::size_t begin = Text.starts_with(kByteOrderMark) ? kByteOrderMark.size() : 0;
    while (begin < Text.size()) {
        Line line{begin, Text.size(), Text.size(), LineKind::Other, {}, {}};
        const std::size_t lineBreak = Text.find_first_of("\r\n", begin);
        if (lineBreak != std::string::npos) {
            line.ContentEnd = lineBreak;
            line.End = lineBreak + (Text.compare(lineBreak, 2, "\r\n") == 0 ? 2 : 1);
        }
        const std::string_view content =
            TrimBlanks(std::string_view(Text).substr(begin, line.ContentEnd - begin));
        if (content.empty()) {
            line.Kind = LineKind::Blank;
        } else if (content.front() == ';') {
            line.Kind = LineKind::Comment;
        } else if (content.front() == '[') {
            const std::size_t close = content.find(']');
            if (close != std::string_view::npos) {
                line.Kind = LineKind::Section;
                line.Name = TrimBlanks(content.substr(1, close - 1));
            }
        } else if (const std::size_t equals = content.find('='); equals != std::string_view::npos) {
            line.Kind = LineKind::Entry;
            line.Name = TrimBlanks(content.substr(0, equals));
            line.Value = TrimBlanks(content.substr(equals + 1));
        }
        Lines.push_back(line);
        begin = line.End;
    }
}

std::optional<IniText::SectionRange> IniText::FindSection(std::string_view name) const {
    name = TrimBlanks(name);
    if (name.empty()) return std::nullopt;
    for (std::size_t i = 0; i < Lines.size(); ++i) {
        if (Lines[i].Kind != LineKind::Section || !EqualIgnoringCase(Lines[i].Name, name)) {
            continue;
        }
        std::size_t end = i + 1;
        while (end < Lines.size() && Lines[end].Kind != LineKind::Section) ++end;
        return SectionRange{i, end};
    }
    return std::nullopt;
}

std::optional<std::size_t> IniText::FindEntry(const SectionRange& range,
                                              std::string_view key) const {
    key = TrimBlanks(key);
    if (key.empty()) return std::nullopt;
    for (std::size_t i = range.Header + 1; i < range.End; ++i) {
        if (Lines[i].Kind == LineKind::Entry && EqualIgnoringCase(Lines[i].Name, key)) return i;
    }
    return std::nullopt;
}

std::optional<std::string_view> IniText::Find(std::string_view section,
                                              std::string_view key) const {
    const std::optional<SectionRange> range = FindSection(section);
    if (!range) return std::nullopt;
    const std::optional<std::size_t> entry = FindEntry(*range, key);
    if (!entry) return std::nullopt;
    return Lines[*entry].Value;
}

std::string_view IniText::LineEnding() const {
    if (Lines.empty()) return "\n";
    const Line& first = Lines.front();
    const std::string_view ending(Text.data() + first.ContentEnd, first.End - first.ContentEnd);
    if (ending == "\r\n") return "\r\n";
    return ending == "\r" ? "\r" : "\n";
}

bool IniText::CanStore(std::string_view section, std::string_view key, std::string_view value) {
    section = TrimBlanks(section);
    key = TrimBlanks(key);
    return !section.empty() && section.find(']') == std::string_view::npos &&
           !HoldsLineBreak(section) && !key.empty() && key.find('=') == std::string_view::npos &&
           key.front() != ';' && key.front() != '[' && !HoldsLineBreak(key) &&
           !HoldsLineBreak(value);
}

bool IniText::Set(std::string_view section, std::string_view key, std::string_view value) {
    if (!CanStore(section, key, value)) return false;
    section = TrimBlanks(section);
    key = TrimBlanks(key);
    const std::string_view ending = LineEnding();

    const std::optional<SectionRange> range = FindSection(section);
    if (!range) {
        std::string added;
        if (!Text.empty() && Text.back() != '\n' && Text.back() != '\r') added += ending;
        added.append("[").append(section).append("]").append(ending);
        added.append(key).append("=").append(value).append(ending);
        Text += added;
        Parse();
        return true;
    }

    if (const std::optional<std::size_t> entry = FindEntry(*range, key)) {
        const Line& line = Lines[*entry];
        // The same value leaves the line alone, spacing and all.
        if (line.Value == value) return true;
        std::string replacement(line.Name);
        replacement.append("=").append(value);
        Text.replace(line.Begin, line.ContentEnd - line.Begin, replacement);
        Parse();
        return true;
    }

    std::size_t anchor = range->Header;
    for (std::size_t i = range->Header + 1; i < range->End; ++i) {
        if (Lines[i].Kind == LineKind::Entry || Lines[i].Kind == LineKind::Other) anchor = i;
    }
    const Line& after = Lines[anchor];
    std::string added;
    if (after.End == after.ContentEnd) added += ending;
    added.append(key).append("=").append(value).append(ending);
    Text.insert(after.End, added);
    Parse();
    return true;
}

}  // namespace flanger::platform::posix
