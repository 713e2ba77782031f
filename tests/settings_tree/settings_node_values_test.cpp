// Typed values on a settings node: the text each setter writes, what each getter makes of any
// text (atoi and atof leniency, integer wrap-around), the hexadecimal block form, and the value
// layer's "Value" attribute on the first child of a name.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "flanger_settings_node.h"
#include "tree_text.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

using tree_text::Describe;

std::string Repeat(const char* text, std::size_t count) {
    std::string result;
    for (std::size_t i = 0; i < count; ++i) result += text;
    return result;
}

struct IntegerCase {
    std::string text;
    std::int32_t expected;
};

TEST(SettingsNodeValuesTest, IntegerTextsConvertAsAtoiWithoutOverflow) {
    const IntegerCase cases[] = {
        {"90", 90},
        {"-25", -25},
        {"+7", 7},
        {"12abc", 12},
        {"abc", 0},
        {"", 0},
        {" 42", 42},
        {"\t\n\v\f\r 42", 42},
        {"00042", 42},
        {"1e3", 1},
        {"0x10", 0},
        {"12 34", 12},
        {"-", 0},
        {"- 5", 0},
        {"--5", 0},
        {"+-5", 0},
        {"2147483647", 2147483647},
        {"-2147483648", std::numeric_limits<std::int32_t>::min()},
        // Unsigned texts of 32-bit values keep their bits.
        {"4294967295", -1},
        {"2147483648", std::numeric_limits<std::int32_t>::min()},
        {"3000000000", -1294967296},
        // Longer texts wrap modulo 2^32.
        {"4294967296", 0},
        {"4294967338", 42},
        {"-4294967297", -1},
        {"99999999999", 1215752191},
        {Repeat("9", 40), static_cast<std::int32_t>(0xFFFFFFFFu)},
        {"5" + std::string(30, '0') + "12", 12},
    };
    for (const IntegerCase& c : cases) {
        SCOPED_TRACE("\"" + c.text + "\"");
        SettingsNode node;
        node.attributes.push_back({"Value", c.text});
        std::int32_t value = 777;
        EXPECT_TRUE(node.GetIntAttribute("value", &value));
        EXPECT_EQ(value, c.expected);
    }
}

// Numbers compare bit for bit, so a conversion that rounds through another precision shows.
template <typename Number>
bool SameBits(Number a, Number b) {
    return std::memcmp(&a, &b, sizeof a) == 0;
}

struct NumberCase {
    std::string text;
    float asFloat;
    double asDouble;
};

// Decimal numbers only, as the original target's atof reads them, and never NaN or infinity.
TEST(SettingsNodeValuesTest, NumberTextsConvertAsAtofWhole) {
    const float largestFloat = std::numeric_limits<float>::max();
    const double largestDouble = std::numeric_limits<double>::max();
    // 10^-1997 * 10^2000: a text cut anywhere before its end gives 0 or 1.
    const std::string longNumber = "0." + std::string(1996, '0') + "1e2000";
    const NumberCase cases[] = {
        {"0.75", 0.75f, 0.75},
        {"12.5abc", 12.5f, 12.5},
        {"abc", 0.0f, 0.0},
        {"", 0.0f, 0.0},
        {" 3", 3.0f, 3.0},
        {"\t-2.5e-300", -0.0f, -2.5e-300},
        {"1234.57", static_cast<float>(1234.57), 1234.57},
        {"0.123457", static_cast<float>(0.123457), 0.123457},
        // Exponents of two or three digits, as runtimes write them.
        {"1.23457e+06", 1234570.0f, 1234570.0},
        {"1.23457e+006", 1234570.0f, 1234570.0},
        {"1e300", largestFloat, 1e300},
        {"-1e300", -largestFloat, -1e300},
        {"1e400", largestFloat, largestDouble},
        {"-1e99999999999999999999", -largestFloat, -largestDouble},
        {"-1e-400", -0.0f, -0.0},
        {"inf", 0.0f, 0.0},
        {"infinity", 0.0f, 0.0},
        {"nan", 0.0f, 0.0},
        {"0x1p3", 0.0f, 0.0},
        {"0x10", 0.0f, 0.0},
        {"1d5", 100000.0f, 100000.0},
        {"+.5e1", 5.0f, 5.0},
        {"1e+", 1.0f, 1.0},
        {longNumber, 1000.0f, 1000.0},
        {std::string(150, '1') + "e-149", static_cast<float>(10.0 / 9.0), 10.0 / 9.0},
    };
    for (const NumberCase& c : cases) {
        SCOPED_TRACE("\"" + c.text.substr(0, 40) + "\"");
        SettingsNode node;
        node.attributes.push_back({"Value", c.text});
        float f = 7.0f;
        double d = 7.0;
        EXPECT_TRUE(node.GetFloatAttribute("VALUE", &f));
        EXPECT_TRUE(node.GetDoubleAttribute("VALUE", &d));
        EXPECT_TRUE(SameBits(f, c.asFloat)) << f << " != " << c.asFloat;
        EXPECT_TRUE(SameBits(d, c.asDouble)) << d << " != " << c.asDouble;
    }
}

