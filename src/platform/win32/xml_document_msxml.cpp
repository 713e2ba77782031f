// The DOM access layer of xml_document.h over MSXML, reached through COM.
//
// The layer only reads: it creates a DOMDocument, loads one file, and walks the root element's
// names, attributes and children.
//
// Before the load the document is set to read synchronously, fetch nothing external and not
// validate, and (where the parser has the property) to refuse elements nested deeper than 256,
// the limit of the Linux layer's libxml2. DOMDocument's own defaults would load asynchronously
// (the root is read right after load returns, so it could come back empty) and resolve external
// entities and DTDs, which would let a preset file make the host read other files or fetch from
// the network. Internal DTDs and their entities still work, as on Linux.
// COM is never initialised here: the calling thread must have done so, or creation fails with
// the runtime's status.
//
// Every interface pointer lives in a ComHandle, which releases it when dropped. Each handle of
// xml_document.h also shares the XmlTree of the load it came from, so a node stays valid however
// long its XmlDocument lives; a second Load goes into a new DOMDocument for the same reason.
//
// What a loaded document looks like through the handles:
// - An element's attributes: in the parser's map order, namespace declarations where the parser
//   lists them. The map is read in full when it is taken, as is a child list: MSXML may hand out
//   one list object per node, with one position, and two walks of the same node must not
//   disturb each other.
// - Child nodes: MSXML's own, with white-space-only text dropped unless xml:space="preserve"
//   (its default). Only an element lists children or attributes.
#include "platform/win32/xml_text_win32.h"
// xml_text_win32.h brings <windows.h>; the COM and MSXML headers come after it.
#include <msxml2.h>
#include <ole2.h>
#include <oleauto.h>

#include <cstddef>
#include <memory>
#include <new>
#include <string>
#include <utility>
#include <vector>

#include "platform/xml_document.h"

