// MSXML behind the XML document layer, as the Windows build reads settings files: the trees that
// the files of tests/data/xml give, the files it refuses, hostile files that must not make it
// read anything but the file itself, and the parser's failures raised with their HRESULTs.
//
// The trees are MSXML's (here Wine's): white-space-only text is dropped, text arrives in the
// ANSI code page (1252 under Wine's default locale) with "?" for what the code page lacks.
#include <gtest/gtest.h>
#include <objbase.h>
#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <fstream>
#include <optional>
#include <string>
#include <thread>

#include "flanger_settings_node.h"
#include "platform/xml_document.h"
#include "tree_text.h"

namespace {

using flanger::platform::XmlParserError;

constexpr std::int32_t kNotInitialized = static_cast<std::int32_t>(0x800401F0u);  // CO_E_...
constexpr std::int32_t kPointer = static_cast<std::int32_t>(0x80004003u);         // E_POINTER

// The host's thread has COM initialised; the module never does it itself.
class ComApartment : public ::testing::Environment {
public:
    void SetUp() override {
        ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
    }
    void TearDown() override { CoUninitialize(); }
};
const auto* const kApartment = ::testing::AddGlobalTestEnvironment(new ComApartment);

std::string DataFile(const char* name) { return std::string(FLANGER_XML_TEST_DATA) + "/" + name; }

// The tree of the file, or nothing when LoadFromFile says false.
std::optional<std::string> TreeOf(const std::string& path) {
    SettingsNode node;
    if (!node.LoadFromFile(path.c_str())) {
        EXPECT_EQ(tree_text::Describe(node), "") << "a refused load changed the node";
        return std::nullopt;
    }
    return tree_text::Describe(node);
}

TEST(MsxmlReadingTest, TextArrivesInTheAnsiCodePage1252) { EXPECT_EQ(GetACP(), 1252u); }

struct FileCase {
    const char* file;
    const char* tree;  // null: LoadFromFile gives false
};

const FileCase kFiles[] = {
    {"root_only.xml", "Settings"},
    {"attributes_and_children.xml",
     "Effects[Version=2 Name=My presets Mode=x mode=y Empty=]{Flanger[Depth=0.5 Rate=1.25]"
     "{Value[Value=-1]} Chorus Flanger[Depth=0.75]}"},
    // Text and other non-element children are nodes with an empty name.
    {"text_content.xml", "Language[Path=fr]{}"},
    {"mixed_content.xml", "p{ b{}  i }"},
    {"comments.xml", "r{ c }"},
    {"cdata.xml", "r{}"},
    {"processing_instructions.xml", "r{ a }"},
    {"whitespace_dropped.xml", "r{a b c d{}}"},
    {"space_preserve.xml", "r{keep[xml:space=preserve]{ a{}  drop[xml:space=default]{b} } c}"},
    // Wine's MSXML lists no namespace declarations among an element's attributes.
    {"namespaces.xml",
     "s:Settings[Version=1 s:Mode=fast]{s:Child[xml:lang=en Plain=p] Inner[a=b] "
     "Late[a=1 late:b=2]}"},
    {"entities.xml",
     "r[predefined=<>&'\" characters=A\x80?\x3F declared=[Flanger & Co] mixed=xFlanger & Coyz "
     "spaces=a\nb\tc d e]{  e  }"},
    {"iso_8859_1.xml",
     "r[a=\xE4\xF6\xFC\xDF b=\xA4\xA9]{ Gr\xF6\xDF"
     "e}"},
    {"windows_1252.xml", "r[euro=\x80 quotes=\x93x\x94 oe=\x9C latin=\xE9]"},
    {"utf8_bom.xml",
     "Gr\xF6\xDF"
     "e[Wert=\xE4\x80?\x3F ?\x3F=?]{}"},
    {"utf8_no_declaration.xml",
     "Gr\xF6\xDF"
     "e[Wert=\xE4\x80?\x3F ?\x3F=?]{}"},
    {"utf16le_bom.xml",
     "Gr\xF6\xDF"
     "e[Wert=\xE4\x80?\x3F ?\x3F=?]{}"},
    {"utf16be_bom.xml",
     "Gr\xF6\xDF"
     "e[Wert=\xE4\x80?\x3F ?\x3F=?]{}"},
    // Nothing external is read: the entities and the DTD that point at external_leak.* stay
    // empty (their text would be "external ... read").
    {"external_entity.xml", "r{}"},
    {"external_entity_http.xml", "r{}"},
    {"external_dtd.xml", "r[a=]{}"},
    {"external_dtd_http.xml", "r"},
    {"external_parameter_entity.xml", "r"},
    {"external_entity_in_attribute.xml", nullptr},
    // Entity bombs and loops.
    {"billion_laughs.xml", nullptr},
    {"billion_laughs_attribute.xml", nullptr},
    {"entity_loop.xml", nullptr},
    // Not well-formed.
    {"not_well_formed.xml", nullptr},
    {"unclosed.xml", nullptr},
    {"two_roots.xml", nullptr},
    {"text_after_root.xml", nullptr},
    {"empty.xml", nullptr},
    {"whitespace_only.xml", nullptr},
    {"declaration_only.xml", nullptr},
    {"unknown_encoding.xml", nullptr},
    {"invalid_utf8.xml", nullptr},
    {"nul_byte.xml", nullptr},
    {"undeclared_entity.xml", nullptr},
    {"duplicate_attribute.xml", nullptr},
    {"duplicate_namespaced_attribute.xml", nullptr},
    // Wine's MSXML accepts an undeclared prefix, which libxml2 refuses.
    {"undeclared_prefix.xml", "r"},
    {"no_such_file.xml", nullptr},
};

TEST(MsxmlReadingTest, EveryFileGivesItsTreeOrIsRefused) {
    for (const FileCase& c : kFiles) {
        SCOPED_TRACE(c.file);
        const std::optional<std::string> tree = TreeOf(DataFile(c.file));
        if (c.tree == nullptr) {
            EXPECT_FALSE(tree.has_value()) << *tree;
        } else {
            EXPECT_EQ(tree, std::optional<std::string>(c.tree));
        }
    }
}

// A document nested far deeper than any settings file is refused, without running out of
// stack in the parser or in the reading of the tree.
TEST(MsxmlReadingTest, DeeplyNestedDocumentIsRefused) {
    char directory[MAX_PATH] = {};
    GetTempPathA(MAX_PATH, directory);
    const std::string path =
        std::string(directory) + "flanger-deep-" + std::to_string(GetCurrentProcessId()) + ".xml";
    {
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        constexpr int kDepth = 100000;
        for (int i = 0; i < kDepth; ++i) out << "<a>";
        for (int i = 0; i < kDepth; ++i) out << "</a>";
    }
    EXPECT_FALSE(TreeOf(path).has_value());
    DeleteFileA(path.c_str());
}

// A thread without COM: the parser cannot be created, and the runtime's status reaches the
// caller as the error's status, from the layer and through LoadFromFile.
TEST(MsxmlFailureTest, ThreadWithoutComRaisesNotInitialized) {
    std::optional<std::int32_t> fromCreate;
    std::optional<std::int32_t> fromLoad;
    std::thread([&] {
        try {
            flanger::platform::XmlDocument::Create();
        } catch (const XmlParserError& error) {
            fromCreate = error.Status();
        }
        try {
            SettingsNode node;
            node.LoadFromFile(DataFile("root_only.xml").c_str());
        } catch (const XmlParserError& error) {
            fromLoad = error.Status();
        }
    }).join();
    EXPECT_EQ(fromCreate, kNotInitialized);
    EXPECT_EQ(fromLoad, kNotInitialized);
}

// A call through an empty handle raises E_POINTER.
TEST(MsxmlFailureTest, EmptyHandlesRaisePointerErrors) {
    const struct {
        const char* label;
        void (*call)();
    } cases[] = {
        {"node name", [] { flanger::platform::XmlNode().Name(); }},
        {"child nodes", [] { flanger::platform::XmlNode().ChildNodes(); }},
        {"attributes", [] { flanger::platform::XmlNode().Attributes(); }},
        {"next attribute", [] { flanger::platform::XmlAttributeMap().NextNode(); }},
        {"next child", [] { flanger::platform::XmlNodeList().NextNode(); }},
        {"attribute value", [] { flanger::platform::XmlAttribute().Value(); }},
        {"document load", [] { flanger::platform::XmlDocument().Load("x.xml"); }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        std::optional<std::int32_t> status;
        try {
            c.call();
        } catch (const XmlParserError& error) {
            status = error.Status();
        }
        EXPECT_EQ(status, kPointer);
    }
}

}  // namespace
