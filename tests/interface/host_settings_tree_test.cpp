// The settings tree as a host shares it with the loaded module: the host's own node classes
// (host_settings_node.h) play the host's tree. InitializeXml reads the preset from it,
// SavePresetXml links the module's nodes into it, and this file's code destroys the whole tree,
// the module's nodes through their virtual destructor.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "host_records.h"
#include "host_settings_node.h"
#include "plugin_fixture.h"

namespace host {
namespace {

using HostNode = ::SettingsNode;

// The node's children as "name[attr=value ...]" texts, read through this file's layout. The
// module's nodes are read the same way: only the layout is shared.
std::vector<std::string> ChildTexts(const HostNode& node) {
    std::vector<std::string> texts;
    const TreeNode* last = nullptr;
    for (const TreeNode* child = node.firstChild; child != nullptr; child = child->nextSibling) {
        EXPECT_EQ(child->parent, &node);
        const auto& n = *static_cast<const HostNode*>(child);
        std::string text = n.name + "[";
        for (std::size_t i = 0; i < n.attributes.size(); ++i) {
            if (i != 0) text += ' ';
            text += n.attributes[i].name + "=" + n.attributes[i].value;
        }
        texts.push_back(text + "]");
        EXPECT_EQ(n.extra, 0) << n.name;
        last = child;
    }
    EXPECT_EQ(node.lastChild, last);
    return texts;
}

class HostSettingsTreeTest : public PluginTest {
protected:
    void TearDown() override {
        PluginTest::TearDown();
        EXPECT_EQ(liveHostNodes, 0) << "host nodes outlived their tree";
    }

    // The record InitializeXml builds from the node, freed at the end of the test.
    Parameters Initialize(HostNode* node) {
        EffectSettings* record = nullptr;
        EXPECT_EQ(plugin->InitializeXml(node, &record), 1);
        if (record == nullptr) return {};
        records.push_back(record);
        return ParametersOf(*record);
    }
};

struct ReadCase {
    const char* label;
    void (*build)(HostNode&);
    Parameters expected;
};

TEST_F(HostSettingsTreeTest, InitializeXmlReadsTheHostsChildren) {
    const ReadCase cases[] = {
        {"no children", [](HostNode&) {}, kDefaultParameters},
        {"all six, names in any case, among other nodes",
         [](HostNode& n) {
             n.Add("");  // what a text or comment node becomes
             n.Add("depth", {{"value", "20"}});
             n.Add("Delay", {{"Min", "10"}, {"Value", "30"}});
             n.Add("WIDTH", {{"VALUE", "40"}});
             n.Add("Comment").Add("Depth", {{"Value", "99"}});
             n.Add("Sine", {{"Value", "1"}});
             n.Add("Feedback", {{"Value", "-25"}});
             n.Add("Speed", {{"Value", "60"}});
         },
         {20, 30, 40, 1, -25, 60}},
        {"first of two, lenient texts",
         [](HostNode& n) {
             n.Add("Depth", {{"Value", "12abc"}});
             n.Add("Depth", {{"Value", "44"}});
             n.Add("Speed", {{"Value", " 42"}});
             n.Add("Delay", {{"Value", "abc"}});
             n.Add("Width");
         },
         {12, 0, 50, 0, 10, 42}},
    };
    for (const ReadCase& c : cases) {
        SCOPED_TRACE(c.label);
        auto* const root = new HostNode("Flanger");
        c.build(*root);
        const int hostNodes = liveHostNodes;
        EXPECT_EQ(Initialize(root), c.expected);
        EXPECT_EQ(liveHostNodes, hostNodes);
        delete root;
    }
}

TEST_F(HostSettingsTreeTest, SavePresetXmlLinksItsNodesIntoTheHostsTree) {
    auto* const root = new HostNode("Effects");
    auto& preset = root->Add("Flanger", {{"Version", "1"}});
    preset.Add("Title", {{"Value", "Mine"}});
    preset.Add("speed", {{"value", "1"}});
    root->Add("After");

    EffectSettings* record = NewRecord({75, 50, 50, 1, -25, 10});
    ASSERT_NE(record, nullptr);
    ASSERT_EQ(plugin->SavePresetXml(&preset, record), 1);
    const std::vector<std::string> saved = {
        "Title[Value=Mine]", "speed[value=10]", "Depth[Value=75]",    "Delay[Value=50]",
        "Width[Value=50]",   "Sine[Value=1]",   "Feedback[Value=-25]"};
    EXPECT_EQ(ChildTexts(preset), saved);
    EXPECT_EQ(ChildTexts(*root), (std::vector<std::string>{"Flanger[Version=1]", "After[]"}));

    // Saving again reuses every child, the module's and the host's.
    std::vector<TreeNode*> children;
    for (TreeNode* c = preset.firstChild; c != nullptr; c = c->nextSibling) children.push_back(c);
    record->Depth = 20;
    ASSERT_EQ(plugin->SavePresetXml(&preset, record), 1);
    std::vector<TreeNode*> again;
    for (TreeNode* c = preset.firstChild; c != nullptr; c = c->nextSibling) again.push_back(c);
    EXPECT_EQ(again, children);
    EXPECT_EQ(ChildTexts(preset)[2], "Depth[Value=20]");
    EXPECT_EQ(Initialize(&preset), (Parameters{20, 50, 50, 1, -25, 10}));

    // One of the module's nodes destroyed by the host on its own: it takes itself out of the
    // host's list.
    delete children[3];
    EXPECT_EQ(ChildTexts(preset), (std::vector<std::string>{
                                      "Title[Value=Mine]", "speed[value=10]", "Depth[Value=20]",
                                      "Width[Value=50]", "Sine[Value=1]", "Feedback[Value=-25]"}));
    // And the last one, so the host's lastChild has to move back.
    delete children[6];
    EXPECT_EQ(ChildTexts(preset).back(), "Sine[Value=1]");

    // The rest goes with the host's root, through this file's destructor.
    delete root;
}

// A node from the host's tree that is not its root: the module's children go with it when the
// host destroys that subtree, and the rest of the host's tree stays intact.
TEST_F(HostSettingsTreeTest, TheHostDestroysASubtreeWithTheModulesNodes) {
    auto* const root = new HostNode("Effects");
    auto& before = root->Add("Before");
    auto* const preset = &root->Add("Flanger");
    auto& after = root->Add("After");
    EffectSettings* record = NewRecord(kDefaultParameters);
    ASSERT_NE(record, nullptr);
    ASSERT_EQ(plugin->SavePresetXml(preset, record), 1);
    EXPECT_EQ(ChildTexts(*preset).size(), 6u);

    delete preset;
    EXPECT_EQ(ChildTexts(*root), (std::vector<std::string>{"Before[]", "After[]"}));
    EXPECT_EQ(before.nextSibling, &after);
    delete root;
}

}  // namespace
}  // namespace host
