// The DOM access layer on its own: calls through empty handles, handles that outlive their
// document, the kinds of child nodes, and what a host that uses libxml2 itself must not notice:
// its error handlers and last error, its parser defaults and entity loader. Also files the test
// cannot read and allocations that fail.
//
// The exact trees of the data files are checked through the settings tree
// (tests/settings_tree/settings_node_reading_test.cpp).
#include "platform/xml_document.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdarg>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "profile_test_support.h"
#include "xml_host_library.h"

namespace flanger::platform {
namespace {

using test::HostXml;
using test::HostXmlLibrary;
using test::ScratchDirectory;
using test::WriteBytes;

std::string DataFile(const char* name) { return std::string(FLANGER_XML_TEST_DATA) + "/" + name; }

// The layer's view of a subtree: name[attribute=value,...](child,...), where a node that is not
// an element shows its name in quotes ('#text', 'target', 'entity').
std::string Describe(const XmlNode& node) {
    if (!node.IsElement()) {
        return "'" + node.Name() + "'";
    }
    std::string out = node.Name();
    XmlAttributeMap attributes = node.Attributes();
    std::string list;
    for (XmlAttribute attribute = attributes.NextNode(); !attribute.IsEmpty();
         attribute = attributes.NextNode()) {
        list += (list.empty() ? "" : ",") + attribute.Name() + "=" + attribute.Value();
    }
    if (!list.empty()) {
        out += "[" + list + "]";
    }
    XmlNodeList children = node.ChildNodes();
    std::string inner;
    for (XmlNode child = children.NextNode(); !child.IsEmpty(); child = children.NextNode()) {
        inner += (inner.empty() ? "" : ",") + Describe(child);
    }
    if (!inner.empty()) {
        out += "(" + inner + ")";
    }
    return out;
}

// The tree of the file, or nothing when it does not load.
std::optional<std::string> LoadAndDescribe(const std::string& path) {
    XmlDocument document = XmlDocument::Create();
    if (!document.Load(path.c_str())) {
        return std::nullopt;
    }
    return Describe(document.DocumentElement());
}

TEST(XmlDocumentTest, CallsThroughEmptyHandlesRaiseThePointerStatus) {
    const std::function<void()> calls[] = {
        [] { XmlDocument().Load(DataFile("root_only.xml").c_str()); },
        [] { XmlDocument().DocumentElement(); },
        [] { XmlNode().IsElement(); },
        [] { XmlNode().Name(); },
        [] { XmlNode().Attributes(); },
        [] { XmlNode().ChildNodes(); },
        [] { XmlNodeList().NextNode(); },
        [] { XmlAttributeMap().NextNode(); },
        [] { XmlAttribute().Name(); },
        [] { XmlAttribute().Value(); },
    };
    for (std::size_t i = 0; i < std::size(calls); ++i) {
        SCOPED_TRACE("call " + std::to_string(i));
        try {
            calls[i]();
            ADD_FAILURE() << "no error raised";
        } catch (const XmlParserError& error) {
            EXPECT_EQ(error.Status(), kXmlStatusPointer);
        }
    }
    EXPECT_TRUE(XmlNode().IsEmpty());
    EXPECT_TRUE(XmlNodeList().IsEmpty());
    EXPECT_TRUE(XmlAttributeMap().IsEmpty());
    EXPECT_TRUE(XmlAttribute().IsEmpty());
}

// Every handle holds the parsed tree: nodes, lists and maps stay readable after the document
// object is gone and after it has loaded another file or failed to.
TEST(XmlDocumentTest, HandlesKeepTheirDocumentAlive) {
    XmlNode root;
    XmlNodeList children;
    XmlAttributeMap attributes;
    {
        XmlDocument document = XmlDocument::Create();
        EXPECT_TRUE(document.DocumentElement().IsEmpty());
        ASSERT_TRUE(document.Load(DataFile("attributes_and_children.xml").c_str()));
        root = document.DocumentElement();
        children = root.ChildNodes();
        attributes = root.Attributes();
        ASSERT_EQ(children.NextNode().Name(), "Flanger");

        XmlNode laterRoot;
        ASSERT_TRUE(document.Load(DataFile("text_content.xml").c_str()));
        laterRoot = document.DocumentElement();
        EXPECT_FALSE(document.Load(DataFile("not_well_formed.xml").c_str()));
        EXPECT_TRUE(document.DocumentElement().IsEmpty());
        EXPECT_EQ(Describe(laterRoot), "Language[Path=fr]('#text')");
    }
    EXPECT_EQ(root.Name(), "Effects");
    EXPECT_EQ(children.NextNode().Name(), "Chorus");
    XmlAttribute first = attributes.NextNode();
    EXPECT_EQ(first.Name() + "=" + first.Value(), "Version=2");
    EXPECT_EQ(Describe(root),
              "Effects[Version=2,Name=My presets,Mode=x,mode=y,Empty=](Flanger[Depth=0.5,"
              "Rate=1.25](Value[Value=-1]),Chorus,Flanger[Depth=0.75])");
}

TEST(XmlDocumentTest, ListsEveryKindOfChildNode) {
    const ScratchDirectory scratch;
    const std::string path = scratch / "kinds.xml";
    WriteBytes(path,
               "<!DOCTYPE r [<!ENTITY e \"<inner/>\">]>\n"
               "<r><c/>text<![CDATA[data]]><!--note--><?target data?>&e;</r>\n");
    XmlDocument document = XmlDocument::Create();
    ASSERT_TRUE(document.Load(path.c_str()));
    struct Kind {
        bool Element;
        const char* Name;
    };
    const Kind expected[] = {{true, "c"},         {false, "#text"},  {false, "#cdata-section"},
                             {false, "#comment"}, {false, "target"}, {false, "e"}};
    XmlNodeList children = document.DocumentElement().ChildNodes();
    for (const Kind& kind : expected) {
        SCOPED_TRACE(kind.Name);
        const XmlNode child = children.NextNode();
        ASSERT_FALSE(child.IsEmpty());
        EXPECT_EQ(child.IsElement(), kind.Element);
        EXPECT_EQ(child.Name(), kind.Name);
        // Only an element has attributes and children; an entity reference's replacement
        // (here an element) is not listed under it.
        XmlAttributeMap attributes = child.Attributes();
        XmlNodeList grandchildren = child.ChildNodes();
        ASSERT_FALSE(attributes.IsEmpty());
        ASSERT_FALSE(grandchildren.IsEmpty());
        EXPECT_TRUE(attributes.NextNode().IsEmpty());
        EXPECT_TRUE(grandchildren.NextNode().IsEmpty());
    }
    EXPECT_TRUE(children.NextNode().IsEmpty());
    EXPECT_TRUE(children.NextNode().IsEmpty());
}

// Permission bits do not stop root, so the load runs in a child without privileges.
TEST(XmlDocumentTest, AFileWithoutReadPermissionIsRefused) {
    const ScratchDirectory scratch;
    ASSERT_EQ(chmod(scratch.Path().c_str(), 0755), 0);
    struct PermissionCase {
        mode_t Mode;
        bool Loads;
    };
    for (const PermissionCase test : {PermissionCase{0000, false}, PermissionCase{0644, true}}) {
        SCOPED_TRACE(test.Mode);
        const std::string path = scratch / ("mode" + std::to_string(test.Mode) + ".xml");
        WriteBytes(path, "<r/>");
        ASSERT_EQ(chmod(path.c_str(), test.Mode), 0);
        const std::optional<bool> asExpected = test::RunUnprivileged([&] {
            XmlDocument document = XmlDocument::Create();
            return document.Load(path.c_str()) == test.Loads;
        });
        ASSERT_TRUE(asExpected.has_value()) << "could not run without privileges";
        EXPECT_TRUE(*asExpected);
    }
}

// Counts what reaches the host's own handlers and entity loader.
int hostStructuredReports = 0;
int hostGenericReports = 0;
int hostEntityLoads = 0;

void HostStructuredHandler(void*, void*) { ++hostStructuredReports; }
void HostGenericHandler(void*, const char*, ...) { ++hostGenericReports; }
void* HostEntityLoader(const char*, const char*, void*) {
    ++hostEntityLoads;
    return nullptr;
}

// Installs the host's handlers on this thread and puts the previous ones back afterwards.
class HostErrorHandlers {
public:
    HostErrorHandlers()
        : structured_(*HostXml().StructuredError()),
          structuredContext_(*HostXml().StructuredErrorContext()),
          generic_(*HostXml().GenericError()),
          genericContext_(*HostXml().GenericErrorContext()) {
        HostXml().SetStructuredErrorFunc(&hostContext, &HostStructuredHandler);
        HostXml().SetGenericErrorFunc(&hostContext, &HostGenericHandler);
        hostStructuredReports = 0;
        hostGenericReports = 0;
    }
    ~HostErrorHandlers() {
        *HostXml().StructuredError() = structured_;
        *HostXml().StructuredErrorContext() = structuredContext_;
        *HostXml().GenericError() = generic_;
        *HostXml().GenericErrorContext() = genericContext_;
        HostXml().ResetLastError();
    }
    HostErrorHandlers(const HostErrorHandlers&) = delete;
    HostErrorHandlers& operator=(const HostErrorHandlers&) = delete;

