// A host's settings tree, written from the documented layout alone (four links and a virtual
// destructor, then the attribute array, the name and `extra`): the tree a host shares with the
// loaded module through InitializeXml and SavePresetXml.
//
// Nothing of the module's settings tree is included: a difference in layout or in the
// destructor's slot shows as wrong values or as a sanitizer report, not as a compile error.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

// The classes carry the documented names, in the global namespace, as a host that writes them
// from the documentation does. The layout alone makes the module work with them; the names
// matter to the sanitizer build, whose dynamic-type check identifies classes across modules by
// their mangled names.

// The links of the host's tree. As the documented destructor does, a node takes itself out of
// its parent's list, then destroys its children in list order through the virtual destructor,
// reading each one's next sibling first; each child unlinks itself as it goes. Recursive, as a
// host's simple tree may be: the trees here are shallow.
class TreeNode {
public:
    TreeNode* firstChild = nullptr;
    TreeNode* nextSibling = nullptr;
    TreeNode* parent = nullptr;
    TreeNode* lastChild = nullptr;

    TreeNode() = default;
    TreeNode(const TreeNode&) = delete;
    TreeNode& operator=(const TreeNode&) = delete;

    virtual ~TreeNode() {
        if (parent != nullptr) parent->Unlink(this);
        for (TreeNode* child = firstChild; child != nullptr;) {
            TreeNode* const next = child->nextSibling;
            delete child;
            child = next;
        }
    }

    void Append(TreeNode* child) {
        child->parent = this;
        if (firstChild == nullptr) {
            firstChild = child;
        } else {
            lastChild->nextSibling = child;
        }
        lastChild = child;
    }

private:
    void Unlink(TreeNode* child) {
        TreeNode* previous = nullptr;
        for (TreeNode* c = firstChild; c != nullptr; previous = c, c = c->nextSibling) {
            if (c != child) continue;
            (previous != nullptr ? previous->nextSibling : firstChild) = c->nextSibling;
            if (lastChild == c) lastChild = previous;
            c->nextSibling = nullptr;
            c->parent = nullptr;
            return;
        }
    }
};

struct SettingsAttribute {
    std::string name;
    std::string value;
};

// Counts the host's own nodes that are alive, so a test sees that destroying the root took
// every one of them.
inline int liveHostNodes = 0;

class SettingsNode : public TreeNode {
public:
    std::vector<SettingsAttribute> attributes;
    std::string name;
    std::int32_t extra = 0;

    explicit SettingsNode(std::string nodeName, std::vector<SettingsAttribute> nodeAttributes = {})
        : attributes(std::move(nodeAttributes)), name(std::move(nodeName)) {
        ++liveHostNodes;
    }
    ~SettingsNode() override { --liveHostNodes; }

    SettingsNode& Add(std::string childName, std::vector<SettingsAttribute> childAttributes = {}) {
        auto* const child = new SettingsNode(std::move(childName), std::move(childAttributes));
        Append(child);
        return *child;
    }
};
