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
#include <vector>

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

// The same file as a host hands it to us: a drive path with backslashes. The build's paths are
// Unix paths, which Wine maps to drive Z:.
std::string WindowsPath(std::string path) {
    for (char& c : path) {
        if (c == '/') c = '\\';
    }
    return "Z:" + path;
}

std::string Repeat(const std::string& text, int count) {
    std::string result;
    for (int i = 0; i < count; ++i) result += text;
    return result;
}

// A scratch directory below the user's temporary folder (a Windows path), removed with its files.
class ScratchDirectory {
public:
    ScratchDirectory() {
        char temp[MAX_PATH] = {};
        GetTempPathA(MAX_PATH, temp);
        path_ = std::string(temp) + "flanger-msxml-" + std::to_string(GetCurrentProcessId());
        EXPECT_TRUE(CreateDirectoryA(path_.c_str(), nullptr)) << path_;
    }
    ~ScratchDirectory() {
        for (const std::string& file : files_) DeleteFileA(file.c_str());
        RemoveDirectoryA(path_.c_str());
    }
    ScratchDirectory(const ScratchDirectory&) = delete;
    ScratchDirectory& operator=(const ScratchDirectory&) = delete;

    std::string Write(const std::string& name, const std::string& content) {
        const std::string file = path_ + "\\" + name;
        std::ofstream out(file, std::ios::binary | std::ios::trunc);
        out << content;
        files_.push_back(file);
        return file;
    }

private:
    std::string path_;
    std::vector<std::string> files_;
};

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
    // Wine's attribute map walks no namespace declarations with nextNode (get_item has them,
    // after the other attributes), so none reach the tree.
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
    {"nested_entities_attribute.xml", nullptr},
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
        // Hosts name files by drive path; MSXML under Wine takes the Unix form as well, and the
        // external references stay unread from either.
        for (const std::string& path : {DataFile(c.file), WindowsPath(DataFile(c.file))}) {
            SCOPED_TRACE(path);
            const std::optional<std::string> tree = TreeOf(path);
            if (c.tree == nullptr) {
                EXPECT_FALSE(tree.has_value()) << *tree;
            } else {
                EXPECT_EQ(tree, std::optional<std::string>(c.tree));
            }
        }
    }
}

// Files too deep to keep in the repository, and external references by absolute name or to a
// file beside the document, which must stay unread as the relative ones do.
TEST(MsxmlReadingTest, ReadsOrRefusesGeneratedFiles) {
    ScratchDirectory scratch;
    const std::string beside =
        scratch.Write("beside.xml", "<leak secret=\"file beside the document read\"/>");
    const std::string leakXml = DataFile("external_leak.xml");
    const std::string leakDtd = DataFile("external_leak.dtd");
    const struct {
        const char* what;
        std::string content;
        std::optional<std::string> tree;  // nothing: refused
    } cases[] = {
        // Far deeper than any settings file: refused, without running out of stack in the parser
        // or in the reading of the tree.
        {"a hundred thousand levels deep", Repeat("<a>", 100000) + Repeat("</a>", 100000),
         std::nullopt},
        {"two hundred levels deep", Repeat("<a>", 200) + Repeat("</a>", 200),
         Repeat("a{", 199) + "a" + Repeat("}", 199)},
        {"external entity by file URL",
         "<!DOCTYPE r [<!ENTITY leak SYSTEM \"file://" + leakXml + "\">]>\n<r>&leak;</r>", "r{}"},
        {"external entity by drive path",
         "<!DOCTYPE r [<!ENTITY leak SYSTEM \"" + WindowsPath(leakXml) + "\">]>\n<r>&leak;</r>",
         "r{}"},
        {"external entity beside the document",
         "<!DOCTYPE r [<!ENTITY leak SYSTEM \"beside.xml\">]>\n<r>&leak;</r>", "r{}"},
        {"external entity by drive path in an attribute",
         "<!DOCTYPE r [<!ENTITY leak SYSTEM \"" + beside + "\">]>\n<r a=\"&leak;\"/>",
         std::nullopt},
        {"external DTD by file URL",
         "<!DOCTYPE r SYSTEM \"file://" + leakDtd + "\">\n<r a=\"&leaked;\"/>", "r[a=]"},
        {"external DTD by drive path",
         "<!DOCTYPE r SYSTEM \"" + WindowsPath(leakDtd) + "\">\n<r a=\"&leaked;\"/>", "r[a=]"},
        // Wine's parser refuses a drive path as a parameter entity's system identifier (it is no
        // URI), used or not, without opening the file; read, the DTD would have declared "leaked"
        // and the first of these would have loaded with its text.
        {"external parameter entity by drive path",
         "<!DOCTYPE r [<!ENTITY % dtd SYSTEM \"" + WindowsPath(leakDtd) +
             "\"> %dtd;]>\n<r a=\"&leaked;\"/>",
         std::nullopt},
        {"external parameter entity by drive path, unused",
         "<!DOCTYPE r [<!ENTITY % dtd SYSTEM \"" + WindowsPath(leakDtd) + "\"> %dtd;]>\n<r/>",
         std::nullopt},
        {"external parameter entity by file URL",
         "<!DOCTYPE r [<!ENTITY % dtd SYSTEM \"file://" + leakDtd + "\"> %dtd;]>\n<r/>", "r"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(TreeOf(scratch.Write("generated.xml", c.content)), c.tree);
    }
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
