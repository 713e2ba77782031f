// Reading XML files into a settings tree: the exact tree of every file in tests/data/xml (shapes,
// entities, namespaces, white space, encodings, hostile files), generated files too large or too
// deep to keep, paths that name no readable file, and loading into a node that holds content.
// A refused file must leave the node exactly as it was.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "flanger_settings_node.h"

namespace {

const std::string kDataDirectory = FLANGER_XML_TEST_DATA;

std::string DataFile(std::string_view name) { return kDataDirectory + "/" + std::string(name); }

void AppendEscaped(std::string& out, std::string_view text) {
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (std::string_view("\\[](),=").find(c) != std::string_view::npos) {
            out += '\\';
            out += c;
        } else if (c == '\n') {
            out += "\\n";
        } else if (c == '\t') {
            out += "\\t";
        } else if (c == '\r') {
            out += "\\r";
        } else if (byte < 0x20 || byte == 0x7F) {
            char hex[5];
            std::snprintf(hex, sizeof hex, "\\x%02X", byte);
            out += hex;
        } else {
            out += c;
        }
    }
}

void AppendLabel(std::string& out, const TreeNode& tree) {
    const auto* node = dynamic_cast<const SettingsNode*>(&tree);
    if (node == nullptr) {
        out += '?';
        return;
    }
    if (node->name.empty()) {
        out += '#';
    } else {
        AppendEscaped(out, node->name);
    }
    if (!node->attributes.empty()) {
        out += '[';
        for (std::size_t i = 0; i < node->attributes.size(); ++i) {
            if (i > 0) {
                out += ',';
            }
            AppendEscaped(out, node->attributes[i].name);
            out += '=';
            AppendEscaped(out, node->attributes[i].value);
        }
        out += ']';
    }
    if (node->extra != 0) {
        out += '{' + std::to_string(node->extra) + '}';
    }
}

// The compact form of a tree: name[attribute=value,...](child,...), where a node without a name
// (anything that was not an element) is '#' and empty brackets and parentheses are left out.
// The characters \[](),= in names and values are escaped with '\', control characters as \n,
// \t, \r or \xNN. An `extra` other than 0 shows as {n}; a child whose parent link or whose place
// as lastChild disagrees with the list is marked '!'. Written without recursion, so that a tree
// deeper than expected fails the comparison rather than the test program.
std::string Compact(const SettingsNode& root) {
    struct Frame {
        const TreeNode* node;
        const TreeNode* next;
    };
    std::string out;
    std::vector<Frame> open;
    auto enter = [&](const TreeNode& node) {
        AppendLabel(out, node);
        if (node.firstChild != nullptr) {
            out += '(';
            open.push_back({&node, node.firstChild});
        } else if (node.lastChild != nullptr) {
            out += '!';
        }
    };
    enter(root);
    while (!open.empty()) {
        Frame& frame = open.back();
        if (frame.next == nullptr) {
            out += ')';
            open.pop_back();
            continue;
        }
        const TreeNode* const child = frame.next;
        if (child != frame.node->firstChild) {
            out += ',';
        }
        if (child->parent != frame.node) {
            out += '!';
        }
        frame.next = child->nextSibling;
        if (frame.next == nullptr && frame.node->lastChild != child) {
            out += '!';
        }
        enter(*child);
    }
    return out;
}

// Compares compact trees; for trees too long to print whole, shows where they part.
void ExpectTree(const std::string& actual, std::string_view expected) {
    constexpr std::size_t kPrintable = 2000;
    if (actual.size() <= kPrintable && expected.size() <= kPrintable) {
        EXPECT_EQ(actual, expected);
        return;
    }
    if (actual == expected) {
        return;
    }
    const auto parting =
        std::mismatch(actual.begin(), actual.end(), expected.begin(), expected.end());
    const auto at = static_cast<std::size_t>(parting.first - actual.begin());
    ADD_FAILURE() << "trees of " << actual.size() << " and " << expected.size()
                  << " characters differ from character " << at << ": \"" << actual.substr(at, 60)
                  << "\" where \"" << expected.substr(at, 60) << "\" was expected";
}

// The content a refused load must leave alone.
void FillSentinel(SettingsNode& node) {
    node.name = "keep";
    node.extra = 7;
    node.attributes.push_back({"k", "v"});
    node.AddChild("old");
}
constexpr std::string_view kSentinel = "keep[k=v]{7}(old)";

// A fresh directory for generated files, removed with its content afterwards.
class ScratchDirectory {
public:
    ScratchDirectory() {
        const char* const base = std::getenv("TMPDIR");
        std::string pattern = std::string(base != nullptr && *base != '\0' ? base : "/tmp") +
                              "/flanger-xml-test-XXXXXX";
        if (mkdtemp(pattern.data()) == nullptr) {
            throw std::runtime_error("mkdtemp failed");
        }
        path_ = pattern;
    }
    ~ScratchDirectory() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    ScratchDirectory(const ScratchDirectory&) = delete;
    ScratchDirectory& operator=(const ScratchDirectory&) = delete;

