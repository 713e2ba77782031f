// The links of a settings tree: appending, moving and unlinking children, and destruction that
// unlinks a node and takes its whole subtree with it, in pre-order and without recursion.
#include <gtest/gtest.h>

#include <cstddef>
#include <map>
#include <string>
#include <vector>

#include "flanger_settings_node.h"

namespace {

// A node that logs its name when destroyed and leaves the pool of live nodes, so a test sees
// which nodes a destruction took and in what order.
class TrackedNode : public SettingsNode {
public:
    TrackedNode(std::string nodeName, std::vector<std::string>& log,
                std::map<std::string, TrackedNode*>& live)
        : log_(log), live_(live) {
        name = std::move(nodeName);
        live_[name] = this;
    }
    ~TrackedNode() override {
        log_.push_back(name);
        live_.erase(name);
    }

private:
    std::vector<std::string>& log_;
    std::map<std::string, TrackedNode*>& live_;
};

std::string NameOf(const TreeNode* node) { return static_cast<const SettingsNode*>(node)->name; }

// "name" or "name{child child{grandchild}}".
std::string Describe(const TreeNode* node) {
    std::string text = NameOf(node);
    if (node->firstChild != nullptr) {
        text += '{';
        for (const TreeNode* child = node->firstChild; child != nullptr;
             child = child->nextSibling) {
            if (child != node->firstChild) text += ' ';
            text += Describe(child);
        }
        text += '}';
    }
    return text;
}

// The links agree: each child points back at its parent, lastChild ends the list, and a node
// without children has neither a first nor a last child.
void ExpectConsistentLinks(const TreeNode* node) {
    const TreeNode* last = nullptr;
    for (const TreeNode* child = node->firstChild; child != nullptr; child = child->nextSibling) {
        EXPECT_EQ(child->parent, node) << NameOf(child) << " under " << NameOf(node);
        ExpectConsistentLinks(child);
        last = child;
    }
    EXPECT_EQ(node->lastChild, last) << "lastChild of " << NameOf(node);
}

enum class Op { Insert, Remove, Destroy };

struct Step {
    Op op;
    const char* parent;  // Insert, Remove: the node called; nullptr stands for a null argument
    const char* node;    // the child argument, or the node destroyed; nullptr for null
};

struct LinkCase {
    const char* label;
    std::vector<Step> steps;
    // Every root (a node without parent) in pool order, described with its subtree.
    std::string trees;
    // The nodes destroyed by the steps, in order.
    std::string destroyed;
};

std::string Join(const std::vector<std::string>& names) {
    std::string text;
    for (const std::string& name : names) {
        if (!text.empty()) text += ' ';
        text += name;
    }
    return text;
}

constexpr const char* kPool[] = {"root", "other", "a", "b", "c", "d"};

TEST(TreeNodeTest, LinksFollowInsertRemoveAndDestroy) {
    using enum Op;
    const LinkCase cases[] = {
        {"nothing linked", {}, "root other a b c d", ""},
        {"children appended in order",
         {{Insert, "root", "a"}, {Insert, "root", "b"}, {Insert, "root", "c"}},
         "root{a b c} other d",
         ""},
        {"null inserts nothing",
         {{Insert, "root", "a"}, {Insert, "root", nullptr}},
         "root{a} other b c d",
         ""},
        {"a node cannot be its own child", {{Insert, "a", "a"}}, "root other a b c d", ""},
        {"an ancestor cannot become a child",
         {{Insert, "root", "a"}, {Insert, "a", "b"}, {Insert, "b", "root"}, {Insert, "b", "a"}},
         "root{a{b}} other c d",
         ""},
        {"insert moves from the old parent",
         {{Insert, "root", "a"},
          {Insert, "root", "b"},
          {Insert, "root", "c"},
          {Insert, "other", "b"}},
         "root{a c} other{b} d",
         ""},
        {"insert moves a whole subtree",
         {{Insert, "root", "a"}, {Insert, "a", "b"}, {Insert, "b", "c"}, {Insert, "other", "b"}},
         "root{a} other{b{c}} d",
         ""},
        {"inserting a child again makes it the last",
         {{Insert, "root", "a"},
          {Insert, "root", "b"},
          {Insert, "root", "c"},
          {Insert, "root", "a"}},
         "root{b c a} other d",
         ""},
        {"remove the first",
         {{Insert, "root", "a"},
          {Insert, "root", "b"},
          {Insert, "root", "c"},
          {Remove, "root", "a"}},
         "root{b c} other a d",
         ""},
        {"remove the middle",
         {{Insert, "root", "a"},
          {Insert, "root", "b"},
          {Insert, "root", "c"},
          {Remove, "root", "b"}},
         "root{a c} other b d",
         ""},
        {"remove the last makes the previous one last",
         {{Insert, "root", "a"},
          {Insert, "root", "b"},
          {Insert, "root", "c"},
          {Remove, "root", "c"},
          {Insert, "root", "d"}},
         "root{a b d} other c",
         ""},
        {"remove the only child",
         {{Insert, "root", "a"}, {Remove, "root", "a"}},
         "root other a b c d",
         ""},
        {"remove leaves a grandchild alone",
         {{Insert, "root", "a"}, {Insert, "a", "b"}, {Remove, "root", "b"}},
         "root{a{b}} other c d",
         ""},
        {"remove leaves another parent's child alone",
         {{Insert, "root", "a"}, {Insert, "other", "b"}, {Remove, "root", "b"}},
         "root{a} other{b} c d",
         ""},
        {"remove of null",
         {{Insert, "root", "a"}, {Remove, "root", nullptr}},
         "root{a} other b c d",
         ""},
        {"remove from a node without children", {{Remove, "root", "a"}}, "root other a b c d", ""},
        {"destroying the first child unlinks it",
         {{Insert, "root", "a"}, {Insert, "root", "b"}, {Insert, "root", "c"}, {Destroy, "", "a"}},
         "root{b c} other d",
         "a"},
        {"destroying the middle child unlinks it",
         {{Insert, "root", "a"}, {Insert, "root", "b"}, {Insert, "root", "c"}, {Destroy, "", "b"}},
         "root{a c} other d",
         "b"},
        {"destroying the last child unlinks it",
         {{Insert, "root", "a"},
          {Insert, "root", "b"},
          {Insert, "root", "c"},
          {Destroy, "", "c"},
          {Insert, "root", "d"}},
         "root{a b d} other",
         "c"},
        {"destroying the only child empties the list",
         {{Insert, "root", "a"}, {Destroy, "", "a"}},
         "root other b c d",
         "a"},
        {"destroying a child takes its subtree, node before children",
         {{Insert, "root", "a"},
          {Insert, "a", "b"},
          {Insert, "a", "c"},
          {Insert, "b", "d"},
          {Insert, "root", "other"},
          {Destroy, "", "a"}},
         "root{other}",
         "a b d c"},
        {"destroying a root takes the tree in pre-order",
         {{Insert, "root", "a"},
          {Insert, "a", "b"},
          {Insert, "b", "c"},
          {Insert, "root", "d"},
          {Insert, "a", "other"},
          {Destroy, "", "root"}},
         "",
         "root a b c other d"},
    };
    for (const LinkCase& c : cases) {
        SCOPED_TRACE(c.label);
        std::vector<std::string> log;
        std::map<std::string, TrackedNode*> live;
        for (const char* name : kPool) new TrackedNode(name, log, live);
        auto node = [&](const char* name) -> TrackedNode* {
            if (name == nullptr) return nullptr;
            const auto found = live.find(name);
            if (found == live.end()) {
                ADD_FAILURE() << name << " is not alive";
                return nullptr;
            }
            return found->second;
        };

        for (const Step& step : c.steps) {
            switch (step.op) {
                case Op::Insert:
                    node(step.parent)->InsertChild(node(step.node));
                    break;
                case Op::Remove:
                    node(step.parent)->RemoveChild(node(step.node));
                    break;
                case Op::Destroy:
                    delete node(step.node);
                    break;
            }
        }

        std::vector<std::string> trees;
        std::vector<TrackedNode*> roots;
        for (const char* name : kPool) {
            if (TrackedNode* const n = live.count(name) != 0 ? live[name] : nullptr;
                n != nullptr && n->parent == nullptr) {
                ExpectConsistentLinks(n);
                trees.push_back(Describe(n));
                roots.push_back(n);
            }
        }
        EXPECT_EQ(Join(trees), c.trees);
        EXPECT_EQ(Join(log), c.destroyed);

        // Destroying the remaining roots takes every node that is left, each exactly once.
        for (TrackedNode* root : roots) delete root;
        EXPECT_TRUE(live.empty()) << live.size() << " nodes outlived their roots";
        EXPECT_EQ(log.size(), std::size(kPool));
    }
}

// Counts destructions; holds nothing but the links, so a million of them stay small.
class CountedNode : public TreeNode {
public:
    explicit CountedNode(std::size_t& destroyed) : destroyed_(destroyed) {}
    ~CountedNode() override { ++destroyed_; }

private:
    std::size_t& destroyed_;
};

constexpr std::size_t kMillion = 1'000'000;

// A recursive destructor would need a stack frame per level; a million levels exceed any
// thread's stack, under the sanitizers by far.
TEST(TreeNodeTest, MillionDeepChainIsDestroyedWithoutRecursion) {
    std::size_t destroyed = 0;
    auto* const root = new CountedNode(destroyed);
    TreeNode* deepest = root;
    for (std::size_t i = 0; i < kMillion; ++i) {
        auto* const child = new CountedNode(destroyed);
        deepest->InsertChild(child);
        deepest = child;
    }
    delete root;
    EXPECT_EQ(destroyed, kMillion + 1);
}

TEST(TreeNodeTest, MillionDeepChainCutInTheMiddle) {
    std::size_t destroyed = 0;
    auto* const root = new CountedNode(destroyed);
    TreeNode* deepest = root;
    TreeNode* middle = nullptr;
    for (std::size_t i = 0; i < kMillion; ++i) {
        auto* const child = new CountedNode(destroyed);
        deepest->InsertChild(child);
        deepest = child;
        if (i == kMillion / 2) middle = child;
    }
    TreeNode* const middleParent = middle->parent;
    delete middle;
    EXPECT_EQ(destroyed, kMillion - kMillion / 2);
    EXPECT_EQ(middleParent->firstChild, nullptr);
    EXPECT_EQ(middleParent->lastChild, nullptr);
    delete root;
    EXPECT_EQ(destroyed, kMillion + 1);
}

// Siblings are destroyed one after another, not through one another: a destructor that went on
// to the next sibling from inside the previous one would nest a million frames here too.
TEST(TreeNodeTest, MillionChildrenAreDestroyed) {
    std::size_t destroyed = 0;
    auto* const root = new CountedNode(destroyed);
    for (std::size_t i = 0; i < kMillion; ++i) root->InsertChild(new CountedNode(destroyed));
    delete root;
    EXPECT_EQ(destroyed, kMillion + 1);
}

}  // namespace
