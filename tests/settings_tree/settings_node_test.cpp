// Looking up children and attributes by name (first match, ASCII letters without case, every
// other byte as it is), replacing or appending attributes, and appending children.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "flanger_settings_node.h"

namespace {

struct NameCase {
    const char* label;
    std::vector<std::string> stored;  // names in list order
    const char* wanted;               // nullptr: a null name
    int found;                        // index of the expected match, -1 for none
};

const NameCase kNameCases[] = {
    {"exact", {"Depth"}, "Depth", 0},
    {"lower case finds mixed case", {"Depth"}, "depth", 0},
    {"upper case finds mixed case", {"Delay", "Depth"}, "DEPTH", 1},
    {"first of two differing in case", {"depth", "DEPTH"}, "Depth", 0},
    {"first of two equal names", {"Value", "Other", "Value"}, "value", 0},
    {"prefix of the stored name", {"Depth"}, "Dept", -1},
    {"stored name is a prefix", {"Depth"}, "Depths", -1},
    {"nothing stored", {}, "Depth", -1},
    {"empty name finds an empty one", {"Depth", "", "Speed"}, "", 1},
    {"empty name finds no named one", {"Depth"}, "", -1},
    {"null reads as empty", {"Depth", ""}, nullptr, 1},
    // Folding by setting bit 5 would pair these with [ \ ] ^ _ and @.
    {"brace is no bracket", {"a[b"}, "a{b", -1},
    {"backquote is no at sign", {"@"}, "`", -1},
    {"tilde is no caret", {"^"}, "~", -1},
    // UTF-8: only ASCII letters fold; a multibyte character matches only itself.
    {"non-ASCII letters keep their case", {"\xC3\x84nderung"}, "\xC3\xA4nderung", -1},
    {"non-ASCII bytes compared as they are", {"\xC3\x84nderung"}, "\xC3\x84NDERUNG", 0},
    {"byte above 0x7F never equals a letter", {"\xC1"}, "A", -1},
};

TEST(SettingsNodeTest, FindChildTakesTheFirstMatchIgnoringAsciiCase) {
    for (const NameCase& c : kNameCases) {
        SCOPED_TRACE(c.label);
        SettingsNode node;
        std::vector<SettingsNode*> children;
        for (const std::string& name : c.stored) children.push_back(node.AddChild(name.c_str()));
        EXPECT_EQ(node.FindChild(c.wanted), c.found < 0 ? nullptr : children[c.found]);
    }
}

TEST(SettingsNodeTest, AttributeLookupsTakeTheFirstMatchIgnoringAsciiCase) {
    for (const NameCase& c : kNameCases) {
        SCOPED_TRACE(c.label);
        SettingsNode node;
        for (std::size_t i = 0; i < c.stored.size(); ++i) {
            node.attributes.push_back({c.stored[i], "value " + std::to_string(i)});
        }
        EXPECT_EQ(node.FindAttribute(c.wanted), c.found < 0 ? nullptr : &node.attributes[c.found]);
        const SettingsNode& constNode = node;
        EXPECT_EQ(constNode.FindAttribute(c.wanted),
                  c.found < 0 ? nullptr : &node.attributes[c.found]);

        // Absent: false, and the output keeps whatever it held.
        std::string value = "untouched";
        EXPECT_EQ(node.GetAttribute(c.wanted, value), c.found >= 0);
        EXPECT_EQ(value, c.found < 0 ? "untouched" : "value " + std::to_string(c.found));
    }
}

TEST(SettingsNodeTest, AnEmptyValueIsFound) {
    SettingsNode node;
    node.attributes.push_back({"Value", ""});
    node.attributes.push_back({"value", "later"});
    std::string value = "untouched";
    EXPECT_TRUE(node.GetAttribute("VALUE", value));
    EXPECT_EQ(value, "");
}

using Attributes = std::vector<std::pair<std::string, std::string>>;

Attributes AttributesOf(const SettingsNode& node) {
    Attributes list;
    for (const SettingsAttribute& a : node.attributes) list.emplace_back(a.name, a.value);
    return list;
}

struct SetCase {
    const char* label;
    Attributes before;
    const char* name;
    const char* value;
    Attributes after;
    std::size_t holder;  // index of the attribute that now holds the value
};

TEST(SettingsNodeTest, SetAttributeReplacesTheFirstMatchInPlaceOrAppends) {
    const SetCase cases[] = {
        {"append to none", {}, "Value", "1", {{"Value", "1"}}, 0},
        {"append after others", {{"A", "1"}}, "B", "2", {{"A", "1"}, {"B", "2"}}, 1},
        {"replace keeps the stored case", {{"Value", "1"}}, "VALUE", "2", {{"Value", "2"}}, 0},
        {"replace keeps the position",
         {{"A", "1"}, {"value", "2"}, {"B", "3"}},
         "Value",
         "9",
         {{"A", "1"}, {"value", "9"}, {"B", "3"}},
         1},
        {"only the first of two is changed",
         {{"value", "1"}, {"Value", "2"}},
         "Value",
         "3",
         {{"value", "3"}, {"Value", "2"}},
         0},
        {"empty value", {{"A", "1"}}, "a", "", {{"A", ""}}, 0},
        {"null value reads as empty", {{"A", "1"}}, "A", nullptr, {{"A", ""}}, 0},
        {"appended name kept as given",
         {{"A", "1"}},
         "vaLue",
         "x",
         {{"A", "1"}, {"vaLue", "x"}},
         1},
    };
    for (const SetCase& c : cases) {
        SCOPED_TRACE(c.label);
        SettingsNode node;
        for (const auto& [name, value] : c.before) node.attributes.push_back({name, value});
        SettingsAttribute* const holder = node.SetAttribute(c.name, c.value);
        EXPECT_EQ(AttributesOf(node), c.after);
        ASSERT_LT(c.holder, node.attributes.size());
        EXPECT_EQ(holder, &node.attributes[c.holder]);
    }
}

// A value may be taken from the attribute it replaces.
TEST(SettingsNodeTest, SetAttributeAcceptsItsOwnValue) {
    SettingsNode node;
    node.attributes.push_back({"A", "some text longer than a short string buffer"});
    node.SetAttribute("A", node.attributes[0].value.c_str() + 5);
    EXPECT_EQ(AttributesOf(node), (Attributes{{"A", "text longer than a short string buffer"}}));
}

TEST(SettingsNodeTest, AddChildAppendsEvenWhenTheNameExists) {
    SettingsNode node;
    SettingsNode* const first = node.AddChild("Depth");
    SettingsNode* const other = node.AddChild("Delay");
    SettingsNode* const second = node.AddChild("Depth");
    ASSERT_NE(first, second);

    std::vector<TreeNode*> order;
    for (TreeNode* child = node.firstChild; child != nullptr; child = child->nextSibling) {
        order.push_back(child);
    }
    EXPECT_EQ(order, (std::vector<TreeNode*>{first, other, second}));
    EXPECT_EQ(node.lastChild, second);
    EXPECT_EQ(node.FindChild("depth"), first);

    // A new child: its name as given, nothing else.
    EXPECT_EQ(second->name, "Depth");
    EXPECT_EQ(second->parent, &node);
    EXPECT_TRUE(second->attributes.empty());
    EXPECT_EQ(second->firstChild, nullptr);
    EXPECT_EQ(second->extra, 0);
}

// Only direct children are searched.
TEST(SettingsNodeTest, FindChildDoesNotDescend) {
    SettingsNode node;
    node.AddChild("Preset")->AddChild("Depth");
    EXPECT_EQ(node.FindChild("Depth"), nullptr);
}

}  // namespace
