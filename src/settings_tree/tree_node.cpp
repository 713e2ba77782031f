// The links of a settings tree: appending, unlinking and destroying children.
//
// Hosts build trees of their own classes with this layout and link them with the module's
// nodes, so these operations touch nothing but the four links and the virtual destructor.
#include "flanger_settings_node.h"

namespace {

// True when `node` is `ancestor` or lies below it.
bool IsWithin(const TreeNode* node, const TreeNode* ancestor) {
    for (; node != nullptr; node = node->parent) {
        if (node == ancestor) {
            return true;
        }
    }
    return false;
}

}  // namespace

// The subtree goes without recursion, so a tree nested a million levels deep cannot exhaust the
// stack. The first child is unlinked and its own children take its place at the front of this
// node's list; every node deleted is then childless, and its destructor never descends.
//
// Order of destruction: pre-order, in list order. A node is destroyed before its children, each
// subtree completely before the next sibling: for root {A {A1, A2}, B} the order is A, A1, A2, B.
//
// Each child is unlinked here before it is deleted, rather than leaving that to its destructor:
// a host's node class may not unlink itself, and this keeps the loop linear however many
// children there are.
TreeNode::~TreeNode() {
    if (parent != nullptr) {
        parent->RemoveChild(this);
    }
    while (firstChild != nullptr) {
        TreeNode* const child = firstChild;
        TreeNode* following = child->nextSibling;
        if (child->firstChild != nullptr) {
            for (TreeNode* grandchild = child->firstChild; grandchild != nullptr;
                 grandchild = grandchild->nextSibling) {
                grandchild->parent = this;
            }
            child->lastChild->nextSibling = following;
            if (lastChild == child) {
                lastChild = child->lastChild;
            }
            following = child->firstChild;
            child->firstChild = nullptr;
            child->lastChild = nullptr;
        }
        firstChild = following;
        if (firstChild == nullptr) {
            lastChild = nullptr;
        }
        child->nextSibling = nullptr;
        child->parent = nullptr;
        delete child;
    }
}

// A node cannot become a child of itself or of a node below it: that would close a cycle that
// no destructor could end. Such an insert does nothing. Only a node with children can hold this
// node, so the walk up the ancestors is skipped for the common case of a new, childless node.
void TreeNode::InsertChild(TreeNode* child) {
    if (child == nullptr || child == this) {
        return;
    }
    if (child->firstChild != nullptr && IsWithin(this, child)) {
        return;
    }
    if (child->parent != nullptr) {
        child->parent->RemoveChild(child);
    }
    child->parent = this;
    child->nextSibling = nullptr;
    if (firstChild == nullptr) {
        firstChild = child;
    } else {
        lastChild->nextSibling = child;
    }
    lastChild = child;
}

void TreeNode::RemoveChild(TreeNode* child) {
    if (child == nullptr || firstChild == nullptr) {
        return;
    }
    TreeNode* previous = nullptr;
    for (TreeNode* current = firstChild; current != nullptr; current = current->nextSibling) {
        if (current == child) {
            if (previous == nullptr) {
                firstChild = child->nextSibling;
            } else {
                previous->nextSibling = child->nextSibling;
            }
            if (lastChild == child) {
                lastChild = previous;
            }
            child->nextSibling = nullptr;
            child->parent = nullptr;
            return;
        }
        previous = current;
    }
}
