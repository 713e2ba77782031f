// Reading an XML file into a settings tree: LoadFromFile and ReadElement over the DOM access
// layer (platform/xml_document.h).
//
// A failure of the XML parser as a component (XmlParserError: it cannot be created, it runs out
// of memory) is not caught here and not turned into false: LoadFromFile's callers decide. The
// start-up language lookup catches it and keeps its built-in resources; the flanger command
// reports it; an export lets no exception through to a host. Whatever happens, the node is
// either filled completely or left as it was: the subtree is built under a node of its own and
// moved into this one only once it is complete.
#include <iterator>
#include <memory>
#include <utility>
#include <vector>

#include "flanger_settings_node.h"
#include "platform/xml_document.h"

namespace {

using flanger::platform::XmlAttributeMap;
using flanger::platform::XmlNode;
using flanger::platform::XmlNodeList;

// Gives `node` the element's name and attributes and returns the element's child list, whose
// walk is left to the caller.
XmlNodeList ReadNameAndAttributes(SettingsNode& node, const XmlNode& element) {
    node.name = element.Name();
    node.extra = 0;
    XmlAttributeMap attributes = element.Attributes();
    if (!attributes.IsEmpty()) {
        for (auto attribute = attributes.NextNode(); !attribute.IsEmpty();
             attribute = attributes.NextNode()) {
            // Value, then name: the order in which the Windows build asks its parser.
            std::string value = attribute.Value();
            std::string name = attribute.Name();
            node.attributes.push_back({std::move(name), std::move(value)});
        }
    }
    return element.ChildNodes();
}

}  // namespace

bool SettingsNode::LoadFromFile(const char* path) {
    auto document = flanger::platform::XmlDocument::Create();
    if (!document.Load(path)) {
        return false;
    }
    const XmlNode root = document.DocumentElement();
    if (root.IsEmpty()) {
        return false;
    }
    ReadElement(root);
    return true;
}

// Walks the element's subtree with an explicit stack of the child lists still being read, one
// per open element, so that the depth of a document never reaches the call stack.
void SettingsNode::ReadElement(const XmlNode& element) {
    if (element.IsEmpty() || !element.IsElement()) {
        return;
    }
    // Built apart from this node, so that an exception leaves this node untouched; the
    // destructor of `filled` takes whatever was built with it.
    SettingsNode filled;
    struct OpenElement {
        SettingsNode* node;
        XmlNodeList children;
    };
    std::vector<OpenElement> open;
    open.push_back({&filled, ReadNameAndAttributes(filled, element)});
    while (!open.empty()) {
        XmlNodeList& children = open.back().children;
        XmlNode next = children.IsEmpty() ? XmlNode() : children.NextNode();
        if (next.IsEmpty()) {
            open.pop_back();
            continue;
        }
        // Anything that is not an element (text, CDATA, a comment, a processing instruction,
        // an entity reference) stays an empty node.
        auto child = std::make_unique<SettingsNode>();
        SettingsNode* const added = child.get();
        open.back().node->InsertChild(child.release());
        if (next.IsElement()) {
            XmlNodeList grandchildren = ReadNameAndAttributes(*added, next);
            open.push_back({added, std::move(grandchildren)});
        }
    }

    // The attributes go first: appending them is the one step here that can fail, and it
    // either succeeds whole or leaves the list as it was.
    attributes.insert(attributes.end(), std::make_move_iterator(filled.attributes.begin()),
                      std::make_move_iterator(filled.attributes.end()));
    name = std::move(filled.name);
    extra = 0;
    while (TreeNode* const child = filled.FirstChild()) {
        InsertChild(child);
    }
}