    std::string Write(std::string_view name, std::string_view bytes) const {
        const std::string file = path_ + "/" + std::string(name);
        std::ofstream out(file, std::ios::binary);
        out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        if (!out) {
            throw std::runtime_error("cannot write " + file);
        }
        return file;
    }
    const std::string& Path() const { return path_; }

private:
    std::string path_;
};

std::string Repeat(std::string_view text, std::size_t count) {
    std::string result;
    result.reserve(text.size() * count);
    for (std::size_t i = 0; i < count; ++i) {
        result += text;
    }
    return result;
}

struct FileCase {
    const char* File;
    const char* Tree;  // null: the file is refused
};

const FileCase kFileCases[] = {
    // Shapes.
    {"root_only.xml", "Settings"},
    {"attributes_and_children.xml",
     "Effects[Version=2,Name=My presets,Mode=x,mode=y,Empty=](Flanger[Depth=0.5,Rate=1.25]("
     "Value[Value=-1]),Chorus,Flanger[Depth=0.75])"},
    {"text_content.xml", "Language[Path=fr](#)"},
    {"mixed_content.xml", "p(#,b(#),#,i,#)"},
    {"comments.xml", "r(#,c,#)"},
    // libxml2 keeps no node for an empty CDATA section; the white-space one is kept.
    {"cdata.xml", "r(#,#)"},
    {"processing_instructions.xml", "r(#,a,#)"},
    {"entities.xml",
     "r[predefined=<>&'\",characters=A€𝄞,declared=\\[Flanger & Co\\],mixed=xFlanger & Coyz,"
     "spaces=a\\nb\\tc d e](#,#,e,#,#)"},
    {"namespaces.xml",
     "s:Settings[xmlns:s=urn:example:settings,xmlns=urn:example:default,Version=1,"
     "s:Mode=fast](s:Child[xml:lang=en,Plain=p],Inner[xmlns=,a=b],"
     "Late[xmlns:late=urn:example:late,a=1,late:b=2])"},
    {"space_preserve.xml", "r(keep[xml:space=preserve](#,a(#),#,drop[xml:space=default](b),#),c)"},
    {"whitespace_dropped.xml", "r(a,b,c,d(#))"},
    // Encodings: every file arrives as UTF-8.
    {"utf8_bom.xml", "Größe[Wert=ä€𝄞,名前=値](#)"},
    {"utf8_no_declaration.xml", "Größe[Wert=ä€𝄞,名前=値](#)"},
    {"utf16le_bom.xml", "Größe[Wert=ä€𝄞,名前=値](#)"},
    {"utf16be_bom.xml", "Größe[Wert=ä€𝄞,名前=値](#)"},
    {"iso_8859_1.xml", "r[a=äöüß,b=¤©](#,Größe)"},
    {"windows_1252.xml", "r[euro=€,quotes=“x”,oe=œ,latin=é]"},
    // External entities and DTDs: never read, so their references stay empty nodes, their
    // entities expand to nothing and their default attributes are not added.
    {"external_leak.xml", "leak[secret=external file read]"},
    {"external_entity.xml", "r(#)"},
    {"external_entity_http.xml", "r(#)"},
    {"external_dtd.xml", "r[a=](#)"},
    {"external_dtd_http.xml", "r"},
    {"external_parameter_entity.xml", "r"},
    {"external_entity_in_attribute.xml", nullptr},
    // Entity bombs and loops.
    {"billion_laughs.xml", nullptr},
    {"billion_laughs_attribute.xml", nullptr},
    // Found by fuzzing: libxml2 alone takes a long time to refuse it (the lookups are bounded).
    {"nested_entities_attribute.xml", nullptr},
    {"entity_loop.xml", nullptr},
    // Not a well-formed document.
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
    // Not well-formed as to namespaces.
    {"undeclared_prefix.xml", nullptr},
    {"duplicate_namespaced_attribute.xml", nullptr},
};

TEST(SettingsNodeReadingTest, ReadsEachDataFileIntoItsExactTree) {
    for (const FileCase& test : kFileCases) {
        SCOPED_TRACE(test.File);
        const std::string path = DataFile(test.File);
        ASSERT_TRUE(std::filesystem::is_regular_file(path)) << path;
        if (test.Tree != nullptr) {
            SettingsNode node;
            EXPECT_TRUE(node.LoadFromFile(path.c_str()));
            ExpectTree(Compact(node), test.Tree);
        } else {
            SettingsNode node;
            FillSentinel(node);
            EXPECT_FALSE(node.LoadFromFile(path.c_str()));
            ExpectTree(Compact(node), kSentinel);
        }
    }
}

// A file added to tests/data/xml without a case in the table would test nothing.
TEST(SettingsNodeReadingTest, EveryDataFileHasACase) {
    std::set<std::string> listed;
    for (const FileCase& test : kFileCases) {
        listed.insert(test.File);
    }
    for (const auto& entry : std::filesystem::directory_iterator(kDataDirectory)) {
        if (entry.path().extension() == ".xml") {
            EXPECT_EQ(listed.count(entry.path().filename().string()), 1u)
                << entry.path().filename();
        }
    }
}

