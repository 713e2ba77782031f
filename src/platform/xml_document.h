// Read access to XML documents through the platform's DOM parser: load one file, take its root
// element, walk names, attributes and child nodes. Nothing is ever written or changed.
//
// The settings tree reads files through this layer only. On Linux libxml2 stands behind it
// (platform/posix); the Windows build puts the platform's COM XML parser behind the same
// classes. Text comes out as 8-bit strings: UTF-8 on Linux, the ANSI code page on Windows.
//
// Handles are cheap to copy and keep their document alive: a node, list, map or attribute stays
// valid after the XmlDocument it came from is gone or has loaded another file. Copies of a list
// or map share its position. A default-constructed handle is empty; calling anything but
// IsEmpty through it raises XmlParserError with kXmlStatusPointer.
//
// A failure of the parser as a component (it cannot be created, it runs out of memory, a call
// through an empty handle) is raised as XmlParserError; an unsuccessful load is not a failure but
// a false result.
//
// Threading: a document and the handles taken from it belong to one thread at a time.
#pragma once

#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>

namespace flanger::platform {

// Status codes, with the values of the Windows HRESULTs.
inline constexpr std::int32_t kXmlStatusPointer = static_cast<std::int32_t>(0x80004003u);
inline constexpr std::int32_t kXmlStatusFail = static_cast<std::int32_t>(0x80004005u);
inline constexpr std::int32_t kXmlStatusOutOfMemory = static_cast<std::int32_t>(0x8007000Eu);

class XmlParserError : public std::runtime_error {
public:
    // `description` is what what() returns: the operation that failed, for a person to read.
    XmlParserError(std::int32_t status, const std::string& description)
        : std::runtime_error(description), status_(status) {}
    std::int32_t Status() const { return status_; }

private:
    std::int32_t status_;
};

// The implementation's side of each handle; every one of them shares the loaded document.
struct XmlDocumentState;
struct XmlNodeState;
struct XmlNodeListState;
struct XmlAttributeMapState;
struct XmlAttributeState;

class XmlAttribute {
public:
    XmlAttribute() = default;
    bool IsEmpty() const;
    std::string Name() const;   // as written, with its prefix: "xmlns:p", "p:local", "xml:lang"
    std::string Value() const;  // normalised, entity references expanded

private:
    friend class XmlAttributeMap;
    std::shared_ptr<const XmlAttributeState> state_;
};

// The attributes of an element, walked from the start, in the parser's order. On Linux the
// namespace declarations (xmlns, xmlns:p) come first, in the order written, then the other
// attributes in document order (libxml2 keeps the two apart); on Windows MSXML's map order.
// Only attributes written in the file are listed: no default value declared in a DTD is added.
class XmlAttributeMap {
public:
    XmlAttributeMap() = default;
    bool IsEmpty() const;
    // The next attribute, or an empty handle after the last.
    XmlAttribute NextNode();

private:
    friend class XmlNode;
    std::shared_ptr<XmlAttributeMapState> state_;
};

class XmlNodeList;

class XmlNode {
public:
    XmlNode() = default;
    bool IsEmpty() const;
    bool IsElement() const;
    // An element's name as written, with its prefix. Other nodes have the DOM's names: "#text",
    // "#cdata-section", "#comment", a processing instruction's target, an entity's name.
    std::string Name() const;
    // The element's attributes; for any other node a map without entries.
    XmlAttributeMap Attributes() const;
    // The child nodes of every kind in document order: elements, text, CDATA sections,
    // comments, processing instructions and references to entities declared in the document.
    // Text that is only white space makes no node unless xml:space="preserve" is in force. For
    // anything but an element, a list without entries.
    XmlNodeList ChildNodes() const;

private:
    friend class XmlNodeList;
    friend class XmlDocument;
    std::shared_ptr<const XmlNodeState> state_;
};

class XmlNodeList {
public:
    XmlNodeList() = default;
    bool IsEmpty() const;
    // The next child, or an empty handle after the last.
    XmlNode NextNode();

private:
    friend class XmlNode;
    std::shared_ptr<XmlNodeListState> state_;
};

class XmlDocument {
public:
    // A new document without content. Throws XmlParserError when the parser cannot be created.
    static XmlDocument Create();

    // Loads the regular file at `path` (relative to the current directory). True when it was
    // read and is well-formed, namespaces included; false, leaving the document without
    // content, for a null path and a missing, unreadable, empty, not well-formed or hostile
    // file. External entities and DTDs are never fetched; entity expansion and nesting depth are
    // bounded. Throws XmlParserError when the parser fails (out of memory).
    bool Load(const char* path);

    // The root element, or an empty handle when there is none.
    XmlNode DocumentElement() const;

private:
    std::shared_ptr<XmlDocumentState> state_;
};

}  // namespace flanger::platform