TEST(SettingsNodeValuesTest, AbsentAttributesLeaveTheVariables) {
    SettingsNode node;
    node.attributes.push_back({"Other", "5"});
    std::int32_t i = 7;
    float f = 7.5f;
    double d = 8.5;
    std::uint8_t block[2] = {0xEE, 0xEE};
    EXPECT_FALSE(node.GetIntAttribute("Value", &i));
    EXPECT_FALSE(node.GetFloatAttribute("Value", &f));
    EXPECT_FALSE(node.GetDoubleAttribute("Value", &d));
    EXPECT_EQ(node.GetBlockAttribute("Value", block, 2), 0u);
    EXPECT_EQ(i, 7);
    EXPECT_EQ(f, 7.5f);
    EXPECT_EQ(d, 8.5);
    EXPECT_EQ(Bytes(block, block + 2), (Bytes{0xEE, 0xEE}));
}

struct FormatCase {
    const char* label;
    void (*set)(SettingsNode&);
    const char* text;
};

TEST(SettingsNodeValuesTest, SettersWriteTheStoredTextForms) {
    const FormatCase cases[] = {
        {"int", [](SettingsNode& n) { n.SetIntAttribute("Value", 90); }, "90"},
        {"int zero", [](SettingsNode& n) { n.SetIntAttribute("Value", 0); }, "0"},
        {"int negative", [](SettingsNode& n) { n.SetIntAttribute("Value", -25); }, "-25"},
        {"int minimum",
         [](SettingsNode& n) {
             n.SetIntAttribute("Value", std::numeric_limits<std::int32_t>::min());
         },
         "-2147483648"},
        {"float", [](SettingsNode& n) { n.SetFloatAttribute("Value", 0.75f); }, "0.75"},
        {"float six digits", [](SettingsNode& n) { n.SetFloatAttribute("Value", 0.123456789f); },
         "0.123457"},
        // Widened exactly: 0.1f is 0.100000001490116..., which six digits show as 0.1.
        {"float 0.1", [](SettingsNode& n) { n.SetFloatAttribute("Value", 0.1f); }, "0.1"},
        {"float large", [](SettingsNode& n) { n.SetFloatAttribute("Value", 3.0e38f); }, "3e+38"},
        {"float million", [](SettingsNode& n) { n.SetFloatAttribute("Value", 1234567.0f); },
         "1.23457e+06"},
        {"float infinity",
         [](SettingsNode& n) {
             n.SetFloatAttribute("Value", std::numeric_limits<float>::infinity());
         },
         "inf"},
        {"double", [](SettingsNode& n) { n.SetDoubleAttribute("Value", 1234.5678); }, "1234.57"},
        {"double tiny", [](SettingsNode& n) { n.SetDoubleAttribute("Value", -2.5e-300); },
         "-2.5e-300"},
        {"double 100000", [](SettingsNode& n) { n.SetDoubleAttribute("Value", 100000.0); },
         "100000"},
        {"double 1000000", [](SettingsNode& n) { n.SetDoubleAttribute("Value", 1000000.0); },
         "1e+06"},
        // Halfway cases round on the double's exact value: 0.1234565 is just below the half.
        {"double rounding", [](SettingsNode& n) { n.SetDoubleAttribute("Value", 0.1234565); },
         "0.123456"},
        {"dword above 2^31 - 1", [](SettingsNode& n) { n.WriteDwordValue("D", 4294967295u); },
         "-1"},
        {"dword 2^31", [](SettingsNode& n) { n.WriteDwordValue("D", 0x80000000u); }, "-2147483648"},
        {"block",
         [](SettingsNode& n) {
             const std::uint8_t bytes[] = {0x01, 0xAB, 0xFF};
             n.SetBlockAttribute("Value", bytes, 3);
         },
         "01ABFF"},
        {"block high half first",
         [](SettingsNode& n) {
             const std::uint8_t bytes[] = {0x0F, 0xF0, 0x00, 0x9A};
             n.SetBlockAttribute("Value", bytes, 4);
         },
         "0FF0009A"},
        {"empty block", [](SettingsNode& n) { n.SetBlockAttribute("Value", nullptr, 0); }, ""},
    };
    for (const FormatCase& c : cases) {
        SCOPED_TRACE(c.label);
        SettingsNode node;
        c.set(node);
        // The attribute layer sets "Value" on the node, the value layer on its child "D".
        const SettingsNode* holder = &node;
        if (node.firstChild != nullptr) holder = static_cast<const SettingsNode*>(node.firstChild);
        ASSERT_EQ(holder->attributes.size(), 1u);
        EXPECT_EQ(holder->attributes[0].name, "Value");
        EXPECT_EQ(holder->attributes[0].value, c.text);
    }
}