    static inline int hostContext = 0;

private:
    HostXmlLibrary::StructuredErrorHandler structured_;
    void* structuredContext_;
    HostXmlLibrary::GenericErrorHandler generic_;
    void* genericContext_;
};

// A failed load must not print, call the host's handlers, replace them, or leave its error as the
// thread's last error, whether the host had one before or not.
TEST(XmlDocumentTest, LoadsLeaveTheHostsErrorStateAlone) {
    const HostErrorHandlers handlers;
    const char* const files[] = {
        "not_well_formed.xml",   "empty.xml", "billion_laughs.xml", "unknown_encoding.xml",
        "undeclared_prefix.xml",
        "external_dtd.xml",  // loads, with warnings about its undeclared entity
        "no_such_file.xml",
    };
    for (const bool hostHadAnError : {false, true}) {
        HostXml().ResetLastError();
        if (hostHadAnError) {
            void* const document = HostXml().ReadMemory("<host>", 6, "host.xml", nullptr, 0);
            ASSERT_EQ(document, nullptr);
        }
        const std::string hostError = test::DescribeLastError();
        ASSERT_EQ(hostError == "none", !hostHadAnError);
        hostStructuredReports = 0;
        hostGenericReports = 0;
        for (const char* file : files) {
            SCOPED_TRACE(std::string(file) + (hostHadAnError ? ", host had an error" : ""));
            XmlDocument document = XmlDocument::Create();
            document.Load(DataFile(file).c_str());
            EXPECT_EQ(hostStructuredReports, 0);
            EXPECT_EQ(hostGenericReports, 0);
            EXPECT_EQ(*HostXml().StructuredError(), &HostStructuredHandler);
            EXPECT_EQ(*HostXml().StructuredErrorContext(), &HostErrorHandlers::hostContext);
            EXPECT_EQ(*HostXml().GenericError(), &HostGenericHandler);
            EXPECT_EQ(*HostXml().GenericErrorContext(), &HostErrorHandlers::hostContext);
            EXPECT_EQ(test::DescribeLastError(), hostError);
        }
    }
}

// Old-style libxml2 code changes per-thread parser defaults (substitute entities, load the
// external DTD, validate, drop blanks) and may install its own entity loader. None of that may
// make the module fetch anything or read a file differently.
TEST(XmlDocumentTest, TheHostsParserDefaultsDoNotApply) {
    const HostXmlLibrary& host = HostXml();
    const int substitute = host.SubstituteEntitiesDefault(1);
    const int keepBlanks = host.KeepBlanksDefault(0);
    const int loadDtd = *host.LoadExtDtdDefaultValue();
    const int validate = *host.DoValidityCheckingDefaultValue();
    const HostXmlLibrary::EntityLoader loader = host.GetExternalEntityLoader();
    // XML_DETECT_IDS | XML_COMPLETE_ATTRS: load the external DTD and add its default attributes.
    *host.LoadExtDtdDefaultValue() = 2 | 4;
    *host.DoValidityCheckingDefaultValue() = 1;
    host.SetExternalEntityLoader(&HostEntityLoader);
    hostEntityLoads = 0;

    struct Case {
        const char* File;
        const char* Tree;
    };
    const Case cases[] = {
        {"external_entity.xml", "r('leak')"},
        {"external_entity_http.xml", "r('remote')"},
        {"external_dtd.xml", "r[a=]('leaked')"},
        {"external_dtd_http.xml", "r"},
        {"external_parameter_entity.xml", "r"},
        {"entities.xml",
         "r[predefined=<>&'\",characters=A€𝄞,declared=[Flanger & Co],mixed=xFlanger & Coyz,"
         "spaces=a\nb\tc d e]('company','#text',e,'#text','empty')"},
        {"space_preserve.xml",
         "r(keep[xml:space=preserve]('#text',a('#text'),'#text',drop[xml:space=default](b),"
         "'#cdata-section'),c)"},
    };
    std::vector<std::string> results;
    for (const Case& test : cases) {
        results.push_back(LoadAndDescribe(DataFile(test.File)).value_or("refused"));
    }
    const int entityLoads = hostEntityLoads;

    host.SetExternalEntityLoader(loader);
    *host.DoValidityCheckingDefaultValue() = validate;
    *host.LoadExtDtdDefaultValue() = loadDtd;
    host.KeepBlanksDefault(keepBlanks);
    host.SubstituteEntitiesDefault(substitute);

    EXPECT_EQ(entityLoads, 0);
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        EXPECT_EQ(results[i], cases[i].Tree) << cases[i].File;
    }
}

// An allocator for libxml2 that refuses blocks above a size; installed through the host's view,
// as a host would install its own, and removed again.
std::size_t largestAllowedBlock = 0;

void* LimitedMalloc(std::size_t size) {
    return size > largestAllowedBlock ? nullptr : std::malloc(size);
}
void* LimitedRealloc(void* block, std::size_t size) {
    return size > largestAllowedBlock ? nullptr : std::realloc(block, size);
}
char* LimitedStrdup(const char* text) {
    const std::size_t size = std::strlen(text) + 1;
    auto* const copy = static_cast<char*>(LimitedMalloc(size));
    if (copy != nullptr) {
        std::memcpy(copy, text, size);
    }
    return copy;
}
void PlainFree(void* block) { std::free(block); }

class LimitedAllocator {
public:
    explicit LimitedAllocator(std::size_t largest) {
        HostXml().MemGet(&free_, &malloc_, &realloc_, &strdup_);
        largestAllowedBlock = largest;
        HostXml().MemSetup(&PlainFree, &LimitedMalloc, &LimitedRealloc, &LimitedStrdup);
    }
    ~LimitedAllocator() { HostXml().MemSetup(free_, malloc_, realloc_, strdup_); }
    LimitedAllocator(const LimitedAllocator&) = delete;
    LimitedAllocator& operator=(const LimitedAllocator&) = delete;

private:
    HostXmlLibrary::FreeFunction free_ = nullptr;
    HostXmlLibrary::MallocFunction malloc_ = nullptr;
    HostXmlLibrary::ReallocFunction realloc_ = nullptr;
    HostXmlLibrary::StrdupFunction strdup_ = nullptr;
};

// Running out of memory is a failure of the parser, not a file that does not load. libxml2 2.9
// often reports a later, unrelated error as its last one; the status must still say memory.
TEST(XmlDocumentTest, RunningOutOfMemoryRaisesTheOutOfMemoryStatus) {
    const ScratchDirectory scratch;
    const std::string bigText = scratch / "big_text.xml";
    const std::string bigAttribute = scratch / "big_attribute.xml";
    WriteBytes(bigText, "<r><a/>" + std::string(1'000'000, 'x') + "<b/></r>");
    WriteBytes(bigAttribute, "<r a=\"" + std::string(1'000'000, 'x') + "\"/>");
    const HostErrorHandlers handlers;
    for (const std::string& path : {bigText, bigAttribute}) {
        SCOPED_TRACE(path);
        XmlDocument document = XmlDocument::Create();
        try {
            const LimitedAllocator allocator(256 * 1024);
            document.Load(path.c_str());
            ADD_FAILURE() << "no error raised";
        } catch (const XmlParserError& error) {
            EXPECT_EQ(error.Status(), kXmlStatusOutOfMemory);
        }
        EXPECT_TRUE(document.DocumentElement().IsEmpty());
        // The same document loads once memory is there again.
        EXPECT_TRUE(document.Load(path.c_str()));
    }
    try {
        const LimitedAllocator allocator(0);
        XmlDocument::Create();
        ADD_FAILURE() << "no error raised";
    } catch (const XmlParserError& error) {
        EXPECT_EQ(error.Status(), kXmlStatusOutOfMemory);
    }
    // libxml2 reports most of these failures without a parser context; they must not reach
    // the host's handlers either.
    EXPECT_EQ(hostStructuredReports, 0);
    EXPECT_EQ(hostGenericReports, 0);
    EXPECT_EQ(test::DescribeLastError(), "none");
}

}  // namespace
}  // namespace flanger::platform
