// Where the elements of an XML document sit in its text, to the byte.
//
// save-preset changes a settings file by splicing new text into the old: a changed attribute
// value replaces the bytes between its quotes, new elements go in before an end tag. Everything
// else, down to quoting, line breaks, character references and the layout inside tags, stays as
// the file had it, which no DOM writer promises. The index is built over text that an XML
// parser has already accepted as well-formed, so it only follows the markup and does not judge
// it; it still refuses what it cannot follow rather than guess.
//
// The text must be in an encoding that leaves ASCII bytes as ASCII (UTF-8 after conversion).
#pragma once

#include <cstddef>
#include <optional>
#include <string_view>
#include <vector>

namespace flanger::tool {

// Byte offsets into the indexed text.
struct MarkupAttribute {
    std::size_t NameBegin = 0;
    std::size_t NameEnd = 0;
    std::size_t ValueBegin = 0;  // after the opening quote
    std::size_t ValueEnd = 0;    // at the closing quote
    char Quote = '"';
};

struct MarkupElement {
    static constexpr std::size_t kNoParent = static_cast<std::size_t>(-1);

    std::size_t Parent = kNoParent;
    std::size_t TagBegin = 0;  // the '<' of the start tag; the name follows it
    std::size_t NameEnd = 0;
    std::size_t AttributesEnd = 0;  // after the last attribute's closing quote, or the name
    std::size_t StartTagEnd = 0;    // after the start tag's '>'
    bool Empty = false;             // written as an empty-element tag, "<name/>"
    std::size_t EndTagBegin = 0;    // the '<' of "</name>"; StartTagEnd for an empty element
    std::size_t EndTagEnd = 0;      // after the end tag's '>'; StartTagEnd for an empty element
    // Every attribute in the order written, namespace declarations included.
    std::vector<MarkupAttribute> Attributes;
    std::vector<std::size_t> Children;  // indices of the child elements, in document order
};

struct MarkupIndex {
    std::vector<MarkupElement> Elements;  // in document order; the root element first
};

// The elements of `text`, skipping a UTF-8 byte order mark, the XML declaration, comments,
// processing instructions, CDATA sections and the document type declaration with its internal
// subset. Nullopt when the text cannot be followed: no root element, a second root, a tag left
// open or closed under another name, or a construct cut off by the end of the text.
std::optional<MarkupIndex> IndexMarkup(std::string_view text);

// Whether the attribute is a namespace declaration (xmlns or xmlns:prefix), which a DOM keeps
// apart from the element's attributes.
bool IsNamespaceDeclaration(std::string_view text, const MarkupAttribute& attribute);

}  // namespace flanger::tool