TEST(SettingsNodeValuesTest, EveryByteRoundTripsThroughItsHexText) {
    Bytes all(256);
    for (std::size_t i = 0; i < all.size(); ++i) all[i] = static_cast<std::uint8_t>(i);
    SettingsNode node;
    node.SetBlockAttribute("Block", all.data(), static_cast<std::uint32_t>(all.size()));
    const std::string& text = node.attributes.at(0).value;
    ASSERT_EQ(text.size(), 512u);
    EXPECT_EQ(text.substr(0, 8), "00010203");
    EXPECT_EQ(text.substr(0x7F * 2, 6), "7F8081");
    EXPECT_EQ(text.substr(504), "FCFDFEFF");

    Bytes loaded(256, 0xEE);
    EXPECT_EQ(node.GetBlockAttribute("block", loaded.data(), 256), 256u);
    EXPECT_EQ(loaded, all);
}

struct DecodeCase {
    const char* label;
    std::string text;
    std::uint32_t capacity;
    std::uint32_t decoded;
    Bytes buffer;  // the whole buffer after decoding, which starts as 0xEE bytes
};

TEST(SettingsNodeValuesTest, HexTextDecodesDigitPairsUpToTheCapacity) {
    const DecodeCase cases[] = {
        {"upper case", "01ABFF", 3, 3, {0x01, 0xAB, 0xFF, 0xEE}},
        {"lower case", "01abff", 3, 3, {0x01, 0xAB, 0xFF, 0xEE}},
        {"short text fills the first bytes only", "01AB", 3, 2, {0x01, 0xAB, 0xEE, 0xEE}},
        {"odd final digit ignored", "01ABF", 3, 2, {0x01, 0xAB, 0xEE, 0xEE}},
        {"more digits than the capacity", "01ABFF42", 2, 2, {0x01, 0xAB, 0xEE, 0xEE}},
        {"capacity 0", "01ABFF", 0, 0, {0xEE, 0xEE, 0xEE, 0xEE}},
        {"empty text", "", 3, 0, {0xEE, 0xEE, 0xEE, 0xEE}},
        {"single digit", "7", 3, 0, {0xEE, 0xEE, 0xEE, 0xEE}},
        // Other characters: the low four bits of their code minus 55.
        {"G and Z", "GZ", 4, 1, {0x03, 0xEE, 0xEE, 0xEE}},
        {"g and !", "g!", 4, 1, {0x0A, 0xEE, 0xEE, 0xEE}},
        {"space and 1", " 1", 4, 1, {0x91, 0xEE, 0xEE, 0xEE}},
        {"colon and semicolon", ":;", 4, 1, {0x34, 0xEE, 0xEE, 0xEE}},
        {"slash and 0", "/0", 4, 1, {0x80, 0xEE, 0xEE, 0xEE}},
        {"bytes above 0x7F", "\xC3\xA4", 4, 1, {0xCD, 0xEE, 0xEE, 0xEE}},
        {"mixed", "0g1G", 4, 2, {0x00, 0x10, 0xEE, 0xEE}},
    };
    for (const DecodeCase& c : cases) {
        SCOPED_TRACE(c.label);
        SettingsNode node;
        node.attributes.push_back({"DATA", c.text});
        Bytes buffer(4, 0xEE);
        EXPECT_EQ(node.GetBlockAttribute("Data", buffer.data(), c.capacity), c.decoded);
        EXPECT_EQ(buffer, c.buffer);
    }
}

