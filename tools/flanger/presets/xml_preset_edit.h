// Saving a preset into the text of an XML settings document, as a host that keeps its settings in
// such a file does: the preset's element is handed to the module as a settings node, and what the
// module changed in that node is written back into the document.
//
// The module only adds child elements and sets attributes, so the document is changed by
// splicing: a changed attribute value replaces the text between its quotes, a new attribute goes
// after the last one, new elements go in after the element's last content, indented like their
// neighbours. Every other byte of the file stays as it was: comments, the document type
// declaration, quoting, character references, line breaks, the byte order mark and the encoding.
//
// The only unit of the command that includes libxml2's headers: libxml2 decides whether a
// document is well-formed and gives the names and attribute values as a reader of the file sees
// them, in UTF-8; the markup index (xml_markup.h) says where they are written.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "flanger_settings_node.h"

namespace flanger::tool {

// Whether two element or attribute names are the same to the settings tree: ASCII letters
// compared without case, every other byte as it is.
bool SameXmlName(std::string_view a, std::string_view b);

// Saves the preset into the node it is given; false when that failed. The node is a mirror of
// the preset's element: its name and attributes, and one child per child element with its name
// and attributes, nothing deeper.
using PresetWriter = std::function<bool(SettingsNode& element)>;

// The whole text of the changed document, or why there is none.
struct XmlEdit {
    std::optional<std::string> Text;
    std::string Error;  // a phrase without the file's name; empty when Text is set
};

// `document` after `write` saved a preset into the element at `path` (names from the root
// element down, matched as SameXmlName matches them, the first match at each step). Elements of
// the path that are missing are created below the last one that exists; a document that does
// not exist yet (nullopt) is created with an XML declaration (UTF-8) and the whole path. Refused:
// a document that is not well-formed, one whose root element is not the path's first name, one
// in UTF-32 or EBCDIC, a new name with a namespace prefix not declared where it goes, and a new
// name that the document's encoding cannot hold.
XmlEdit SavePresetInXml(const std::optional<std::string>& document,
                        const std::vector<std::string>& path, const PresetWriter& write);

// The XML parser's complaint about `document` ("line 3: Opening and ending tag mismatch: ..."),
// or empty when it reads the document as well-formed, namespaces included. External entities
// and DTDs are never fetched.
std::string FindXmlProblem(std::string_view document);

}  // namespace flanger::tool
