// The DOM access layer of xml_document.h over libxml2.
//
// Load parses the whole file into libxml2's tree; the handles then walk that tree. Every handle
// holds a shared reference to the parsed tree, so a node stays valid however long its document
// object lives. The parser context is made once per XmlDocument and reused by each Load.
//
// What a loaded document looks like through the handles:
// - Only the root element's subtree is visible: the DOCTYPE and the comments and processing
//   instructions outside the root element are not.
// - An element's attributes: its namespace declarations first (libxml2 keeps them apart from
//   the other attributes, so their place among them is lost), then the others as written.
// - Entity references in content stay reference nodes; in attribute values they are expanded.
#include <libxml/SAX2.h>
#include <libxml/parser.h>
#include <libxml/tree.h>

#include <memory>
#include <new>
#include <string>
#include <utility>

#include "platform/posix/xml_file_input.h"
#include "platform/posix/xml_node_text.h"
#include "platform/posix/xml_parse_errors.h"
#include "platform/xml_document.h"

namespace flanger::platform {
namespace {

// No XML_PARSE_NOENT, DTDLOAD, DTDATTR or DTDVALID: each makes libxml2 read external entities
// or DTDs. No XML_PARSE_HUGE: without it libxml2 bounds the nesting depth (256 levels), the size
// of a text and the amplification of entities. NONET refuses the network should anything still
// ask for it. NOERROR and NOWARNING remove the context's printing handlers, behind the report's
// own handler, which libxml2 asks first.
constexpr int kParseOptions = XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING;

// Every reference to a declared entity is looked up through the SAX handler, nested ones once
// per level of each expansion. libxml2 2.9 bounds what expansions produce, but some nestings in
// attribute values get past its check only after a long time (700 bytes took half a second of
// processor time, every lookup copying what the one below expanded to); so a document is refused
// once it has looked up this many, far more than a settings file declares and uses. Parsing runs on
// the loading thread, hence the thread's count.
constexpr unsigned long kMostEntityLookups = 10000;
thread_local unsigned long entityLookups = 0;

xmlEntityPtr BoundedGetEntity(void* context, const xmlChar* name) {
    if (++entityLookups > kMostEntityLookups) {
        xmlStopParser(static_cast<xmlParserCtxtPtr>(context));
        return nullptr;
    }
    return xmlSAX2GetEntity(context, name);
}

struct ParserDeleter {
    void operator()(xmlParserCtxtPtr parser) const { xmlFreeParserCtxt(parser); }
};

struct DocumentDeleter {
    void operator()(xmlDocPtr document) const { xmlFreeDoc(document); }
};

using DocumentPointer = std::unique_ptr<xmlDoc, DocumentDeleter>;

[[noreturn]] void ThrowOutOfMemory(const char* operation) {
    throw XmlParserError(kXmlStatusOutOfMemory,
                         std::string("XML parser out of memory: ") + operation);
}

template <typename Handle>
void RequireState(const Handle& state, const char* operation) {
    if (!state) {
        throw XmlParserError(
            kXmlStatusPointer,
            std::string("XML parser called through an empty handle: ") + operation);
    }
}

// Runs `body`, turning a failed allocation of ours into the parser failure that the layer
// promises for running out of memory.
template <typename Body>
auto Guarded(const char* operation, Body&& body) {
    try {
        return std::forward<Body>(body)();
    } catch (const std::bad_alloc&) {
        ThrowOutOfMemory(operation);
    }
}

}  // namespace

// One parsed file, shared by every handle taken from it.
struct XmlTree {
    explicit XmlTree(DocumentPointer parsed) : document(std::move(parsed)) {}
    DocumentPointer document;
};

struct XmlDocumentState {
    std::unique_ptr<xmlParserCtxt, ParserDeleter> parser;
    std::shared_ptr<const XmlTree> tree;  // null before a successful load
};

struct XmlNodeState {
    std::shared_ptr<const XmlTree> tree;
    xmlNodePtr node = nullptr;
    // For an element: whether xml:space="preserve" is in force for its content. Carried down
    // from the parent rather than looked up through the ancestors at every element.
    bool preserveSpace = false;
};

struct XmlNodeListState {
    std::shared_ptr<const XmlTree> tree;
    xmlNodePtr next = nullptr;  // the node to consider next
    bool preserveSpace = false;
};

struct XmlAttributeMapState {
    std::shared_ptr<const XmlTree> tree;
    xmlNsPtr nextDeclaration = nullptr;
    xmlAttrPtr nextAttribute = nullptr;
};

struct XmlAttributeState {
    std::shared_ptr<const XmlTree> tree;
    xmlNsPtr declaration = nullptr;  // set for a namespace declaration
    xmlAttrPtr attribute = nullptr;  // set for any other attribute
};

bool XmlAttribute::IsEmpty() const { return !state_; }

std::string XmlAttribute::Name() const {
    RequireState(state_, "attribute name");
    return Guarded("attribute name", [&] {
        return state_->declaration != nullptr ? NamespaceDeclarationName(state_->declaration)
                                              : AttributeName(state_->attribute);
    });
}

std::string XmlAttribute::Value() const {
    RequireState(state_, "attribute value");
    return Guarded("attribute value", [&] {
        return state_->declaration != nullptr
                   ? NamespaceDeclarationValue(state_->declaration)
                   : AttributeValue(state_->tree->document.get(), state_->attribute);
    });
}

bool XmlAttributeMap::IsEmpty() const { return !state_; }

XmlAttribute XmlAttributeMap::NextNode() {
    RequireState(state_, "next attribute");
    return Guarded("next attribute", [&] {
        XmlAttribute result;
        if (state_->nextDeclaration == nullptr && state_->nextAttribute == nullptr) {
            return result;
        }
        auto item = std::make_shared<XmlAttributeState>();
        item->tree = state_->tree;
        if (state_->nextDeclaration != nullptr) {
            item->declaration = state_->nextDeclaration;
            state_->nextDeclaration = state_->nextDeclaration->next;
        } else {
            item->attribute = state_->nextAttribute;
            state_->nextAttribute = state_->nextAttribute->next;
        }
        result.state_ = std::move(item);
        return result;
    });
}

bool XmlNode::IsEmpty() const { return !state_; }

bool XmlNode::IsElement() const {
    RequireState(state_, "node type");
    return state_->node->type == XML_ELEMENT_NODE;
}

std::string XmlNode::Name() const {
    RequireState(state_, "node name");
    return Guarded("node name", [&] { return NodeName(state_->node); });
}

XmlAttributeMap XmlNode::Attributes() const {
    RequireState(state_, "attributes");
    return Guarded("attributes", [&] {
        auto map = std::make_shared<XmlAttributeMapState>();
        map->tree = state_->tree;
        if (state_->node->type == XML_ELEMENT_NODE) {
            map->nextDeclaration = state_->node->nsDef;
            map->nextAttribute = state_->node->properties;
        }
        XmlAttributeMap result;
        result.state_ = std::move(map);
        return result;
    });
}

XmlNodeList XmlNode::ChildNodes() const {
    RequireState(state_, "child nodes");
    return Guarded("child nodes", [&] {
        auto list = std::make_shared<XmlNodeListState>();
        list->tree = state_->tree;
        // An entity reference's children in libxml2 are the entity's declaration, not nodes of
        // the document; only an element's children are listed.
        if (state_->node->type == XML_ELEMENT_NODE) {
            list->next = state_->node->children;
            list->preserveSpace = state_->preserveSpace;
        }
        XmlNodeList result;
        result.state_ = std::move(list);
        return result;
    });
}

bool XmlNodeList::IsEmpty() const { return !state_; }

XmlNode XmlNodeList::NextNode() {
    RequireState(state_, "next child node");
    return Guarded("next child node", [&] {
        XmlNodeListState& list = *state_;
        // libxml2 keeps every white-space text node (its default), so the platform parser's
        // default of dropping them is applied here.
        while (list.next != nullptr && !list.preserveSpace && IsWhiteSpaceText(list.next)) {
            list.next = list.next->next;
        }
        XmlNode result;
        if (list.next == nullptr) {
            return result;
        }
        auto child = std::make_shared<XmlNodeState>();
        child->tree = list.tree;
        child->node = list.next;
        child->preserveSpace = list.preserveSpace;
        if (child->node->type == XML_ELEMENT_NODE) {
            child->preserveSpace = OwnSpacePreserve(list.tree->document.get(), child->node)
                                       .value_or(list.preserveSpace);
        }
        list.next = list.next->next;
        result.state_ = std::move(child);
        return result;
    });
}

XmlDocument XmlDocument::Create() {
    return Guarded("creating a document", [] {
        auto state = std::make_shared<XmlDocumentState>();
        {
            // Creation reports a failure without a context.
            XmlParseReport report;
            const XmlThreadErrorGuard guard(report);
            state->parser.reset(xmlNewParserCtxt());
        }
        if (!state->parser) {
            ThrowOutOfMemory("creating the parser");
        }
        XmlDocument document;
        document.state_ = std::move(state);
        return document;
    });
}

bool XmlDocument::Load(const char* path) {
    RequireState(state_, "load");
    return Guarded("load", [&] {
        state_->tree.reset();
        XmlFileInput input(path);
        if (!input.IsOpen()) {
            return false;
        }
        xmlParserCtxtPtr const parser = state_->parser.get();
        // The context took its SAX handler and option bits from the thread's parser defaults
        // when it was made, and a host may have changed those (xmlSubstituteEntitiesDefault,
        // xmlLoadExtDtdDefaultValue, xmlKeepBlanksDefault ...); xmlCtxtUseOptions only ever adds
        // option bits. Left in place, they would make libxml2 fetch external entities.
        xmlSAXVersion(parser->sax, 2);
        parser->sax->getEntity = BoundedGetEntity;
        entityLookups = 0;
        parser->options = 0;
        XmlParseReport report;
        DocumentPointer document;
        {
            const XmlThreadErrorGuard guard(report);
            report.Attach(parser);
            document.reset(xmlCtxtReadIO(parser, &XmlFileInput::Read, nullptr, &input, path,
                                         nullptr, kParseOptions));
            report.Detach(parser);
        }
        // After a failed allocation libxml2 may end with a later, unrelated error, or keep a
        // document that misses part of the file; the report of the failure decides.
        if (report.OutOfMemory()) {
            ThrowOutOfMemory("loading a file");
        }
        if (entityLookups > kMostEntityLookups) {
            return false;
        }
        if (!document) {
            // A file that does not parse always comes with a report of why.
            if (report.ErrorCount() == 0) {
                throw XmlParserError(kXmlStatusFail, "XML parser gave no document and no error");
            }
            return false;
        }
        // A namespace error (an undeclared prefix, one attribute given twice through two
        // prefixes) leaves libxml2's document in place; a namespace-aware parser refuses it.
        if (input.ReadFailed() || parser->nsWellFormed == 0 ||
            xmlDocGetRootElement(document.get()) == nullptr ||
            !AttributeExpansionWithinLimit(document.get())) {
            return false;
        }
        state_->tree = std::make_shared<const XmlTree>(std::move(document));
        return true;
    });
}

XmlNode XmlDocument::DocumentElement() const {
    RequireState(state_, "document element");
    return Guarded("document element", [&] {
        XmlNode result;
        if (!state_->tree) {
            return result;
        }
        const xmlNodePtr root = xmlDocGetRootElement(state_->tree->document.get());
        if (root == nullptr) {
            return result;
        }
        auto node = std::make_shared<XmlNodeState>();
        node->tree = state_->tree;
        node->node = root;
        node->preserveSpace = OwnSpacePreserve(state_->tree->document.get(), root).value_or(false);
        result.state_ = std::move(node);
        return result;
    });
}

}  // namespace flanger::platform