// The value layer reads "Value" of the first direct child of a name; whatever is missing leaves
// the variable as it is.
struct ReadCase {
    const char* label;
    void (*build)(SettingsNode&);
    bool found;
    std::int32_t value;  // read over 90
};

SettingsNode& Child(SettingsNode& parent, const char* name,
                    std::vector<SettingsAttribute> attributes = {}) {
    SettingsNode& child = *parent.AddChild(name);
    child.attributes = std::move(attributes);
    return child;
}

TEST(SettingsNodeValuesTest, ReadersFindTheFirstChildAndItsValue) {
    const ReadCase cases[] = {
        {"child and value",
         [](SettingsNode& n) {
             Child(n, "Depth", {{"Value", "33"}});
         },
         true, 33},
        {"names in lower case",
         [](SettingsNode& n) {
             Child(n, "depth", {{"value", "33"}});
         },
         true, 33},
        {"value among other attributes",
         [](SettingsNode& n) {
             Child(n, "Depth", {{"Min", "0"}, {"Value", "33"}});
         },
         true, 33},
        {"first of two values",
         [](SettingsNode& n) {
             Child(n, "Depth", {{"VALUE", "33"}, {"Value", "44"}});
         },
         true, 33},
        {"first of two children",
         [](SettingsNode& n) {
             Child(n, "Depth", {{"Value", "33"}});
             Child(n, "Depth", {{"Value", "44"}});
         },
         true, 33},
        {"first child without value hides the second",
         [](SettingsNode& n) {
             Child(n, "Depth");
             Child(n, "Depth", {{"Value", "44"}});
         },
         false, 90},
        {"child without value",
         [](SettingsNode& n) {
             Child(n, "Depth", {{"Val", "33"}});
         },
         false, 90},
        {"no such child",
         [](SettingsNode& n) {
             Child(n, "Delay", {{"Value", "33"}});
         },
         false, 90},
        {"value on the node itself", [](SettingsNode& n) { n.SetAttribute("Value", "33"); }, false,
         90},
        {"grandchild only",
         [](SettingsNode& n) {
             Child(Child(n, "Preset"), "Depth", {{"Value", "33"}});
         },
         false, 90},
        {"empty value reads as 0",
         [](SettingsNode& n) {
             Child(n, "Depth", {{"Value", ""}});
         },
         true, 0},
        {"12abc",
         [](SettingsNode& n) {
             Child(n, "Depth", {{"Value", "12abc"}});
         },
         true, 12},
    };
    for (const ReadCase& c : cases) {
        SCOPED_TRACE(c.label);
        SettingsNode node;
        c.build(node);
        const std::string before = Describe(node);

        std::int32_t value = 90;
        EXPECT_EQ(node.ReadIntValue("Depth", &value), c.found);
        EXPECT_EQ(value, c.value);

        // Every reader looks in the same place.
        std::uint32_t dword = 90;
        float f = 90.0f;
        double d = 90.0;
        std::string s = "90";
        std::uint8_t block[1] = {0xEE};
        EXPECT_EQ(node.ReadDwordValue("DEPTH", &dword), c.found);
        EXPECT_EQ(node.ReadFloatValue("DEPTH", &f), c.found);
        EXPECT_EQ(node.ReadDoubleValue("DEPTH", &d), c.found);
        EXPECT_EQ(node.ReadStringValue("DEPTH", &s), c.found);
        EXPECT_EQ(dword, static_cast<std::uint32_t>(c.value));
        EXPECT_EQ(f, static_cast<float>(c.value));
        EXPECT_EQ(d, static_cast<double>(c.value));
        if (!c.found) {
            EXPECT_EQ(s, "90");
            EXPECT_EQ(node.ReadBlockValue("DEPTH", block, 1), 0u);
            EXPECT_EQ(block[0], 0xEE);
        }
        EXPECT_EQ(Describe(node), before) << "a read changed the node";
    }
}

struct WriteCase {
    const char* label;
    void (*build)(SettingsNode&);
    std::string after;  // the node after WriteIntValue("Depth", 75)
};