// Files too large or too deep to keep in the repository, and files that need an absolute path.
TEST(SettingsNodeReadingTest, ReadsOrRefusesGeneratedFiles) {
    const ScratchDirectory scratch;
    const std::string entity10k =
        "<!DOCTYPE r [<!ENTITY big \"" + std::string(10'000, 'x') + "\">]>\n";
    struct GeneratedCase {
        const char* What;
        std::string Content;
        std::string Tree;  // empty: refused
    };
    const GeneratedCase cases[] = {
        {"a million levels deep", Repeat("<a>", 1'000'000) + Repeat("</a>", 1'000'000), ""},
        {"two hundred levels deep", Repeat("<a>", 200) + Repeat("</a>", 200),
         Repeat("a(", 199) + "a" + Repeat(")", 199)},
        {"external entity by absolute file URL",
         "<!DOCTYPE r [<!ENTITY leak SYSTEM \"file://" + DataFile("external_leak.xml") +
             "\">]>\n<r>&leak;</r>",
         "r(#)"},
        {"external DTD by absolute file URL",
         "<!DOCTYPE r SYSTEM \"file://" + DataFile("external_leak.dtd") +
             "\">\n<r a=\"&leaked;\"/>",
         "r[a=]"},
        // One entity used many times: 9 MB of attribute text is read, 11 MB is refused.
        {"9 MB of entity text in an attribute",
         entity10k + "<r a=\"" + Repeat("&big;", 900) + "\"/>",
         "r[a=" + std::string(9'000'000, 'x') + "]"},
        {"11 MB of entity text in attributes",
         entity10k + "<r a=\"" + Repeat("&big;", 600) + "\"><s b=\"" + Repeat("&big;", 500) +
             "\"/></r>",
         ""},
        // In content a reference is one node however often it is used; nothing is expanded.
        {"11 MB of entity references in content",
         entity10k + "<r>" + Repeat("&big;", 1100) + "</r>", "r(" + Repeat("#,", 1099) + "#)"},
    };
    for (const GeneratedCase& test : cases) {
        SCOPED_TRACE(test.What);
        const std::string path = scratch.Write("generated.xml", test.Content);
        SettingsNode node;
        if (!test.Tree.empty()) {
            EXPECT_TRUE(node.LoadFromFile(path.c_str()));
            ExpectTree(Compact(node), test.Tree);
        } else {
            FillSentinel(node);
            EXPECT_FALSE(node.LoadFromFile(path.c_str()));
            ExpectTree(Compact(node), kSentinel);
        }
    }
}

TEST(SettingsNodeReadingTest, PathsWithoutAReadableFileAreRefused) {
    const ScratchDirectory scratch;
    const std::string fifo = scratch.Path() + "/fifo.xml";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    const std::string missing = scratch.Path() + "/missing.xml";
    struct PathCase {
        const char* What;
        const char* Path;
    };
    const PathCase cases[] = {
        {"missing file", missing.c_str()},
        {"directory", kDataDirectory.c_str()},
        {"FIFO without a writer", fifo.c_str()},
        {"device", "/dev/zero"},
        {"empty path", ""},
        {"null path", nullptr},
    };
    for (const PathCase& test : cases) {
        SCOPED_TRACE(test.What);
        SettingsNode node;
        FillSentinel(node);
        EXPECT_FALSE(node.LoadFromFile(test.Path));
        ExpectTree(Compact(node), kSentinel);
    }
}

// A relative path is taken from the current directory.
TEST(SettingsNodeReadingTest, ReadsARelativePath) {
    const std::filesystem::path before = std::filesystem::current_path();
    std::filesystem::current_path(kDataDirectory);
    SettingsNode node;
    const bool loaded = node.LoadFromFile("text_content.xml");
    std::filesystem::current_path(before);
    EXPECT_TRUE(loaded);
    EXPECT_EQ(Compact(node), "Language[Path=fr](#)");
}

// Loading into a node that holds content works as reading an element into it: the name is
// replaced, `extra` set to 0, and the attributes and children appended.
TEST(SettingsNodeReadingTest, LoadingIntoANodeWithContentAppends) {
    SettingsNode node;
    FillSentinel(node);
    ASSERT_TRUE(node.LoadFromFile(DataFile("text_content.xml").c_str()));
    EXPECT_EQ(Compact(node), "Language[k=v,Path=fr](old,#)");
}

TEST(SettingsNodeReadingTest, LoadingAgainAppendsAgain) {
    SettingsNode node;
    const std::string path = DataFile("mixed_content.xml");
    ASSERT_TRUE(node.LoadFromFile(path.c_str()));
    ASSERT_TRUE(node.LoadFromFile(path.c_str()));
    EXPECT_EQ(Compact(node), "p(#,b(#),#,i,#,#,b(#),#,i,#)");
}

}  // namespace
