// The markup index of save-preset's XML splicing: for each document, every element's written
// extent, its parent and its attribute values must come out exactly, however the constructs
// around them (comments, CDATA, processing instructions, the document type declaration) hide
// characters that look like markup; text it cannot follow is refused.
#include "presets/xml_markup.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

namespace flanger::tool {
namespace {

// One element as the index places it: its text from '<' to the end of its end tag, its parent's
// number, and its attributes as written (name=value, without the quotes).
struct Placed {
    std::string markup;
    int parent;  // -1 for the root
    std::vector<std::string> attributes;
    bool operator==(const Placed&) const = default;
};

std::ostream& operator<<(std::ostream& out, const Placed& p) {
    out << "{" << p.markup << " parent " << p.parent << " [";
    for (const std::string& a : p.attributes) out << a << ";";
    return out << "]}";
}

std::vector<Placed> Describe(std::string_view text, const MarkupIndex& index) {
    std::vector<Placed> placed;
    for (const MarkupElement& e : index.Elements) {
        Placed p;
        p.markup = std::string(text.substr(e.TagBegin, e.EndTagEnd - e.TagBegin));
        p.parent = e.Parent == MarkupElement::kNoParent ? -1 : static_cast<int>(e.Parent);
        for (const MarkupAttribute& a : e.Attributes) {
            p.attributes.push_back(
                std::string(text.substr(a.NameBegin, a.NameEnd - a.NameBegin)) + "=" +
                std::string(text.substr(a.ValueBegin, a.ValueEnd - a.ValueBegin)));
        }
        placed.push_back(std::move(p));
    }
    return placed;
}

struct IndexCase {
    const char* name;
    std::string text;
    std::optional<std::vector<Placed>> expected;  // nullopt: refused
};

TEST(XmlMarkupTest, PlacesEveryElementAndRefusesWhatItCannotFollow) {
    const IndexCase cases[] = {
        {"nested elements, attributes in both quotes, blanks around '='",
         "<a x = '1' y=\"2\"><b/><c z='>'>t</c></a>",
         {{{"<a x = '1' y=\"2\"><b/><c z='>'>t</c></a>", -1, {"x=1", "y=2"}},
           {"<b/>", 0, {}},
           {"<c z='>'>t</c>", 0, {"z=>"}}}}},
        // Markup-like text inside comments, PIs and CDATA is no element.
        {"comments, processing instructions and CDATA",
         "<?xml version=\"1.0\"?><!-- <x> --><?p <y/> ?><r><!--<z/>--><![CDATA[<q/>]]>"
         "<?pi >?><s/></r><!-- after -->",
         {{{"<r><!--<z/>--><![CDATA[<q/>]]><?pi >?><s/></r>", -1, {}}, {"<s/>", 0, {}}}}},
        {"a document type declaration with an internal subset",
         "<!DOCTYPE r SYSTEM \"r>.dtd\" [\n<!ENTITY e \"]>\">\n<!-- ] ' -->\n<?p ]?>\n"
         "<!ATTLIST r a CDATA '>'>\n]>\n<r a=\"&e;\"/>",
         {{{"<r a=\"&e;\"/>", -1, {"a=&e;"}}}}},
        {"a byte order mark, end tags with blanks, line breaks inside tags",
         "\xEF\xBB\xBF<r\n  a='1'\n  ><c\t/></r  >\n",
         {{{"<r\n  a='1'\n  ><c\t/></r  >", -1, {"a=1"}}, {"<c\t/>", 0, {}}}}},
        {"namespace declarations are attributes of the text",
         "<p:r xmlns:p='urn:p' xmlns='urn:d' p:a='1'><p:c/></p:r>",
         {{{"<p:r xmlns:p='urn:p' xmlns='urn:d' p:a='1'><p:c/></p:r>",
            -1,
            {"xmlns:p=urn:p", "xmlns=urn:d", "p:a=1"}},
           {"<p:c/>", 0, {}}}}},
        {"deep nesting",
         "<a><b><c><d/></c></b></a>",
         {{{"<a><b><c><d/></c></b></a>", -1, {}},
           {"<b><c><d/></c></b>", 0, {}},
           {"<c><d/></c>", 1, {}},
           {"<d/>", 2, {}}}}},
        {"no root element", "<?xml version=\"1.0\"?><!-- none -->", std::nullopt},
        {"two root elements", "<a/><b/>", std::nullopt},
        {"an element left open", "<a><b></b>", std::nullopt},
        {"an end tag of another name", "<a><b></c></a>", std::nullopt},
        {"an end tag without a start", "</a>", std::nullopt},
        {"a comment cut off", "<a><!-- </a>", std::nullopt},
        {"a CDATA section outside the root", "<![CDATA[x]]><a/>", std::nullopt},
        {"an attribute value cut off", "<a b='1/>", std::nullopt},
        {"an attribute without a value", "<a b/>", std::nullopt},
        {"attributes not separated", "<a b='1'c='2'/>", std::nullopt},
        {"a document type after the root", "<a/><!DOCTYPE a>", std::nullopt},
    };
    for (const IndexCase& c : cases) {
        SCOPED_TRACE(c.name);
        const std::optional<MarkupIndex> index = IndexMarkup(c.text);
        ASSERT_EQ(index.has_value(), c.expected.has_value());
        if (!index) continue;
        EXPECT_EQ(Describe(c.text, *index), *c.expected);
        // Children lists agree with the parents.
        for (std::size_t i = 0; i < index->Elements.size(); ++i) {
            for (const std::size_t child : index->Elements[i].Children) {
                EXPECT_EQ(index->Elements[child].Parent, i);
            }
        }
    }
}

struct TagCase {
    std::string text;
    std::string beforeAttributesEnd;  // the start tag up to AttributesEnd
    bool empty;
    std::string content;  // between the start tag and the end tag
};

// Where the splices go: after the last attribute, and the content between the tags.
TEST(XmlMarkupTest, MarksTheEndOfTheAttributesAndTheContent) {
    const TagCase cases[] = {
        {"<a/>", "<a", true, ""},
        {"<a x='1'  />", "<a x='1'", true, ""},
        {"<a\n  x=\"1\"\n  y='2'\n>\n  <b/>\n</a>", "<a\n  x=\"1\"\n  y='2'", false, "\n  <b/>\n"},
        {"<a ></a>", "<a", false, ""},
    };
    for (const TagCase& c : cases) {
        SCOPED_TRACE(c.text);
        const std::optional<MarkupIndex> index = IndexMarkup(c.text);
        ASSERT_TRUE(index);
        const MarkupElement& root = index->Elements.front();
        EXPECT_EQ(c.text.substr(0, root.AttributesEnd), c.beforeAttributesEnd);
        EXPECT_EQ(root.Empty, c.empty);
        EXPECT_EQ(c.text.substr(root.StartTagEnd, root.EndTagBegin - root.StartTagEnd), c.content);
        EXPECT_EQ(root.EndTagEnd, c.text.size());
    }
}

}  // namespace
}  // namespace flanger::tool
