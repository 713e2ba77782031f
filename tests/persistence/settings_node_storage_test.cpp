// Parameter lists under a settings node, through the load/save driver and the module's
// storages: the exact tree a save leaves, what loads from trees written by hand, and what
// damaged or hostile blocks load as.
#include "persistence/settings_node_storage.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "../settings_tree/tree_text.h"
#include "flanger_settings_node.h"
#include "persistence/effect_parameters.h"
#include "persistence/parameter_driver.h"
#include "tagged_variable.h"

namespace flanger {
namespace {

using test::Bytes;
using test::TaggedList;
using test::TaggedValue;

struct Six {
    std::int32_t depth, delay, width, sine, feedback, speed;
    friend bool operator==(const Six&, const Six&) = default;
};

void PrintTo(const Six& six, std::ostream* out) {
    *out << "{" << six.depth << ", " << six.delay << ", " << six.width << ", " << six.sine << ", "
         << six.feedback << ", " << six.speed << "}";
}

constexpr Six kDefaults{90, 50, 50, 0, 10, 10};
constexpr Six kOthers{1, 2, 3, 4, 5, 6};

Six LoadSix(SettingsNode& node, Six six) {
    void* const values[] = {&six.depth, &six.delay,    &six.width,
                            &six.sine,  &six.feedback, &six.speed};
    LoadParameters({.document = &node}, kEffectParameterNames, kEffectParameterTypes, values);
    return six;
}

std::int32_t SaveSix(SettingsNode& node, const Six& six) {
    const void* const values[] = {&six.depth, &six.delay,    &six.width,
                                  &six.sine,  &six.feedback, &six.speed};
    return SaveParameters({.document = &node}, kEffectParameterNames, kEffectParameterTypes,
                          values);
}

using tree_text::Describe;

SettingsNode& Child(SettingsNode& parent, const char* name,
                    std::vector<SettingsAttribute> attributes = {}) {
    SettingsNode& child = *parent.AddChild(name);
    child.attributes = std::move(attributes);
    return child;
}

constexpr char kDefaultTree[] =
    "Preset{Depth[Value=90] Delay[Value=50] Width[Value=50] Sine[Value=0] Feedback[Value=10] "
    "Speed[Value=10]}";

TEST(SettingsNodeStorageTest, SavedDefaultsAreTheGoldenTreeAndLoadBack) {
    SettingsNode node;
    node.name = "Preset";
    ASSERT_EQ(SaveSix(node, kDefaults), 1);
    EXPECT_EQ(Describe(node), kDefaultTree);
    EXPECT_EQ(LoadSix(node, kOthers), kDefaults);
    EXPECT_EQ(Describe(node), kDefaultTree) << "a load changed the node";
}

TEST(SettingsNodeStorageTest, SavingAgainReusesTheChildren) {
    SettingsNode node;
    node.name = "Preset";
    ASSERT_EQ(SaveSix(node, kDefaults), 1);
    std::vector<const TreeNode*> children;
    for (const TreeNode* c = node.firstChild; c != nullptr; c = c->nextSibling) {
        children.push_back(c);
    }

    Six changed = kDefaults;
    changed.depth = 75;
    ASSERT_EQ(SaveSix(node, changed), 1);
    EXPECT_EQ(Describe(node),
              "Preset{Depth[Value=75] Delay[Value=50] Width[Value=50] Sine[Value=0] "
              "Feedback[Value=10] Speed[Value=10]}");
    std::vector<const TreeNode*> after;
    for (const TreeNode* c = node.firstChild; c != nullptr; c = c->nextSibling) after.push_back(c);
    EXPECT_EQ(after, children);
    EXPECT_EQ(LoadSix(node, kOthers), changed);
}

struct SixLoadCase {
    const char* label;
    void (*build)(SettingsNode&);
    Six expected;  // loaded over the defaults
};

TEST(SettingsNodeStorageTest, EffectListLoadsWhatTheNodeHolds) {
    const SixLoadCase cases[] = {
        {"no children", [](SettingsNode&) {}, kDefaults},
        {"all six in another order",
         [](SettingsNode& n) {
             Child(n, "Speed", {{"Value", "60"}});
             Child(n, "Feedback", {{"Value", "-25"}});
             Child(n, "Sine", {{"Value", "1"}});
             Child(n, "Width", {{"Value", "40"}});
             Child(n, "Delay", {{"Value", "30"}});
             Child(n, "Depth", {{"Value", "20"}});
         },
         {20, 30, 40, 1, -25, 60}},
        {"names in lower case",
         [](SettingsNode& n) {
             Child(n, "depth", {{"value", "33"}});
         },
         {33, 50, 50, 0, 10, 10}},
        {"first of two Depth children",
         [](SettingsNode& n) {
             Child(n, "Depth", {{"Value", "33"}});
             Child(n, "Depth", {{"Value", "44"}});
         },
         {33, 50, 50, 0, 10, 10}},
        {"Depth without Value",
         [](SettingsNode& n) {
             Child(n, "Depth", {{"Min", "0"}});
             Child(n, "Delay", {{"Value", "30"}});
         },
         {90, 30, 50, 0, 10, 10}},
        {"lenient numbers",
         [](SettingsNode& n) {
             Child(n, "Depth", {{"Value", "12abc"}});
             Child(n, "Delay", {{"Value", "abc"}});
             Child(n, "Width", {{"Value", " 42"}});
         },
         {12, 0, 42, 0, 10, 10}},
        // No range check on load.
        {"out of the dialog's ranges",
         [](SettingsNode& n) {
             Child(n, "Depth", {{"Value", "500"}});
             Child(n, "Speed", {{"Value", "-2147483648"}});
         },
         {500, 50, 50, 0, 10, -2147483647 - 1}},
        {"only direct children count",
         [](SettingsNode& n) {
             Child(Child(n, "Preset"), "Depth", {{"Value", "33"}});
         },
         kDefaults},
        {"values on the node itself", [](SettingsNode& n) { n.SetAttribute("Depth", "33"); },
         kDefaults},
    };
    for (const SixLoadCase& c : cases) {
        SCOPED_TRACE(c.label);
        SettingsNode node;
        c.build(node);
        const std::string before = Describe(node);
        EXPECT_EQ(LoadSix(node, kDefaults), c.expected);
        EXPECT_EQ(Describe(node), before) << "a load changed the node";
    }
}

struct SixSaveCase {
    const char* label;
    void (*build)(SettingsNode&);
    std::string after;  // the tree after saving {75, 50, 50, 0, -25, 10}
};

TEST(SettingsNodeStorageTest, SavingUpdatesWhatTheNodeHolds) {
    const SixSaveCase cases[] = {
        {"children in lower case keep their names",
         [](SettingsNode& n) {
             Child(n, "depth", {{"value", "90"}});
             Child(n, "FEEDBACK", {{"Min", "-100"}, {"VALUE", "10"}});
         },
         "{depth[value=75] FEEDBACK[Min=-100 VALUE=-25] Delay[Value=50] Width[Value=50] "
         "Sine[Value=0] Speed[Value=10]}"},
        {"first of two Depth children",
         [](SettingsNode& n) {
             Child(n, "Depth", {{"Value", "33"}});
             Child(n, "Depth", {{"Value", "44"}});
         },
         "{Depth[Value=75] Depth[Value=44] Delay[Value=50] Width[Value=50] Sine[Value=0] "
         "Feedback[Value=-25] Speed[Value=10]}"},
        {"other children stay where they are",
         [](SettingsNode& n) {
             Child(n, "Title", {{"Value", "Mine"}});
             Child(n, "Speed", {{"Value", "1"}});
         },
         "{Title[Value=Mine] Speed[Value=10] Depth[Value=75] Delay[Value=50] Width[Value=50] "
         "Sine[Value=0] Feedback[Value=-25]}"},
    };
    for (const SixSaveCase& c : cases) {
        SCOPED_TRACE(c.label);
        SettingsNode node;
        c.build(node);
        ASSERT_EQ(SaveSix(node, {75, 50, 50, 0, -25, 10}), 1);
        EXPECT_EQ(Describe(node), c.after);
    }
}

struct TagCase {
    ParameterTag tag;
    const char* name;
    TaggedValue saved;
    TaggedValue loadedOver;  // the variable's value before the load
    TaggedValue loaded;
};

// Numbers pass through their six-digit "%g" text, so a FLOAT or DOUBLE loads back rounded.
const TagCase kEveryTag[] = {
    {ParameterTag::Uint, "Unsigned", 4294967295u, 7u, 4294967295u},
    {ParameterTag::Dword, "Flags", 0x80000000u, 7u, 0x80000000u},
    {ParameterTag::Int, "Offset", -123456, 7, -123456},
    {ParameterTag::Float, "Ratio", 0.75f, 9.5f, 0.75f},
    {ParameterTag::Float, "Fine", 0.123456789f, 9.5f, static_cast<float>(0.123457)},
    {ParameterTag::Double, "Length", 1234.5678, 9.5, 1234.57},
    {ParameterTag::Double, "Tiny", -2.5e-300, 9.5, -2.5e-300},
    {ParameterTag::String, "Title", std::string(" A title & <more> "), std::string("stale"),
     std::string(" A title & <more> ")},
    {ParameterTag::String, "Note", std::string(), std::string("stale"), std::string()},
    {ParameterTag::Lss, "Curve", Bytes{0x01, 0xAB, 0xFF}, Bytes{0xEE}, Bytes{0x01, 0xAB, 0xFF}},
    {ParameterTag::Lss, "Empty", Bytes{}, Bytes{0xEE, 0xEE}, Bytes{}},
};

constexpr char kEveryTagTree[] =
    "{Unsigned[Value=-1] Flags[Value=-2147483648] Offset[Value=-123456] Ratio[Value=0.75] "
    "Fine[Value=0.123457] Length[Value=1234.57] Tiny[Value=-2.5e-300] "
    "Title[Value= A title & <more> ] Note[Value=] SIZE_LSS_Curve[Value=3] "
    "DATA_LSS_Curve[Value=01ABFF] SIZE_LSS_Empty[Value=0] DATA_LSS_Empty[Value=]}";

TEST(SettingsNodeStorageTest, EveryTagIsWrittenAsTheGoldenTreeAndLoadsBack) {
    SettingsNode node;
    const StorageTarget target{.document = &node};
    TaggedList saved;
    TaggedList loaded;
    for (const TagCase& c : kEveryTag) {
        saved.Add(c.tag, c.name, c.saved);
        loaded.Add(c.tag, c.name, c.loadedOver);
    }
    ASSERT_EQ(saved.Save(target), 1);
    EXPECT_EQ(Describe(node), kEveryTagTree);

    loaded.Load(target);
    for (std::size_t i = 0; i < loaded.Size(); ++i) {
        SCOPED_TRACE(kEveryTag[i].name);
        EXPECT_EQ(loaded[i].Value(), kEveryTag[i].loaded);
        if (kEveryTag[i].tag == ParameterTag::Lss) {
            EXPECT_TRUE(loaded[i].BlockReplaced()) << "a load must hand out a new block";
            EXPECT_NE(static_cast<LssBlock*>(loaded[i].Pointer())->Data, nullptr);
        }
    }
    EXPECT_EQ(Describe(node), kEveryTagTree) << "a load changed the node";
}

struct AbsentCase {
    ParameterTag tag;
    TaggedValue before;
};

// Unlike a profile file, an absent child changes nothing, not even the number's text rounding;
// only a block without size child becomes size 0 without data.
TEST(SettingsNodeStorageTest, AbsentChildrenLeaveTheVariables) {
    const AbsentCase cases[] = {
        {ParameterTag::Int, -5},
        {ParameterTag::Uint, 4294967295u},
        {ParameterTag::Dword, 0x80000000u},
        {ParameterTag::Float, 0.123456789f},
        {ParameterTag::Double, 0.123456789},
        {ParameterTag::String, std::string("stale")},
    };
    SettingsNode node;
    Child(node, "Other", {{"Value", "1"}});
    Child(node, "DATA_LSS_Value", {{"Value", "01ABFF"}});
    TaggedList list;
    for (const AbsentCase& c : cases) list.Add(c.tag, "Value", c.before);
    list.Add(ParameterTag::Lss, "Value", Bytes{0xEE});
    list.Load({.document = &node});
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        SCOPED_TRACE("case " + std::to_string(i));
        EXPECT_EQ(list[i].Value(), cases[i].before);
    }
    // Even with a data child: without its size the block is not there.
    const LssBlock& block = *static_cast<LssBlock*>(list[std::size(cases)].Pointer());
    EXPECT_EQ(block.Size, 0u);
    EXPECT_EQ(block.Data, nullptr);
}

Bytes Counting(std::size_t size) {
    Bytes bytes(size);
    for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<std::uint8_t>(i * 7);
    return bytes;
}

std::string HexOf(const Bytes& bytes) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    std::string text;
    for (std::uint8_t byte : bytes) {
        text += kDigits[byte >> 4];
        text += kDigits[byte & 15];
    }
    return text;
}