namespace flanger::platform {
namespace {

// The identifiers, spelled out so that no import library of GUIDs is needed.
constexpr CLSID kClsidDomDocument = {
    0x2933BF90, 0x7B36, 0x11D2, {0xB2, 0x0E, 0x00, 0xC0, 0x4F, 0x98, 0x3E, 0x60}};
constexpr IID kIidXmlDomDocument = {
    0x2933BF81, 0x7B36, 0x11D2, {0xB2, 0x0E, 0x00, 0xC0, 0x4F, 0x98, 0x3E, 0x60}};
constexpr IID kIidXmlDomNode = {
    0x2933BF80, 0x7B36, 0x11D2, {0xB2, 0x0E, 0x00, 0xC0, 0x4F, 0x98, 0x3E, 0x60}};
constexpr IID kIidXmlDomNodeList = {
    0x2933BF82, 0x7B36, 0x11D2, {0xB2, 0x0E, 0x00, 0xC0, 0x4F, 0x98, 0x3E, 0x60}};
constexpr IID kIidXmlDomNamedNodeMap = {
    0x2933BF83, 0x7B36, 0x11D2, {0xB2, 0x0E, 0x00, 0xC0, 0x4F, 0x98, 0x3E, 0x60}};
constexpr IID kIidXmlDomAttribute = {
    0x2933BF85, 0x7B36, 0x11D2, {0xB2, 0x0E, 0x00, 0xC0, 0x4F, 0x98, 0x3E, 0x60}};
constexpr IID kIidXmlDomDocument2 = {
    0x2933BF95, 0x7B36, 0x11D2, {0xB2, 0x0E, 0x00, 0xC0, 0x4F, 0x98, 0x3E, 0x60}};
constexpr IID kIidUnknown = {
    0x00000000, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
constexpr IID kIidSupportErrorInfo = {
    0xDF0B3D60, 0x548F, 0x101B, {0x8E, 0x65, 0x08, 0x00, 0x2B, 0x2B, 0xD1, 0x19}};

// In-process server, in-process handler, local server.
constexpr DWORD kCreationContext =
    CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER | CLSCTX_LOCAL_SERVER;
static_assert(kCreationContext == 7);

// One counted reference to a COM object, or none.
template <typename Interface>
class ComHandle {
public:
    ComHandle() = default;
    ~ComHandle() { Reset(); }
    ComHandle(const ComHandle& other) noexcept : pointer_(other.pointer_) {
        if (pointer_ != nullptr) {
            pointer_->AddRef();
        }
    }
    ComHandle(ComHandle&& other) noexcept : pointer_(std::exchange(other.pointer_, nullptr)) {}
    ComHandle& operator=(ComHandle other) noexcept {
        std::swap(pointer_, other.pointer_);
        return *this;
    }

    Interface* Get() const noexcept { return pointer_; }
    Interface* operator->() const noexcept { return pointer_; }
    explicit operator bool() const noexcept { return pointer_ != nullptr; }

    // Drops the current reference and gives the address for a call that hands out a new one.
    Interface** Receive() noexcept {
        Reset();
        return &pointer_;
    }

    void Reset() noexcept {
        if (pointer_ != nullptr) {
            std::exchange(pointer_, nullptr)->Release();
        }
    }

private:
    Interface* pointer_ = nullptr;
};

template <typename Interface>
void** OutPointer(ComHandle<Interface>& handle) {
    return reinterpret_cast<void**>(handle.Receive());
}

// Clears the VARIANT when it goes out of scope.
class ScopedVariant {
public:
    ScopedVariant() { VariantInit(&value_); }
    ~ScopedVariant() { VariantClear(&value_); }
    ScopedVariant(const ScopedVariant&) = delete;
    ScopedVariant& operator=(const ScopedVariant&) = delete;
    VARIANT* Get() { return &value_; }
    const VARIANT& operator*() const { return value_; }

private:
    VARIANT value_;
};

[[noreturn]] void RaiseOutOfMemory(const char* operation) {
    throw XmlParserError(kXmlStatusOutOfMemory,
                         std::string("XML parser out of memory: ") + operation);
}

[[noreturn]] void RaiseEmptyHandle(const char* operation) {
    throw XmlParserError(kXmlStatusPointer,
                         std::string("XML parser called through an empty handle: ") + operation);
}

template <typename Handle>
void RequireState(const Handle& state, const char* operation) {
    if (!state) {
        RaiseEmptyHandle(operation);
    }
}

// The failing object's own description of its last failure, when it says that `called` reports
// one; otherwise nothing. Never raises: the status is what matters.
std::string ErrorDescription(IUnknown* object, REFIID called) noexcept {
    try {
        ComHandle<ISupportErrorInfo> support;
        if (object == nullptr ||
            FAILED(object->QueryInterface(kIidSupportErrorInfo, OutPointer(support))) || !support ||
            support->InterfaceSupportsErrorInfo(called) != S_OK) {
            return std::string();
        }
        ComHandle<IErrorInfo> info;
        if (GetErrorInfo(0, info.Receive()) != S_OK || !info) {
            return std::string();
        }
        OwnedBstr text;
        if (FAILED(info->GetDescription(text.Receive()))) {
            return std::string();
        }
        return BstrToAnsi(text.Get());
    } catch (...) {
        return std::string();
    }
}

// Raises the failure status of a call of `called` on `object`.
[[noreturn]] void RaiseCallFailure(HRESULT status, IUnknown* object, REFIID called,
                                   const char* operation) {
    std::string description = std::string("XML parser call failed: ") + operation;
    const std::string detail = ErrorDescription(object, called);
    if (!detail.empty()) {
        description += ": ";
        description += detail;
    }
    throw XmlParserError(static_cast<std::int32_t>(status), description);
}

void Check(HRESULT status, IUnknown* object, REFIID called, const char* operation) {
    if (FAILED(status)) {
        RaiseCallFailure(status, object, called, operation);
    }
}

// The same object through `Target`: empty when it does not offer that interface (not an
// error), raised for any other failure.
template <typename Target, typename Source>
ComHandle<Target> QueryAs(const ComHandle<Source>& source, REFIID target, const char* operation) {
    if (!source) {
        RaiseEmptyHandle(operation);
    }
    ComHandle<Target> result;
    const HRESULT status = source->QueryInterface(target, OutPointer(result));
    if (status == E_NOINTERFACE) {
        result.Reset();
        return result;
    }
    if (FAILED(status)) {
        throw XmlParserError(static_cast<std::int32_t>(status),
                             std::string("XML parser interface query failed: ") + operation);
    }
    return result;
}

// Runs `body`, turning a failed allocation of ours into the parser failure that the layer
// promises for running out of memory.
template <typename Body>
auto Guarded(const char* operation, Body&& body) {
    try {
        return std::forward<Body>(body)();
    } catch (const std::bad_alloc&) {
        RaiseOutOfMemory(operation);
    }
}

// A new DOMDocument. Empty when the object does not offer IXMLDOMDocument; any other failure
// is raised.
ComHandle<IXMLDOMDocument> CreateDomDocument() {
    ComHandle<IUnknown> object;
    HRESULT status = CoCreateInstance(kClsidDomDocument, nullptr, kCreationContext, kIidUnknown,
                                      OutPointer(object));
    if (status == E_NOINTERFACE) {
        return ComHandle<IXMLDOMDocument>();
    }
    if (FAILED(status)) {
        throw XmlParserError(static_cast<std::int32_t>(status), "XML parser cannot be created");
    }
    status = OleRun(object.Get());
    if (FAILED(status)) {
        throw XmlParserError(static_cast<std::int32_t>(status), "XML parser cannot be run");
    }
    return QueryAs<IXMLDOMDocument>(object, kIidXmlDomDocument, "creating a document");
}

// The settings described at the top of this file. A parser without IXMLDOMDocument2, or one that
// does not know the depth property, reads without the depth limit.
void PrepareForReading(const ComHandle<IXMLDOMDocument>& document) {
    Check(document->put_async(VARIANT_FALSE), document.Get(), kIidXmlDomDocument, "async");
    Check(document->put_resolveExternals(VARIANT_FALSE), document.Get(), kIidXmlDomDocument,
          "resolveExternals");
    Check(document->put_validateOnParse(VARIANT_FALSE), document.Get(), kIidXmlDomDocument,
          "validateOnParse");
    const ComHandle<IXMLDOMDocument2> withProperties =
        QueryAs<IXMLDOMDocument2>(document, kIidXmlDomDocument2, "document properties");
    if (withProperties) {
        const OwnedBstr name = AnsiToBstr("MaxElementDepth");
        VARIANT depth;
        VariantInit(&depth);
        depth.vt = VT_I4;
        depth.lVal = 256;
        withProperties->setProperty(name.Get(), depth);  // refused by older parsers: no limit
    }
}

DOMNodeType NodeType(const ComHandle<IXMLDOMNode>& node) {
    DOMNodeType type = NODE_INVALID;
    Check(node->get_nodeType(&type), node.Get(), kIidXmlDomNode, "node type");
    return type;
}

}  // namespace

// The DOMDocument of one load, shared by every handle taken from it.
struct XmlTree {
    ComHandle<IXMLDOMDocument> document;
};

struct XmlDocumentState {
    std::shared_ptr<const XmlTree> tree;  // its document is empty when creation gave none
    bool used = false;                    // a load has gone into tree->document
    bool loaded = false;                  // the last load succeeded
};

struct XmlNodeState {
    std::shared_ptr<const XmlTree> tree;
    ComHandle<IXMLDOMNode> node;
};

struct XmlNodeListState {
    std::shared_ptr<const XmlTree> tree;
    std::vector<ComHandle<IXMLDOMNode>> nodes;
    std::size_t next = 0;
};

struct XmlAttributeMapState {
    std::shared_ptr<const XmlTree> tree;
    std::vector<ComHandle<IXMLDOMAttribute>> attributes;
    std::size_t next = 0;
};

struct XmlAttributeState {
    std::shared_ptr<const XmlTree> tree;
    ComHandle<IXMLDOMAttribute> attribute;
};

bool XmlAttribute::IsEmpty() const { return !state_; }

std::string XmlAttribute::Name() const {
    RequireState(state_, "attribute name");
    return Guarded("attribute name", [&] {
        const ComHandle<IXMLDOMAttribute>& attribute = state_->attribute;
        OwnedBstr name;
        Check(attribute->get_nodeName(name.Receive()), attribute.Get(), kIidXmlDomNode,
              "attribute name");
        return BstrToAnsi(name.Get());
    });
}

std::string XmlAttribute::Value() const {
    RequireState(state_, "attribute value");
    return Guarded("attribute value", [&] {
        const ComHandle<IXMLDOMAttribute>& attribute = state_->attribute;
        ScopedVariant value;
        Check(attribute->get_nodeValue(value.Get()), attribute.Get(), kIidXmlDomNode,
              "attribute value");
        if ((*value).vt == VT_BSTR) {
            return BstrToAnsi((*value).bstrVal);
        }
        VARIANT converted;
        VariantInit(&converted);
        HRESULT status = VariantChangeType(&converted, value.Get(), 0, VT_BSTR);
        if (FAILED(status)) {
            VariantClear(&converted);
            throw XmlParserError(static_cast<std::int32_t>(status),
                                 "XML parser value conversion failed: attribute value");
        }
        std::string text;
        try {
            text = BstrToAnsi(converted.bstrVal);
        } catch (...) {
            VariantClear(&converted);
            throw;
        }
        status = VariantClear(&converted);
        if (FAILED(status)) {
            throw XmlParserError(static_cast<std::int32_t>(status),
                                 "XML parser value release failed: attribute value");
        }
        return text;
    });
}

bool XmlAttributeMap::IsEmpty() const { return !state_; }

XmlAttribute XmlAttributeMap::NextNode() {
    RequireState(state_, "next attribute");
    return Guarded("next attribute", [&] {
        XmlAttribute result;
        XmlAttributeMapState& map = *state_;
        if (map.next >= map.attributes.size()) {
            return result;
        }
        auto item = std::make_shared<XmlAttributeState>();
        item->tree = map.tree;
        item->attribute = map.attributes[map.next];
        ++map.next;
        result.state_ = std::move(item);
        return result;
    });
}

bool XmlNode::IsEmpty() const { return !state_; }

bool XmlNode::IsElement() const {
    RequireState(state_, "node type");
    return Guarded("node type", [&] { return NodeType(state_->node) == NODE_ELEMENT; });
}

std::string XmlNode::Name() const {
    RequireState(state_, "node name");
    return Guarded("node name", [&] {
        OwnedBstr name;
        Check(state_->node->get_nodeName(name.Receive()), state_->node.Get(), kIidXmlDomNode,
              "node name");
        return BstrToAnsi(name.Get());
    });
}

XmlAttributeMap XmlNode::Attributes() const {
    RequireState(state_, "attributes");
    return Guarded("attributes", [&] {
        auto map = std::make_shared<XmlAttributeMapState>();
        map->tree = state_->tree;
        const ComHandle<IXMLDOMNode>& node = state_->node;
        ComHandle<IXMLDOMNamedNodeMap> items;
        if (NodeType(node) == NODE_ELEMENT) {
            Check(node->get_attributes(items.Receive()), node.Get(), kIidXmlDomNode, "attributes");
        }
        if (items) {
            Check(items->reset(), items.Get(), kIidXmlDomNamedNodeMap, "attributes");
            for (;;) {
                ComHandle<IXMLDOMNode> item;
                Check(items->nextNode(item.Receive()), items.Get(), kIidXmlDomNamedNodeMap,
                      "next attribute");
                if (!item) {
                    break;
                }
                ComHandle<IXMLDOMAttribute> attribute =
                    QueryAs<IXMLDOMAttribute>(item, kIidXmlDomAttribute, "next attribute");
                if (!attribute) {
                    break;
                }
                map->attributes.push_back(std::move(attribute));
            }
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
        const ComHandle<IXMLDOMNode>& node = state_->node;
        ComHandle<IXMLDOMNodeList> children;
        // An entity reference has children in MSXML too (the entity's text); only an element's
        // children are listed.
        if (NodeType(node) == NODE_ELEMENT) {
            Check(node->get_childNodes(children.Receive()), node.Get(), kIidXmlDomNode,
                  "child nodes");
        }
        if (children) {
            Check(children->reset(), children.Get(), kIidXmlDomNodeList, "child nodes");
            for (;;) {
                ComHandle<IXMLDOMNode> child;
                Check(children->nextNode(child.Receive()), children.Get(), kIidXmlDomNodeList,
                      "next child node");
                if (!child) {
                    break;
                }
                list->nodes.push_back(std::move(child));
            }
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
        XmlNode result;
        XmlNodeListState& list = *state_;
        if (list.next >= list.nodes.size()) {
            return result;
        }
        auto child = std::make_shared<XmlNodeState>();
        child->tree = list.tree;
        child->node = list.nodes[list.next];
        ++list.next;
        result.state_ = std::move(child);
        return result;
    });
}

XmlDocument XmlDocument::Create() {
    return Guarded("creating a document", [] {
        auto tree = std::make_shared<XmlTree>();
        tree->document = CreateDomDocument();
        auto state = std::make_shared<XmlDocumentState>();
        state->tree = std::move(tree);
        XmlDocument document;
        document.state_ = std::move(state);
        return document;
    });
}

bool XmlDocument::Load(const char* path) {
    RequireState(state_, "load");
    return Guarded("load", [&] {
        XmlDocumentState& state = *state_;
        state.loaded = false;
        if (!state.tree->document) {
            RaiseEmptyHandle("load");
        }
        if (path == nullptr) {
            return false;
        }
        if (state.used) {
            // Handles from the last load keep its tree; this one gets a document of its own.
            auto tree = std::make_shared<XmlTree>();
            tree->document = CreateDomDocument();
            state.tree = std::move(tree);
            state.used = false;
            if (!state.tree->document) {
                RaiseEmptyHandle("load");
            }
        }
        const ComHandle<IXMLDOMDocument>& document = state.tree->document;
        const OwnedBstr widePath = AnsiToBstr(path);
        VARIANT source;
        VariantInit(&source);
        source.vt = VT_BSTR;
        source.bstrVal = widePath.Get();  // borrowed: widePath frees it
        VARIANT_BOOL loaded = VARIANT_FALSE;
        state.used = true;
        PrepareForReading(document);
        Check(document->load(source, &loaded), document.Get(), kIidXmlDomDocument, "load");
        state.loaded = loaded != VARIANT_FALSE;
        return state.loaded;
    });
}

XmlNode XmlDocument::DocumentElement() const {
    RequireState(state_, "document element");
    return Guarded("document element", [&] {
        XmlNode result;
        const ComHandle<IXMLDOMDocument>& document = state_->tree->document;
        if (!document) {
            RaiseEmptyHandle("document element");
        }
        if (!state_->loaded) {
            return result;
        }
        ComHandle<IXMLDOMElement> root;
        Check(document->get_documentElement(root.Receive()), document.Get(), kIidXmlDomDocument,
              "document element");
        if (!root) {
            return result;
        }
        ComHandle<IXMLDOMNode> node =
            QueryAs<IXMLDOMNode>(root, kIidXmlDomNode, "document element");
        if (!node) {
            return result;
        }
        auto state = std::make_shared<XmlNodeState>();
        state->tree = state_->tree;
        state->node = std::move(node);
        result.state_ = std::move(state);
        return result;
    });
}

}  // namespace flanger::platform
