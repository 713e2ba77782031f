// The text that the DOM layer reads off libxml2's tree: node and attribute names as written,
// attribute values with their entity references expanded, and the white-space rules for text.
#pragma once

#include <libxml/tree.h>

#include <cstddef>
#include <optional>
#include <string>

namespace flanger::platform {

// An element's name with its prefix ("p:local"); the DOM's name for other nodes ("#text",
// "#cdata-section", "#comment", a processing instruction's target, an entity's name).
std::string NodeName(xmlNodePtr node);

// "xmlns" or "xmlns:p".
std::string NamespaceDeclarationName(xmlNsPtr declaration);

// The attribute's name with its prefix ("p:local", "xml:space").
std::string AttributeName(xmlAttrPtr attribute);

// The limit on the text that entity references add to the attribute values of one document:
// 10 MB, libxml2's own limit for one text. A document above it is refused.
inline constexpr std::size_t kMaxEntityTextInAttributes = 10'000'000;

// Appends the text of an attribute value's node list to `value` (only counts when null),
// following references to entities declared in the document. Every byte and reference inside
// an entity's text is charged to `budget`; false, with the text incomplete, once it runs out.
//
// libxml2 leaves entity references in attribute values unexpanded when it parses without
// substituting entities (substitution would also load external entities), and its checks
// against exponential expansion do not see a value like "&big;&big;&big;...". The budget does.
bool AppendAttributeText(xmlDocPtr document, xmlNodePtr list, std::string* value,
                         std::size_t& budget);

// The value of an attribute or namespace declaration.
std::string AttributeValue(xmlDocPtr document, xmlAttrPtr attribute);
std::string NamespaceDeclarationValue(xmlNsPtr declaration);

// True when every attribute value of the document can be expanded within
// kMaxEntityTextInAttributes.
bool AttributeExpansionWithinLimit(xmlDocPtr document);

// True for a text node that holds only XML white space (space, tab, line feed, carriage
// return).
bool IsWhiteSpaceText(xmlNodePtr node);

// What the element's own xml:space attribute asks for: true for "preserve", false for
// "default", nothing when it has none (or another value), so that its parent's setting holds.
std::optional<bool> OwnSpacePreserve(xmlDocPtr document, xmlNodePtr element);

}  // namespace flanger::platform