struct BlockCase {
    std::string label;
    std::vector<std::pair<std::string, std::vector<SettingsAttribute>>> children;
    Bytes loaded;
    bool hasData;  // false: Data is null
};

// A block keeps its stored size, filled as far as its data text reaches (up to a bound beyond
// which the size counts only as far as the text can fill it), and no byte of a loaded block is
// left as the heap had it.
TEST(SettingsNodeStorageTest, StoredBlocksLoadSafely) {
    const Bytes kilobyte = Counting(1000);
    const BlockCase cases[] = {
        {"as saved",
         {{"SIZE_LSS_V", {{"Value", "3"}}}, {"DATA_LSS_V", {{"Value", "01ABFF"}}}},
         {0x01, 0xAB, 0xFF},
         true},
        {"lower-case digits",
         {{"SIZE_LSS_V", {{"Value", "3"}}}, {"DATA_LSS_V", {{"Value", "01abff"}}}},
         {0x01, 0xAB, 0xFF},
         true},
        {"lower-case names",
         {{"size_lss_v", {{"value", "3"}}}, {"data_lss_v", {{"value", "01ABFF"}}}},
         {0x01, 0xAB, 0xFF},
         true},
        {"data longer than the size",
         {{"SIZE_LSS_V", {{"Value", "2"}}}, {"DATA_LSS_V", {{"Value", "01ABFF"}}}},
         {0x01, 0xAB},
         true},
        {"data shorter than the size",
         {{"SIZE_LSS_V", {{"Value", "3"}}}, {"DATA_LSS_V", {{"Value", "01AB"}}}},
         {0x01, 0xAB, 0x00},
         true},
        {"odd final digit",
         {{"SIZE_LSS_V", {{"Value", "3"}}}, {"DATA_LSS_V", {{"Value", "01ABF"}}}},
         {0x01, 0xAB, 0x00},
         true},
        {"not hex",
         {{"SIZE_LSS_V", {{"Value", "2"}}}, {"DATA_LSS_V", {{"Value", "GZ!!"}}}},
         {0x03, 0xAA},
         true},
        {"size 0 with data",
         {{"SIZE_LSS_V", {{"Value", "0"}}}, {"DATA_LSS_V", {{"Value", "01AB"}}}},
         {},
         true},
        {"size without data child", {{"SIZE_LSS_V", {{"Value", "3"}}}}, {0, 0, 0}, true},
        {"data child without Value",
         {{"SIZE_LSS_V", {{"Value", "3"}}}, {"DATA_LSS_V", {{"Val", "01ABFF"}}}},
         {0, 0, 0},
         true},
        {"largest size without data",
         {{"SIZE_LSS_V", {{"Value", "1048576"}}}},
         Bytes(kLargestUnfilledBlock),
         true},
        {"size not a number",
         {{"SIZE_LSS_V", {{"Value", "three"}}}, {"DATA_LSS_V", {{"Value", "01ABFF"}}}},
         {},
         true},
        {"size over 2^31 without data", {{"SIZE_LSS_V", {{"Value", "4000000000"}}}}, {}, true},
        {"size -1 with four bytes",
         {{"SIZE_LSS_V", {{"Value", "-1"}}}, {"DATA_LSS_V", {{"Value", "01ABFFAB"}}}},
         {0x01, 0xAB, 0xFF, 0xAB},
         true},
        {"huge size with 1000 bytes",
         {{"SIZE_LSS_V", {{"Value", "100000000"}}}, {"DATA_LSS_V", {{"Value", HexOf(kilobyte)}}}},
         kilobyte,
         true},
        {"size child without Value",
         {{"SIZE_LSS_V", {{"Val", "3"}}}, {"DATA_LSS_V", {{"Value", "01ABFF"}}}},
         {},
         false},
        {"data without size child", {{"DATA_LSS_V", {{"Value", "01ABFF"}}}}, {}, false},
        {"size under another name",
         {{"SIZE_V", {{"Value", "3"}}}, {"DATA_LSS_V", {{"Value", "01ABFF"}}}},
         {},
         false},
    };
    for (const BlockCase& c : cases) {
        SCOPED_TRACE(c.label);
        SettingsNode node;
        for (const auto& [name, attributes] : c.children) Child(node, name.c_str(), attributes);
        TaggedList list;
        list.Add(ParameterTag::Lss, "V", Bytes{0xEE});
        list.Load({.document = &node});
        const LssBlock& block = *static_cast<LssBlock*>(list[0].Pointer());
        EXPECT_EQ(list[0].Value(), TaggedValue(c.loaded));
        EXPECT_EQ(block.Size, c.loaded.size());
        EXPECT_EQ(block.Data != nullptr, c.hasData);
        EXPECT_TRUE(list[0].BlockReplaced());
    }
}

// A block that claims bytes it does not have is not written, and the save reports 1 all the
// same; an empty block without data is written as size 0 and no digits.
TEST(SettingsNodeStorageTest, BlocksWithoutTheirBytesAreNotWritten) {
    SettingsNode node;
    const LssBlock claimsBytes{.Size = 3, .Data = nullptr};
    const LssBlock noBytes{.Size = 0, .Data = nullptr};
    const std::int32_t depth = 90;
    const char* const names[] = {"Broken", "Depth", "Empty"};
    const void* const values[] = {&claimsBytes, &depth, &noBytes};

    ASSERT_EQ(SaveParameters({.document = &node}, names, "LSS INT LSS", values), 1);
    EXPECT_EQ(Describe(node), "{Depth[Value=90] SIZE_LSS_Empty[Value=0] DATA_LSS_Empty[Value=]}");
}

TEST(SettingsNodeStorageTest, NoNodeNoStorage) {
    SettingsNode node;
    EXPECT_EQ(SettingsNodeStorage::Open(nullptr), nullptr);
    EXPECT_NE(SettingsNodeStorage::Open(&node), nullptr);
}

}  // namespace
}  // namespace flanger
