// Following the markup of well-formed XML text. Nothing here recurses: nesting is kept on an
// explicit stack, so a deep document costs memory, not the call stack.
#include "presets/xml_markup.h"

#include <string>

namespace flanger::tool {
namespace {

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";
constexpr std::size_t kNotFound = std::string_view::npos;

bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

class Scanner {
public:
    explicit Scanner(std::string_view text) : Text(text) {}

    std::optional<MarkupIndex> Run() {
        std::size_t pos = Text.starts_with(kByteOrderMark) ? kByteOrderMark.size() : 0;
        while ((pos = Text.find('<', pos)) != kNotFound) {
            const std::string_view rest = Text.substr(pos);
            if (rest.starts_with("<?")) {
                pos = After("?>", pos + 2);
            } else if (rest.starts_with("<!--")) {
                pos = After("-->", pos + 4);
            } else if (rest.starts_with("<![CDATA[")) {
                pos = Open.empty() ? kNotFound : After("]]>", pos + 9);
            } else if (rest.starts_with("<!DOCTYPE")) {
                pos = Index.Elements.empty() ? AfterDoctype(pos + 9) : kNotFound;
            } else if (rest.starts_with("<!")) {
                pos = kNotFound;
            } else if (rest.starts_with("</")) {
                pos = AfterEndTag(pos);
            } else {
                pos = AfterStartTag(pos);
            }
            if (pos == kNotFound) return std::nullopt;
        }
        if (!Open.empty() || Index.Elements.empty()) return std::nullopt;
        return std::move(Index);
    }

private:
    // The offset after the next `token` at or after `from`.
    std::size_t After(std::string_view token, std::size_t from) const {
        const std::size_t at = Text.find(token, from);
        return at == kNotFound ? kNotFound : at + token.size();
    }

    std::size_t SkipSpace(std::size_t pos) const {
        while (pos < Text.size() && IsSpace(Text[pos])) ++pos;
        return pos;
    }

    std::size_t NameEnd(std::size_t pos) const {
        while (pos < Text.size() && !IsSpace(Text[pos]) && Text[pos] != '/' && Text[pos] != '>' &&
               Text[pos] != '=') {
            ++pos;
        }
        return pos;
    }

    std::size_t AfterQuoted(std::size_t quote) const {
        const std::size_t close = Text.find(Text[quote], quote + 1);
        return close == kNotFound ? kNotFound : close + 1;
    }

    // The internal subset ends at the first ']' that is not inside a literal, a comment or a
    // processing instruction.
    std::size_t AfterInternalSubset(std::size_t pos) const {
        while (pos != kNotFound && pos < Text.size()) {
            const std::string_view rest = Text.substr(pos);
            if (rest.starts_with("<!--")) {
                pos = After("-->", pos + 4);
            } else if (rest.starts_with("<?")) {
                pos = After("?>", pos + 2);
            } else if (rest.front() == '"' || rest.front() == '\'') {
                pos = AfterQuoted(pos);
            } else if (rest.front() == ']') {
                return pos + 1;
            } else {
                ++pos;
            }
        }
        return kNotFound;
    }

    std::size_t AfterDoctype(std::size_t pos) const {
        while (pos != kNotFound && pos < Text.size()) {
            const char c = Text[pos];
            if (c == '"' || c == '\'') {
                pos = AfterQuoted(pos);
            } else if (c == '[') {
                pos = AfterInternalSubset(pos + 1);
            } else if (c == '>') {
                return pos + 1;
            } else {
                ++pos;
            }
        }
        return kNotFound;
    }

    std::size_t AfterStartTag(std::size_t pos) {
        // A second root element.
        if (Open.empty() && !Index.Elements.empty()) return kNotFound;
        MarkupElement element;
        element.TagBegin = pos;
        element.NameEnd = NameEnd(pos + 1);
        if (element.NameEnd == pos + 1) return kNotFound;
        element.AttributesEnd = element.NameEnd;
        for (std::size_t at = element.NameEnd;;) {
            const std::size_t next = SkipSpace(at);
            if (next >= Text.size()) return kNotFound;
            if (Text[next] == '>') {
                element.StartTagEnd = next + 1;
                break;
            }
            if (Text.substr(next).starts_with("/>")) {
                element.Empty = true;
                element.StartTagEnd = next + 2;
                break;
            }
            // Attributes are separated from the name and from each other by white space.
            if (next == at) return kNotFound;
            MarkupAttribute attribute;
            attribute.NameBegin = next;
            attribute.NameEnd = NameEnd(next);
            const std::size_t equals = SkipSpace(attribute.NameEnd);
            if (attribute.NameEnd == next || equals >= Text.size() || Text[equals] != '=') {
                return kNotFound;
            }
            const std::size_t quote = SkipSpace(equals + 1);
            if (quote >= Text.size() || (Text[quote] != '"' && Text[quote] != '\'')) {
                return kNotFound;
            }
            const std::size_t end = AfterQuoted(quote);
            if (end == kNotFound) return kNotFound;
            attribute.Quote = Text[quote];
            attribute.ValueBegin = quote + 1;
            attribute.ValueEnd = end - 1;
            element.Attributes.push_back(attribute);
            element.AttributesEnd = end;
            at = end;
        }
        const std::size_t number = Index.Elements.size();
        if (!Open.empty()) {
            element.Parent = Open.back();
            Index.Elements[Open.back()].Children.push_back(number);
        }
        if (element.Empty) {
            element.EndTagBegin = element.StartTagEnd;
            element.EndTagEnd = element.StartTagEnd;
        } else {
            Open.push_back(number);
        }
        const std::size_t end = element.StartTagEnd;
        Index.Elements.push_back(std::move(element));
        return end;
    }

    std::size_t AfterEndTag(std::size_t pos) {
        if (Open.empty()) return kNotFound;
        MarkupElement& element = Index.Elements[Open.back()];
        const std::size_t nameEnd = NameEnd(pos + 2);
        const std::string_view openName =
            Text.substr(element.TagBegin + 1, element.NameEnd - element.TagBegin - 1);
        const std::size_t close = SkipSpace(nameEnd);
        if (Text.substr(pos + 2, nameEnd - pos - 2) != openName || close >= Text.size() ||
            Text[close] != '>') {
            return kNotFound;
        }
        element.EndTagBegin = pos;
        element.EndTagEnd = close + 1;
        Open.pop_back();
        return close + 1;
    }

    std::string_view Text;
    MarkupIndex Index;
    std::vector<std::size_t> Open;  // the elements whose end tag is still to come
};

}  // namespace

std::optional<MarkupIndex> IndexMarkup(std::string_view text) { return Scanner(text).Run(); }

bool IsNamespaceDeclaration(std::string_view text, const MarkupAttribute& attribute) {
    const std::string_view name =
        text.substr(attribute.NameBegin, attribute.NameEnd - attribute.NameBegin);
    return name == "xmlns" || name.starts_with("xmlns:");
}

}  // namespace flanger::tool
