// flanger_settings_node.h - the settings tree that a host and the module share.
//
// A host keeps its settings as a tree of SettingsNode objects, one per XML element, and hands a
// node to InitializeXml and SavePresetXml. The module reads the preset from that node's children
// and links new children into it; they belong to the host's tree from then on and are destroyed
// with it, through the virtual destructor.
//
// The layout is the binding part: TreeNode's four links, then SettingsNode's attribute array,
// name and `extra`, with one virtual function in all (the destructor). A host may use its own
// class of exactly this layout (std::vector and std::string of the same standard library); the
// member functions below are the module's and need not be linked by a host.
//
// Text is 8-bit: UTF-8 on Linux, the ANSI code page on Windows. Names are compared without
// regard to ASCII letter case (other characters as they are); every lookup takes the first match
// in list order and every update changes the first match. A null name or value reads as the
// empty text.
//
// Threading: a tree must not be used from two threads at once.
#ifndef FLANGER_SETTINGS_NODE_H
#define FLANGER_SETTINGS_NODE_H

#include <cstdint>
#include <string>
#include <vector>

namespace flanger::platform {
class XmlNode;
}

// The links of the tree. A node owns its children.
class TreeNode {
public:
    TreeNode* firstChild = nullptr;   // first child, null when there are none
    TreeNode* nextSibling = nullptr;  // next child of the same parent, null for the last
    TreeNode* parent = nullptr;       // the node whose list holds this one, null for a root
    TreeNode* lastChild = nullptr;    // last child, null when there are none

    TreeNode() = default;
    TreeNode(const TreeNode&) = delete;
    TreeNode& operator=(const TreeNode&) = delete;

    // Takes the node out of its parent's list and destroys the whole subtree through the
    // virtual destructor, however deep, without recursion: in pre-order, each node before its
    // children and each subtree before the next sibling.
    virtual ~TreeNode();

    TreeNode* FirstChild() const { return firstChild; }
    TreeNode* NextSibling() const { return nextSibling; }

    // Makes `child` the last child, taking it out of its old parent's list first. Null, this
    // node itself or one of its ancestors (which would close a cycle): nothing.
    void InsertChild(TreeNode* child);

    // Takes `child` out of this node's list (clearing its nextSibling and parent). A node that is
    // not a direct child, or null, is left alone.
    void RemoveChild(TreeNode* child);
};

// One attribute of an element.
struct SettingsAttribute {
    std::string name;   // as stored
    std::string value;  // may be empty
};

// One XML element: its name, its attributes in order and, as TreeNode children, its child nodes.
// A child that stands for anything other than an element (text, comment, ...) has no name, no
// attributes and no children.
class SettingsNode : public TreeNode {
public:
    std::vector<SettingsAttribute> attributes;
    std::string name;
    std::int32_t extra = 0;  // set to 0 and never read by the module

    SettingsNode() = default;
    ~SettingsNode() override;

    // Reads the XML file at `path` (relative to the current directory) and fills this node with
    // its root element. False, with this node unchanged, when the file is missing, unreadable,
    // not well-formed, has no root element or is refused as hostile (too deep, an entity
    // expansion bomb). A failure of the XML parser as a component (it cannot be created, out of
    // memory) is raised as flanger::platform::XmlParserError.
    bool LoadFromFile(const char* path);

    // Fills this node and its subtree from a DOM element; anything that is not an element leaves
    // the node unchanged.
    void ReadElement(const flanger::platform::XmlNode& element);

    // Copies the value of the first attribute called `attributeName` into `value` and returns
    // true; false with `value` untouched when there is none.
    bool GetAttribute(const char* attributeName, std::string& value) const;
    // The first child called `childName`, or null. The children are taken to be SettingsNodes
    // (or a host's class of the same layout).
    SettingsNode* FindChild(const char* childName) const;
    // Appends a new child called `childName`, even when one of that name exists; owned by this
    // node from then on.
    SettingsNode* AddChild(const char* childName);
    // The first attribute called `attributeName`, or null.
    SettingsAttribute* FindAttribute(const char* attributeName);
    const SettingsAttribute* FindAttribute(const char* attributeName) const;
    // Replaces the value of the first attribute called `attributeName` (keeping its place and
    // the case of its stored name) or appends a new one.
    SettingsAttribute* SetAttribute(const char* attributeName, const char* value);

    // The attribute layer: a typed value in one attribute of this node. Getters return false (0
    // for a block) and leave the variable untouched when the attribute is absent or the pointer
    // null. Texts convert as atoi and atof convert them: leading white space skipped, the
    // longest leading number taken, 0 without one ("12abc" gives 12, "abc" 0). Integer digits
    // accumulate modulo 2^32, so both "-1" and "4294967295" give the bits 0xFFFFFFFF; numbers
    // convert whole, however long, in the C runtime's locale.
    bool GetIntAttribute(const char* attributeName, std::int32_t* value) const;
    bool GetFloatAttribute(const char* attributeName, float* value) const;
    bool GetDoubleAttribute(const char* attributeName, double* value) const;
    // Decodes hexadecimal digit pairs into the first min(length / 2, capacity) bytes of
    // `buffer` and returns that count; the rest of the buffer is not written and an odd final
    // digit is ignored. Either case of A to F is accepted; any other character stands for the
    // low four bits of its code minus 55, without an error.
    std::uint32_t GetBlockAttribute(const char* attributeName, std::uint8_t* buffer,
                                    std::uint32_t capacity) const;
    // Setters write the text form with SetAttribute's replace-or-append: integers as signed
    // decimal, float and double as "%g" of the value as double (six significant digits), a block
    // as two upper-case hexadecimal digits per byte, high half first (empty for size 0). A null
    // block with a non-zero size writes nothing.
    void SetIntAttribute(const char* attributeName, std::int32_t value);
    void SetFloatAttribute(const char* attributeName, float value);
    void SetDoubleAttribute(const char* attributeName, double value);
    void SetBlockAttribute(const char* attributeName, const std::uint8_t* data, std::uint32_t size);

    // The value layer: the attribute "Value" of the first child called `childName`, converted
    // as by the attribute layer. Readers return false (0) and leave the variable untouched when
    // the child or the attribute is absent; writers add the child at the end when there is none
    // and set "Value" on it. "DWORD" values are written as their 32 bits taken as signed.
    bool ReadDwordValue(const char* childName, std::uint32_t* value) const;
    bool ReadIntValue(const char* childName, std::int32_t* value) const;
    bool ReadFloatValue(const char* childName, float* value) const;
    bool ReadDoubleValue(const char* childName, double* value) const;
    bool ReadStringValue(const char* childName, std::string* value) const;
    std::uint32_t ReadBlockValue(const char* childName, std::uint8_t* buffer,
                                 std::uint32_t capacity) const;
    void WriteDwordValue(const char* childName, std::uint32_t value);
    void WriteIntValue(const char* childName, std::int32_t value);
    void WriteFloatValue(const char* childName, float value);
    void WriteDoubleValue(const char* childName, double value);
    void WriteStringValue(const char* childName, const std::string& value);
    void WriteBlockValue(const char* childName, const std::uint8_t* data, std::uint32_t size);
};

#endif  // FLANGER_SETTINGS_NODE_H