TEST(SettingsNodeValuesTest, WritersSetTheFirstChildsValueOrAppendAChild) {
    const WriteCase cases[] = {
        {"no children", [](SettingsNode&) {}, "{Depth[Value=75]}"},
        {"appended after the others",
         [](SettingsNode& n) {
             Child(n, "Delay", {{"Value", "50"}});
         },
         "{Delay[Value=50] Depth[Value=75]}"},
        {"existing child keeps its name and place",
         [](SettingsNode& n) {
             Child(n, "depth", {{"Value", "90"}});
             Child(n, "Delay", {{"Value", "50"}});
         },
         "{depth[Value=75] Delay[Value=50]}"},
        {"existing attribute keeps its name and place",
         [](SettingsNode& n) {
             Child(n, "Depth", {{"Min", "0"}, {"value", "90"}, {"Max", "1"}});
         },
         "{Depth[Min=0 value=75 Max=1]}"},
        {"child without value gets one at the end",
         [](SettingsNode& n) {
             Child(n, "Depth", {{"Min", "0"}});
         },
         "{Depth[Min=0 Value=75]}"},
        {"first of two children",
         [](SettingsNode& n) {
             Child(n, "Depth", {{"Value", "90"}});
             Child(n, "DEPTH", {{"Value", "91"}});
         },
         "{Depth[Value=75] DEPTH[Value=91]}"},
        {"first of two values",
         [](SettingsNode& n) {
             Child(n, "Depth", {{"Value", "90"}, {"Value", "91"}});
         },
         "{Depth[Value=75 Value=91]}"},
        {"grandchild is not the child",
         [](SettingsNode& n) {
             Child(Child(n, "Preset"), "Depth", {{"Value", "90"}});
         },
         "{Preset{Depth[Value=90]} Depth[Value=75]}"},
    };
    for (const WriteCase& c : cases) {
        SCOPED_TRACE(c.label);
        SettingsNode node;
        c.build(node);
        node.WriteIntValue("Depth", 75);
        EXPECT_EQ(Describe(node), c.after);
    }
}

// Every writer and its reader: the text in the tree and the value read back.
TEST(SettingsNodeValuesTest, ValuesRoundTripThroughTheirChildren) {
    SettingsNode node;
    const std::uint8_t curve[] = {0x01, 0xAB, 0xFF};
    node.WriteDwordValue("Flags", 4294967295u);
    node.WriteIntValue("Feedback", -25);
    node.WriteFloatValue("Ratio", 0.75f);
    node.WriteDoubleValue("Length", 1234.5678);
    node.WriteStringValue("Title", " A title, with spaces ");
    node.WriteStringValue("Note", "");
    node.WriteBlockValue("Curve", curve, 3);
    node.WriteBlockValue("Empty", nullptr, 0);
    // Claims bytes it does not have: nothing is written, not even the child.
    node.WriteBlockValue("Broken", nullptr, 3);
    EXPECT_EQ(Describe(node),
              "{Flags[Value=-1] Feedback[Value=-25] Ratio[Value=0.75] Length[Value=1234.57] "
              "Title[Value= A title, with spaces ] Note[Value=] Curve[Value=01ABFF] "
              "Empty[Value=]}");

    std::uint32_t flags = 0;
    std::int32_t feedback = 0;
    float ratio = 0;
    double length = 0;
    std::string title = "stale";
    std::string note = "stale";
    Bytes block(4, 0xEE);
    EXPECT_TRUE(node.ReadDwordValue("flags", &flags));
    EXPECT_TRUE(node.ReadIntValue("feedback", &feedback));
    EXPECT_TRUE(node.ReadFloatValue("ratio", &ratio));
    EXPECT_TRUE(node.ReadDoubleValue("length", &length));
    EXPECT_TRUE(node.ReadStringValue("title", &title));
    EXPECT_TRUE(node.ReadStringValue("note", &note));
    EXPECT_EQ(node.ReadBlockValue("curve", block.data(), 4), 3u);
    EXPECT_EQ(flags, 4294967295u);
    EXPECT_EQ(feedback, -25);
    EXPECT_EQ(ratio, 0.75f);
    EXPECT_EQ(length, 1234.57);
    EXPECT_EQ(title, " A title, with spaces ");
    EXPECT_EQ(note, "");
    EXPECT_EQ(block, (Bytes{0x01, 0xAB, 0xFF, 0xEE}));
}

}  // namespace
