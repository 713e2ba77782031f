// save-preset's XML splicing without the module: a writer of the test's own changes the mirrored
// element as SavePresetXml would (first match, else a new child at the end; attribute "Value"),
// and the whole resulting document is compared byte for byte with what it must be, so that any
// byte changed outside the splices shows.
#include "presets/xml_preset_edit.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace flanger::tool {
namespace {

using Values = std::vector<std::pair<std::string, std::string>>;

// Writes each value as the module's value layer does.
PresetWriter Write(Values values) {
    return [values = std::move(values)](SettingsNode& element) {
        for (const auto& [name, value] : values) {
            SettingsNode* child = element.FindChild(name.c_str());
            if (child == nullptr) child = element.AddChild(name.c_str());
            child->SetAttribute("Value", value.c_str());
        }
        return true;
    };
}

const Values kDefaults = {{"Depth", "90"}, {"Delay", "50"},    {"Width", "50"},
                          {"Sine", "0"},   {"Feedback", "10"}, {"Speed", "10"}};

// UTF-16LE of UTF-8 text made of one- and two-byte sequences.
std::string Utf16Le(std::string_view utf8) {
    std::string out;
    for (std::size_t i = 0; i < utf8.size(); ++i) {
        unsigned code = static_cast<unsigned char>(utf8[i]);
        if (code >= 0xC0)
            code = ((code & 0x1F) << 6) | (static_cast<unsigned char>(utf8[++i]) & 0x3F);
        out += static_cast<char>(code & 0xFF);
        out += static_cast<char>(code >> 8);
    }
    return out;
}

struct EditCase {
    const char* name;
    std::optional<std::string> before;  // nullopt: no file yet
    std::vector<std::string> path;
    PresetWriter write;
    std::string after;
};

TEST(XmlPresetEditTest, SplicesOnlyWhatTheWriterChanged) {
    const std::string studio =
        "<?xml version='1.0'?>\n"
        "<!-- studio settings -->\n"
        "<Settings version=\"3\">\n"
        "    <Flanger   name='Warm &amp; wide' >\n"
        "        <depth value='33' note=\"&#x41;\"/>\n"
        "        <Delay Value = \"77\" />\n"
        "        <Extra>keep<![CDATA[ <Depth Value=\"1\"/> ]]></Extra>\n"
        "    </Flanger>\n"
        "</Settings>\n";
    const std::string utf16Before =
        "\xFF\xFE" + Utf16Le(
                         "<?xml version=\"1.0\" encoding=\"UTF-16\"?>\n"
                         "<R\xC3\xA9glages>\n  <F/>\n</R\xC3\xA9glages>\n");
    const std::string utf16After =
        "\xFF\xFE" + Utf16Le(
                         "<?xml version=\"1.0\" encoding=\"UTF-16\"?>\n"
                         "<R\xC3\xA9glages>\n  <F/>\n  <Caf\xC3\xA9>\n"
                         "    <Depth Value=\"1\"/>\n  </Caf\xC3\xA9>\n</R\xC3\xA9glages>\n");
    const EditCase cases[] = {
        {"a new document holds the path and the values, two spaces a level",
         std::nullopt,
         {"Settings", "Effects", "Flanger"},
         Write(kDefaults),
         "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
         "<Settings>\n"
         "  <Effects>\n"
         "    <Flanger>\n"
         "      <Depth Value=\"90\"/>\n"
         "      <Delay Value=\"50\"/>\n"
         "      <Width Value=\"50\"/>\n"
         "      <Sine Value=\"0\"/>\n"
         "      <Feedback Value=\"10\"/>\n"
         "      <Speed Value=\"10\"/>\n"
         "    </Flanger>\n"
         "  </Effects>\n"
         "</Settings>\n"},
        // The stored names' case, the quotes and the unchanged value's bytes stay.
        {"a changed value between its own quotes, an unchanged one untouched",
         studio,
         {"settings", "FLANGER"},
         Write({{"Depth", "75"}, {"Delay", "77"}}),
         "<?xml version='1.0'?>\n"
         "<!-- studio settings -->\n"
         "<Settings version=\"3\">\n"
         "    <Flanger   name='Warm &amp; wide' >\n"
         "        <depth value='75' note=\"&#x41;\"/>\n"
         "        <Delay Value = \"77\" />\n"
         "        <Extra>keep<![CDATA[ <Depth Value=\"1\"/> ]]></Extra>\n"
         "    </Flanger>\n"
         "</Settings>\n"},
        {"new children after the last content, indented like their neighbours",
         studio,
         {"Settings", "Flanger"},
         Write({{"Width", "12"}, {"Sine", "1"}}),
         "<?xml version='1.0'?>\n"
         "<!-- studio settings -->\n"
         "<Settings version=\"3\">\n"
         "    <Flanger   name='Warm &amp; wide' >\n"
         "        <depth value='33' note=\"&#x41;\"/>\n"
         "        <Delay Value = \"77\" />\n"
         "        <Extra>keep<![CDATA[ <Depth Value=\"1\"/> ]]></Extra>\n"
         "        <Width Value=\"12\"/>\n"
         "        <Sine Value=\"1\"/>\n"
         "    </Flanger>\n"
         "</Settings>\n"},
        {"an empty element opens, one indentation step deeper",
         "<Settings>\n\t<Flanger />\n</Settings>\n",
         {"Settings", "Flanger"},
         Write({{"Depth", "1"}}),
         "<Settings>\n\t<Flanger>\n\t\t<Depth Value=\"1\"/>\n\t</Flanger>\n</Settings>\n"},
        {"content of white space only is replaced",
         "<S>\n  <F>\n\n  </F>\n</S>",
         {"S", "F"},
         Write({{"Depth", "1"}}),
         "<S>\n  <F>\n    <Depth Value=\"1\"/>\n  </F>\n</S>"},
        {"a compact document stays compact",
         "<S><F><X/></F></S>",
         {"S", "F"},
         Write({{"Depth", "1"}, {"Delay", "2"}}),
         "<S><F><X/><Depth Value=\"1\"/><Delay Value=\"2\"/></F></S>"},
        {"missing path elements below the last one there, with the document's step",
         "<?xml version=\"1.0\"?>\n<S>\n   <Other/>\n</S>\n",
         {"S", "Effects", "F"},
         Write({{"Depth", "1"}, {"Delay", "2"}}),
         "<?xml version=\"1.0\"?>\n<S>\n   <Other/>\n   <Effects>\n      <F>\n"
         "         <Depth Value=\"1\"/>\n         <Delay Value=\"2\"/>\n      </F>\n"
         "   </Effects>\n</S>\n"},
        {"an empty root element",
         "<?xml version=\"1.0\"?>\n<S/>\n",
         {"S", "F"},
         Write({{"Depth", "1"}}),
         "<?xml version=\"1.0\"?>\n<S>\n  <F>\n    <Depth Value=\"1\"/>\n  </F>\n</S>\n"},
        {"line breaks of the document",
         "<S>\r\n  <F>\r\n    <Depth Value=\"1\"/>\r\n  </F>\r\n</S>\r\n",
         {"S", "F"},
         Write({{"Delay", "2"}}),
         "<S>\r\n  <F>\r\n    <Depth Value=\"1\"/>\r\n    <Delay Value=\"2\"/>\r\n  </F>\r\n"
         "</S>\r\n"},
        {"a child without Value gets it after its last attribute",
         "<F><Depth  a=\"1\"  /><Delay\n/></F>",
         {"F"},
         Write({{"Depth", "5"}, {"Delay", "6"}}),
         "<F><Depth  a=\"1\" Value=\"5\"  /><Delay Value=\"6\"\n/></F>"},
        {"values escaped for their quotes",
         "<F><Depth Value='x'/></F>",
         {"F"},
         Write({{"Depth", "a&b<c\"d'e\tf"}, {"Delay", "a&b<c\"d'e\nf"}}),
         "<F><Depth Value='a&amp;b&lt;c\"d&apos;e&#9;f'/>"
         "<Delay Value=\"a&amp;b&lt;c&quot;d'e&#10;f\"/></F>"},
        {"the first of equal names, at every step",
         "<S><f id=\"1\"/><F id=\"2\"><DEPTH Value=\"1\"/></F></S>",
         {"s", "F"},
         Write({{"Depth", "9"}}),
         "<S><f id=\"1\"><Depth Value=\"9\"/></f><F id=\"2\"><DEPTH Value=\"1\"/></F></S>"},
        {"children the writer adds below a mirrored child",
         "<F>\n  <Depth Value=\"1\"/>\n</F>",
         {"F"},
         [](SettingsNode& element) {
             element.FindChild("Depth")->AddChild("Curve")->SetAttribute("Size", "3");
             return true;
         },
         "<F>\n  <Depth Value=\"1\">\n    <Curve Size=\"3\"/>\n  </Depth>\n</F>"},
        {"prefixed names as written, a new one where its prefix is declared",
         "<s:S xmlns:s=\"urn:s\" xmlns=\"urn:d\"><s:F/></s:S>",
         {"s:S", "s:G"},
         Write({{"Depth", "1"}}),
         "<s:S xmlns:s=\"urn:s\" xmlns=\"urn:d\"><s:F/><s:G><Depth Value=\"1\"/></s:G></s:S>"},
        {"UTF-16 with its byte order mark",
         utf16Before,
         {"r\xC3\xA9glages", "Caf\xC3\xA9"},
         Write({{"Depth", "1"}}),
         utf16After},
        {"ISO-8859-1, new names converted to it",
         "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>\n<R\xE9glages a=\"\xE9\"/>",
         {"R\xC3\xA9glages", "Caf\xC3\xA9"},
         Write({{"Depth", "1"}}),
         "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>\n<R\xE9glages a=\"\xE9\">\n"
         "  <Caf\xE9>\n    <Depth Value=\"1\"/>\n  </Caf\xE9>\n</R\xE9glages>"},
        {"a UTF-8 byte order mark stays",
         "\xEF\xBB\xBF<S/>",
         {"S"},
         Write({{"Depth", "1"}}),
         "\xEF\xBB\xBF<S>\n  <Depth Value=\"1\"/>\n</S>"},
    };
    for (const EditCase& c : cases) {
        SCOPED_TRACE(c.name);
        const XmlEdit edit = SavePresetInXml(c.before, c.path, c.write);
        ASSERT_TRUE(edit.Text) << edit.Error;
        EXPECT_EQ(*edit.Text, c.after);
        EXPECT_EQ(edit.Error, "");
    }
}

// The element as a host's tree holds it, one level of children deep: "name[attr=value,...]"
// and the children in braces.
std::string Describe(const SettingsNode& node) {
    std::string text = node.name + "[";
    for (const SettingsAttribute& attribute : node.attributes) {
        text += attribute.name + "=" + attribute.value + ",";
    }
    text += "]";
    if (node.firstChild == nullptr) return text;
    text += "{";
    for (const TreeNode* child = node.firstChild; child != nullptr; child = child->nextSibling) {
        text += Describe(*static_cast<const SettingsNode*>(child)) + ";";
    }
    return text + "}";
}

TEST(XmlPresetEditTest, TheWriterSeesTheElementAsTheTreeReadsItAndNoChangeChangesNoByte) {
    const std::string document =
        "<S><F a=\"1\" B='&lt;&#65;&amp;' xmlns:x=\"urn:x\"><!-- c -->"
        "<Depth Value=\" 7\" x:y=\"z\"/>text<Sub><Deep/></Sub></F></S>";
    std::string seen;
    const XmlEdit edit = SavePresetInXml(document, {"S", "F"}, [&](SettingsNode& element) {
        seen = Describe(element);
        return true;
    });
    // Decoded values, namespace declarations apart, nothing but elements, nothing deeper.
    EXPECT_EQ(seen, "F[a=1,B=<A&,]{Depth[Value= 7,x:y=z,];Sub[];}");
    ASSERT_TRUE(edit.Text) << edit.Error;
    EXPECT_EQ(*edit.Text, document);
}

struct RefusalCase {
    const char* name;
    std::optional<std::string> before;
    std::vector<std::string> path;
    PresetWriter write;
    std::string error;  // the start of the reason
};

TEST(XmlPresetEditTest, RefusesWhatItCannotWriteFaithfully) {
    const PresetWriter depth = Write({{"Depth", "1"}});
    const RefusalCase cases[] = {
        {"not well-formed", "<S><F></S>", {"S", "F"}, depth, "it is not well-formed XML (line 1: "},
        {"a root of another name",
         "<Config/>",
         {"Settings", "F"},
         depth,
         "its root element is 'Config'"},
        {"UTF-32",
         std::string("\xFF\xFE\x00\x00<\x00\x00\x00S\x00\x00\x00/\x00\x00\x00>\x00\x00\x00", 20),
         {"S"},
         depth,
         "documents in UTF-32 or EBCDIC are not written"},
        {"a new element with an undeclared prefix",
         "<S/>",
         {"S", "x:F"},
         depth,
         "the namespace prefix of 'x:F' is not declared where it would be written"},
        {"a new document with a prefix",
         std::nullopt,
         {"p:S"},
         depth,
         "the namespace prefix of 'p:S' is not declared where it would be written"},
        {"the writer fails",
         "<S/>",
         {"S"},
         [](SettingsNode&) { return false; },
         "the module did not save the preset"},
        {"the writer fails on a new document",
         std::nullopt,
         {"S"},
         [](SettingsNode&) { return false; },
         "the module did not save the preset"},
        {"the writer removes a child",
         "<S><A/><B/></S>",
         {"S"},
         [](SettingsNode& element) {
             TreeNode* const first = element.firstChild;
             element.RemoveChild(first);
             delete first;
             return true;
         },
         "the module changed the element in a way that cannot be written"},
        {"the writer renames an attribute",
         "<S><A v=\"1\"/></S>",
         {"S"},
         [](SettingsNode& element) {
             element.FindChild("A")->attributes[0].name = "w";
             return true;
         },
         "the module changed the element in a way that cannot be written"},
        {"a name the document's encoding cannot hold",
         "<?xml version=\"1.0\" encoding=\"US-ASCII\"?><S/>",
         {"S", "Caf\xC3\xA9"},
         depth,
         "the new names cannot be written in its encoding US-ASCII"},
        {"an empty name in a new document",
         std::nullopt,
         {"S", ""},
         depth,
         "an element name is empty"},
        {"an empty name", "<S/>", {"S", "", "F"}, depth, "an element name is empty"},
        {"a new name that is not UTF-8",
         std::nullopt,
         {"Setting\xFB", "F"},
         depth,
         "the new names do not make well-formed XML (line 2: "},
        {"a new name that is no XML name",
         "<S/>",
         {"S", "a b"},
         depth,
         "'a b' is not an element name"},
        {"a new name holding markup",
         std::nullopt,
         {"E-->cts"},
         depth,
         "'E-->cts' is not an element name"},
    };
    for (const RefusalCase& c : cases) {
        SCOPED_TRACE(c.name);
        const XmlEdit edit = SavePresetInXml(c.before, c.path, c.write);
        EXPECT_FALSE(edit.Text);
        EXPECT_EQ(edit.Error.substr(0, c.error.size()), c.error) << edit.Error;
    }
}

struct ProblemCase {
    std::string document;
    std::string problem;  // the start of it; empty for none
};

TEST(XmlPresetEditTest, NamesTheLineOfTheFirstProblem) {
    const ProblemCase cases[] = {
        {"<a>\n  <b>\n</a>", "line 3: "},
        {"", "line 1: "},
        {"<a>\n<p:b/>\n</a>", "line 2: "},  // an undeclared namespace prefix
        {"<!DOCTYPE a SYSTEM \"http://example.invalid/a.dtd\">\n<a/>", ""},
        {"<a xmlns:p=\"urn:p\"><p:b/></a>", ""},
    };
    for (const ProblemCase& c : cases) {
        SCOPED_TRACE(c.document);
        const std::string problem = FindXmlProblem(c.document);
        EXPECT_EQ(problem.substr(0, c.problem.size()), c.problem);
        EXPECT_EQ(problem.empty(), c.problem.empty()) << problem;
    }
}

}  // namespace
}  // namespace flanger::tool
