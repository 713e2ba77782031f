// Splicing a saved preset into an XML document.
//
// Two views of one document work together. libxml2's DOM, parsed from the file's bytes, says
// whether the document is well-formed and gives names and attribute values decoded to UTF-8, as
// the settings tree would read them; the markup index of the same document converted to UTF-8
// says where each element and attribute is written. The two are matched element by element along
// the path and checked to agree in names and counts, so a disagreement refuses the save instead
// of writing into the wrong place. The result is converted back to the document's encoding.
#include "presets/xml_preset_edit.h"

#include <iconv.h>
#include <libxml/parser.h>
#include <libxml/tree.h>
#include <libxml/xmlerror.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <memory>

#include "platform/posix/xml_shape_limits.h"
#include "presets/xml_markup.h"

namespace flanger::tool {
namespace {

using namespace std::string_view_literals;

// No network, and no complaint printed by libxml2 itself: the first one is kept in the context
// and reported by the command in its own words. Entities stay references, so nothing external
// is read and nothing is expanded into the tree that the markup index does not see.
constexpr int kParseOptions = XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING;

const std::string kUnfollowable = "its markup could not be followed";
const std::string kNotSaved = "the module did not save the preset";
const std::string kReshaped = "the module changed the element in a way that cannot be written";

struct ContextFree {
    void operator()(xmlParserCtxt* context) const { xmlFreeParserCtxt(context); }
};
struct DocumentFree {
    void operator()(xmlDoc* document) const { xmlFreeDoc(document); }
};
using DocumentPtr = std::unique_ptr<xmlDoc, DocumentFree>;

struct Parse {
    DocumentPtr Document;  // null when not well-formed
    // "line N: ..." when Document is null, or when the names break the rules of namespaces,
    // which libxml2 reports without refusing the document.
    std::string Problem;
};

std::string Trimmed(std::string text) {
    while (!text.empty() && (text.back() == '\n' || text.back() == ' ')) text.pop_back();
    return text;
}

// Keeps the first error of a parse: libxml2 goes on after some errors, and its last complaint
// ("Premature end of data") is often a consequence of the first, which is the one to fix. The
// context is the handler's data, and its _private field, which libxml2 leaves to the
// application, points to the text to fill. The contexts libxml2 makes for entity contents
// inherit _private; should one not, its errors still end the parse and the last is reported.
void KeepFirstError(void* data, xmlError* error) {
    const auto* const context = static_cast<const xmlParserCtxt*>(data);
    auto* const first = context != nullptr ? static_cast<std::string*>(context->_private) : nullptr;
    if (first == nullptr || !first->empty() || error == nullptr || error->level < XML_ERR_ERROR) {
        return;
    }
    *first = "line " + std::to_string(error->line) + ": " +
             Trimmed(error->message != nullptr ? error->message : "not well-formed");
}

Parse ParseBytes(std::string_view bytes) {
    Parse parse;
    platform::XmlShapeCheck shape;
    if (!shape.Feed(bytes.data(), bytes.size())) {
        parse.Problem = shape.Problem();
        return parse;
    }
    const std::unique_ptr<xmlParserCtxt, ContextFree> context(xmlNewParserCtxt());
    if (!context) {
        parse.Problem = "the XML parser cannot be created";
        return parse;
    }
    std::string first;
    context->_private = &first;
    context->sax->serror = &KeepFirstError;
    parse.Document.reset(xmlCtxtReadMemory(context.get(), bytes.data(),
                                           static_cast<int>(bytes.size()), nullptr, nullptr,
                                           kParseOptions));
    if (!parse.Document || context->nsWellFormed == 0) {
        const xmlError* const last = xmlCtxtGetLastError(context.get());
        if (first.empty() && last != nullptr && last->message != nullptr) {
            first = "line " + std::to_string(last->line) + ": " + Trimmed(last->message);
        }
        parse.Problem = first.empty() ? "it is not well-formed" : first;
    }
    return parse;
}

// How the document's bytes are encoded, as far as splicing needs to know.
struct TextEncoding {
    bool Supported = true;
    std::string_view ByteOrderMark;  // kept in front of the changed text
    std::string Charset;             // iconv's name for it; empty for UTF-8
};

// The encoding named in the XML declaration, or empty.
std::string DeclaredEncoding(std::string_view bytes) {
    if (!bytes.starts_with("<?xml") || bytes.size() < 6 ||
        std::string_view(" \t\r\n").find(bytes[5]) == std::string_view::npos) {
        return {};
    }
    const std::string_view declaration = bytes.substr(0, bytes.find("?>"));
    std::size_t at = declaration.find("encoding");
    if (at == std::string_view::npos) return {};
    at = declaration.find_first_of("\"'", at);
    if (at == std::string_view::npos) return {};
    const std::size_t end = declaration.find(declaration[at], at + 1);
    if (end == std::string_view::npos) return {};
    return std::string(declaration.substr(at + 1, end - at - 1));
}

TextEncoding DetectEncoding(std::string_view bytes) {
    TextEncoding encoding;
    const auto starts = [bytes](std::string_view prefix) { return bytes.starts_with(prefix); };
    // UTF-32 in either byte order, with or without a mark, and EBCDIC's "<?xm".
    if (starts("\x00\x00\xFE\xFF"sv) || starts("\xFF\xFE\x00\x00"sv) ||
        starts("\x00\x00\x00\x3C"sv) || starts("\x3C\x00\x00\x00"sv) ||
        starts("\x4C\x6F\xA7\x94"sv)) {
        encoding.Supported = false;
    } else if (starts("\xEF\xBB\xBF"sv)) {
        encoding.ByteOrderMark = bytes.substr(0, 3);
    } else if (starts("\xFF\xFE"sv) || starts("\xFE\xFF"sv)) {
        encoding.ByteOrderMark = bytes.substr(0, 2);
        encoding.Charset = bytes[0] == '\xFF' ? "UTF-16LE" : "UTF-16BE";
    } else if (starts("\x3C\x00"sv)) {
        encoding.Charset = "UTF-16LE";
    } else if (starts("\x00\x3C"sv)) {
        encoding.Charset = "UTF-16BE";
    } else {
        encoding.Charset = DeclaredEncoding(bytes);
        if (SameXmlName(encoding.Charset, "UTF-8") || SameXmlName(encoding.Charset, "UTF8")) {
            encoding.Charset.clear();
        }
    }
    return encoding;
}

// `text` converted between two of iconv's encodings; nullopt when it holds a character that the
// target cannot, or bytes that are not valid in the source.
std::optional<std::string> Transcode(std::string_view text, const std::string& to,
                                     const std::string& from) {
    const iconv_t converter = iconv_open(to.c_str(), from.c_str());
    if (converter == reinterpret_cast<iconv_t>(-1)) return std::nullopt;
    std::string out(text.size() * 2 + 16, '\0');
    char* in = const_cast<char*>(text.data());
    std::size_t inLeft = text.size();
    std::size_t used = 0;
    bool flushing = false;
    bool failed = false;
    for (;;) {
        char* outAt = out.data() + used;
        std::size_t outLeft = out.size() - used;
        // Null input writes the shift sequence that ends a stateful encoding.
        const std::size_t result = flushing ? iconv(converter, nullptr, nullptr, &outAt, &outLeft)
                                            : iconv(converter, &in, &inLeft, &outAt, &outLeft);
        used = static_cast<std::size_t>(outAt - out.data());
        if (result == static_cast<std::size_t>(-1)) {
            if (errno == E2BIG) {
                out.resize(out.size() * 2);
                continue;
            }
            failed = true;
            break;
        }
        if (flushing) break;
        flushing = inLeft == 0;
    }
    iconv_close(converter);
    if (failed) return std::nullopt;
    out.resize(used);
    return out;
}

std::string FromXml(const xmlChar* text) {
    return text != nullptr ? reinterpret_cast<const char*>(text) : std::string();
}

std::string QualifiedName(const xmlNs* space, const xmlChar* name) {
    if (space != nullptr && space->prefix != nullptr) {
        return FromXml(space->prefix) + ":" + FromXml(name);
    }
    return FromXml(name);
}

std::string ElementName(const xmlNode* element) {
    return QualifiedName(element->ns, element->name);
}

std::vector<xmlNode*> ElementChildren(const xmlNode* element) {
    std::vector<xmlNode*> children;
    for (xmlNode* child = element->children; child != nullptr; child = child->next) {
        if (child->type == XML_ELEMENT_NODE) children.push_back(child);
    }
    return children;
}

std::string AttributeValue(const xmlAttr* attribute) {
    xmlChar* const value = xmlNodeListGetString(attribute->doc, attribute->children, 1);
    std::string text = FromXml(value);
    xmlFree(value);
    return text;
}

std::string_view WrittenName(std::string_view text, const MarkupElement& element) {
    return text.substr(element.TagBegin + 1, element.NameEnd - element.TagBegin - 1);
}

// The attributes a DOM lists for the element: all but the namespace declarations.
std::vector<const MarkupAttribute*> PlainAttributes(std::string_view text,
                                                    const MarkupElement& element) {
    std::vector<const MarkupAttribute*> plain;
    for (const MarkupAttribute& attribute : element.Attributes) {
        if (!IsNamespaceDeclaration(text, attribute)) plain.push_back(&attribute);
    }
    return plain;
}

// Whether the DOM element and the indexed one are the same: same name, same number of child
// elements.
bool SameElement(const xmlNode* element, const MarkupElement& written, std::string_view text) {
    return ElementName(element) == WrittenName(text, written) &&
           ElementChildren(element).size() == written.Children.size();
}

// --- Layout of new text ---

struct Layout {
    std::string LineBreak = "\n";
    std::string Unit = "  ";  // one level of indentation
};

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

std::size_t LineStart(std::string_view text, std::size_t pos) {
    const std::size_t newline = pos == 0 ? std::string_view::npos : text.rfind('\n', pos - 1);
    return newline == std::string_view::npos ? 0 : newline + 1;
}

// The blanks that begin the line holding `pos`.
std::string LineIndent(std::string_view text, std::size_t pos) {
    const std::size_t start = LineStart(text, pos);
    std::size_t end = start;
    while (end < pos && IsBlank(text[end])) ++end;
    return std::string(text.substr(start, end - start));
}

bool StartsLine(std::string_view text, std::size_t pos) {
    for (std::size_t at = LineStart(text, pos); at < pos; ++at) {
        if (!IsBlank(text[at])) return false;
    }
    return true;
}

// The line break of the document's first line, and the indentation step of the first element
// on its own line that is indented deeper than its parent's line.
Layout DetectLayout(std::string_view text, const MarkupIndex& index) {
    Layout layout;
    const std::size_t newline = text.find('\n');
    if (newline != std::string_view::npos && newline > 0 && text[newline - 1] == '\r') {
        layout.LineBreak = "\r\n";
    }
    for (const MarkupElement& element : index.Elements) {
        if (element.Parent == MarkupElement::kNoParent || !StartsLine(text, element.TagBegin)) {
            continue;
        }
        const std::string outer = LineIndent(text, index.Elements[element.Parent].TagBegin);
        const std::string inner = LineIndent(text, element.TagBegin);
        if (inner.size() > outer.size() && inner.starts_with(outer)) {
            layout.Unit = inner.substr(outer.size());
            break;
        }
    }
    return layout;
}

std::string EscapeAttribute(std::string_view value, char quote) {
    std::string escaped;
    for (const char c : value) {
        switch (c) {
            case '&':
                escaped += "&amp;";
                break;
            case '<':
                escaped += "&lt;";
                break;
            case '"':
                escaped += quote == '"' ? "&quot;" : "\"";
                break;
            case '\'':
                escaped += quote == '\'' ? "&apos;" : "'";
                break;
            // Written as references so that attribute normalisation does not turn them into
            // spaces on the way back.
            case '\t':
                escaped += "&#9;";
                break;
            case '\n':
                escaped += "&#10;";
                break;
            case '\r':
                escaped += "&#13;";
                break;
            default:
                escaped += c;
        }
    }
    return escaped;
}

// The first child of `node`, or the first sibling from `node` on, that stands for an element.
const SettingsNode* ElementFrom(const TreeNode* node) {
    for (; node != nullptr; node = node->nextSibling) {
        // Every node of a settings tree is a SettingsNode.
        const auto* element = static_cast<const SettingsNode*>(node);
        if (!element->name.empty()) return element;
    }
    return nullptr;
}

std::vector<const SettingsNode*> ElementsFrom(const TreeNode* node) {
    std::vector<const SettingsNode*> elements;
    for (const SettingsNode* element = ElementFrom(node); element != nullptr;
         element = ElementFrom(element->nextSibling)) {
        elements.push_back(element);
    }
    return elements;
}

// The XML text of a node and its subtree; in multi-line layout each child on a line of its own,
// one step deeper than `indent`, the line of the element itself already begun.
std::string Serialize(const SettingsNode& top, const std::string& indent, const Layout& layout,
                      bool multiLine) {
    struct Open {
        const SettingsNode* Node;
        const SettingsNode* Next;  // the next child to write
        std::string Indent;
    };
    std::string out;
    std::vector<Open> open;
    const auto startTag = [&](const SettingsNode& node, const std::string& at) {
        out += '<' + node.name;
        for (const SettingsAttribute& attribute : node.attributes) {
            out += ' ' + attribute.name + "=\"" + EscapeAttribute(attribute.value, '"') + '"';
        }
        const SettingsNode* const first = ElementFrom(node.firstChild);
        out += first != nullptr ? ">" : "/>";
        if (first != nullptr) open.push_back({&node, first, at});
    };
    startTag(top, indent);
    while (!open.empty()) {
        Open& current = open.back();
        if (current.Next == nullptr) {
            if (multiLine) out += layout.LineBreak + current.Indent;
            out += "</" + current.Node->name + '>';
            open.pop_back();
            continue;
        }
        const SettingsNode& child = *current.Next;
        current.Next = ElementFrom(child.nextSibling);
        const std::string childIndent = current.Indent + layout.Unit;
        if (multiLine) out += layout.LineBreak + childIndent;
        startTag(child, childIndent);
    }
    return out;
}

// --- Splices ---

struct Splice {
    std::size_t Offset;
    std::size_t Length;  // bytes replaced
    std::string Text;
    int Order;  // among splices at one offset, lower first
};

std::optional<std::string> ApplySplices(std::string_view text, std::vector<Splice> splices) {
    std::stable_sort(splices.begin(), splices.end(), [](const Splice& a, const Splice& b) {
        return a.Offset != b.Offset ? a.Offset < b.Offset : a.Order < b.Order;
    });
    std::string out;
    std::size_t cursor = 0;
    for (const Splice& splice : splices) {
        if (splice.Offset < cursor || splice.Offset + splice.Length > text.size()) {
            return std::nullopt;
        }
        out.append(text.substr(cursor, splice.Offset - cursor));
        out += splice.Text;
        cursor = splice.Offset + splice.Length;
    }
    out.append(text.substr(cursor));
    return out;
}

// Splices that add `nodes` as the last children of the indexed element. They go after its last
// content that is not white space, each on a line of its own indented like the element's last
// child element on a line of its own (one step deeper than the element when there is none); an
// element whose content has no line break gets them without any white space. An empty element
// takes the layout of its parent's content.
void InsertElements(std::string_view text, const MarkupIndex& index, std::size_t number,
                    const std::vector<const SettingsNode*>& nodes, const Layout& layout,
                    std::vector<Splice>& splices) {
    const MarkupElement& element = index.Elements[number];
    const std::string indent = LineIndent(text, element.TagBegin);
    const std::string_view content =
        text.substr(element.StartTagEnd, element.EndTagBegin - element.StartTagEnd);
    const std::size_t last = content.find_last_not_of(" \t\r\n");
    bool multiLine = true;
    if (content.find('\n') != std::string_view::npos) {
        multiLine = true;
    } else if (last != std::string_view::npos) {
        multiLine = false;
    } else if (element.Parent != MarkupElement::kNoParent) {
        const MarkupElement& parent = index.Elements[element.Parent];
        multiLine =
            text.substr(parent.StartTagEnd, parent.EndTagBegin - parent.StartTagEnd).find('\n') !=
            std::string_view::npos;
    }
    std::string childIndent = indent + layout.Unit;
    for (auto child = element.Children.rbegin(); child != element.Children.rend(); ++child) {
        const std::size_t begin = index.Elements[*child].TagBegin;
        if (StartsLine(text, begin)) {
            childIndent = LineIndent(text, begin);
            break;
        }
    }
    std::string body;
    for (const SettingsNode* node : nodes) {
        if (multiLine) body += layout.LineBreak + childIndent;
        body += Serialize(*node, childIndent, layout, multiLine);
    }
    const std::string closing = multiLine ? layout.LineBreak + indent : std::string();
    if (element.Empty) {
        // "<name/>" becomes "<name>...</name>"; blanks before the "/>" go with it.
        splices.push_back(
            {element.AttributesEnd, element.StartTagEnd - element.AttributesEnd,
             '>' + body + closing + "</" + std::string(WrittenName(text, element)) + '>', 1});
    } else if (last == std::string_view::npos) {
        splices.push_back({element.StartTagEnd, content.size(), body + closing, 1});
    } else {
        splices.push_back({element.StartTagEnd + last + 1, 0, body, 1});
    }
}

// The first name in `top`'s subtree whose namespace prefix is not declared where the subtree
// goes (below `parent`; for a new document only "xml" is), or empty.
std::string UndeclaredPrefix(const SettingsNode& top, xmlDoc* document, xmlNode* parent) {
    std::vector<const SettingsNode*> pending = {&top};
    const auto declared = [&](const std::string& name) {
        const std::size_t colon = name.find(':');
        if (colon == std::string::npos) return true;
        const std::string prefix = name.substr(0, colon);
        if (parent == nullptr) return prefix == "xml";
        return xmlSearchNs(document, parent, reinterpret_cast<const xmlChar*>(prefix.c_str())) !=
               nullptr;
    };
    while (!pending.empty()) {
        const SettingsNode* const node = pending.back();
        pending.pop_back();
        if (!declared(node->name)) return node->name;
        for (const SettingsAttribute& attribute : node->attributes) {
            if (!declared(attribute.name)) return attribute.name;
        }
        for (const SettingsNode* child : ElementsFrom(node->firstChild)) pending.push_back(child);
    }
    return {};
}

std::string PrefixRefusal(const std::string& name) {
    return "the namespace prefix of '" + name + "' is not declared where it would be written";
}

// Makes `top` (named path[from]) the start of a chain of new elements down to the preset's;
// returns the preset's node.
SettingsNode* BuildChain(SettingsNode& top, const std::vector<std::string>& path,
                         std::size_t from) {
    top.name = path[from];
    SettingsNode* node = &top;
    for (std::size_t k = from + 1; k < path.size(); ++k) {
        auto* const child = new SettingsNode;
        child->name = path[k];
        node->InsertChild(child);
        node = child;
    }
    return node;
}

// One element of the document as it was mirrored into a settings node.
struct Mirrored {
    SettingsNode* Node;
    xmlNode* Element;
    std::size_t Number;                     // in the markup index
    std::vector<SettingsAttribute> Before;  // the node's attributes before the save
};

// Fills `node` with the element's name and attributes and records it; false when the written
// attributes do not match the DOM's.
bool MirrorElement(SettingsNode& node, xmlNode* element, std::size_t number, std::string_view text,
                   const MarkupIndex& index, std::vector<Mirrored>& mirrored) {
    node.name = ElementName(element);
    const std::vector<const MarkupAttribute*> written =
        PlainAttributes(text, index.Elements[number]);
    std::size_t count = 0;
    for (const xmlAttr* attribute = element->properties; attribute != nullptr;
         attribute = attribute->next, ++count) {
        const std::string name = QualifiedName(attribute->ns, attribute->name);
        if (count >= written.size() ||
            text.substr(written[count]->NameBegin,
                        written[count]->NameEnd - written[count]->NameBegin) != name) {
            return false;
        }
        node.attributes.push_back({name, AttributeValue(attribute)});
    }
    if (count != written.size()) return false;
    mirrored.push_back({&node, element, number, node.attributes});
    return true;
}

// Splices for the changed attributes of one mirrored element: new values between the old
// quotes, new attributes after the last one. False when attributes were removed or renamed.
bool AttributeSplices(std::string_view text, const MarkupIndex& index, const Mirrored& mirrored,
                      std::vector<Splice>& splices) {
    const MarkupElement& element = index.Elements[mirrored.Number];
    const std::vector<const MarkupAttribute*> written = PlainAttributes(text, element);
    const std::vector<SettingsAttribute>& now = mirrored.Node->attributes;
    if (now.size() < mirrored.Before.size()) return false;
    for (std::size_t j = 0; j < mirrored.Before.size(); ++j) {
        if (now[j].name != mirrored.Before[j].name) return false;
        // An unchanged value keeps its bytes, character references and all.
        if (now[j].value == mirrored.Before[j].value) continue;
        splices.push_back({written[j]->ValueBegin, written[j]->ValueEnd - written[j]->ValueBegin,
                           EscapeAttribute(now[j].value, written[j]->Quote), 0});
    }
    std::string added;
    for (std::size_t j = mirrored.Before.size(); j < now.size(); ++j) {
        added += ' ' + now[j].name + "=\"" + EscapeAttribute(now[j].value, '"') + '"';
    }
    if (!added.empty()) splices.push_back({element.AttributesEnd, 0, added, 0});
    return true;
}

XmlEdit Refuse(std::string reason) { return {std::nullopt, std::move(reason)}; }

XmlEdit NewDocument(const std::vector<std::string>& path, const PresetWriter& write) {
    SettingsNode root;
    SettingsNode* const preset = BuildChain(root, path, 0);
    if (!write(*preset)) return Refuse(kNotSaved);
    if (const std::string name = UndeclaredPrefix(root, nullptr, nullptr); !name.empty()) {
        return Refuse(PrefixRefusal(name));
    }
    const Layout layout;
    return {
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n" + Serialize(root, "", layout, true) + "\n",
        {}};
}

// The splices that write what `write` changed in the mirror of an existing preset element.
std::string SaveIntoElement(std::string_view text, const MarkupIndex& index, xmlDoc* document,
                            xmlNode* element, std::size_t number, const Layout& layout,
                            const PresetWriter& write, std::vector<Splice>& splices) {
    SettingsNode mirror;
    std::vector<Mirrored> mirrored;
    if (!MirrorElement(mirror, element, number, text, index, mirrored)) return kUnfollowable;
    const std::vector<xmlNode*> children = ElementChildren(element);
    for (std::size_t i = 0; i < children.size(); ++i) {
        auto* const child = new SettingsNode;
        mirror.InsertChild(child);
        if (!MirrorElement(*child, children[i], index.Elements[number].Children[i], text, index,
                           mirrored)) {
            return kUnfollowable;
        }
    }
    if (!write(mirror)) return kNotSaved;

    // The mirrored children come first, in their order; anything after them is new.
    const TreeNode* next = mirror.firstChild;
    for (std::size_t i = 1; i < mirrored.size(); ++i, next = next->nextSibling) {
        if (next != mirrored[i].Node) return kReshaped;
    }
    for (std::size_t i = 0; i < mirrored.size(); ++i) {
        if (!AttributeSplices(text, index, mirrored[i], splices)) return kReshaped;
        const std::vector<const SettingsNode*> added =
            ElementsFrom(i == 0 ? next : mirrored[i].Node->firstChild);
        if (added.empty()) continue;
        for (const SettingsNode* node : added) {
            const std::string name = UndeclaredPrefix(*node, document, mirrored[i].Element);
            if (!name.empty()) return PrefixRefusal(name);
        }
        InsertElements(text, index, mirrored[i].Number, added, layout, splices);
    }
    return {};
}

}  // namespace

bool SameXmlName(std::string_view a, std::string_view b) {
    const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; };
    return std::equal(a.begin(), a.end(), b.begin(), b.end(),
                      [&](char x, char y) { return lower(x) == lower(y); });
}

std::string FindXmlProblem(std::string_view document) { return ParseBytes(document).Problem; }

namespace {

// Path names are taken as bytes (the settings tree compares them so); one that no XML name can be,
// or bytes that are not text in the document's encoding, would make the edit malformed.
XmlEdit WellFormed(XmlEdit edit) {
    if (!edit.Text) return edit;
    if (const std::string problem = FindXmlProblem(*edit.Text); !problem.empty()) {
        return Refuse("the new names do not make well-formed XML (" + problem + ")");
    }
    return edit;
}

XmlEdit EditDocument(const std::string* document, const std::vector<std::string>& path,
                     const PresetWriter& write);

}  // namespace

XmlEdit SavePresetInXml(const std::optional<std::string>& document,
                        const std::vector<std::string>& path, const PresetWriter& write) {
    return WellFormed(EditDocument(document ? &*document : nullptr, path, write));
}

namespace {

XmlEdit EditDocument(const std::string* document, const std::vector<std::string>& path,
                     const PresetWriter& write) {
    if (path.empty()) return Refuse("no element was named");
    // An element without a name is no element: it would be left out of the text, values and all.
    if (std::find(path.begin(), path.end(), std::string()) != path.end()) {
        return Refuse("an element name is empty");
    }
    // A name holding markup ("a>b") could make text that is well-formed but names another
    // element. Bytes beyond ASCII are left to the check of the whole text.
    for (const std::string& name : path) {
        const auto digit = [](char c) { return c >= '0' && c <= '9'; };
        const auto nameByte = [&](char c) {
            return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || digit(c) || c == '_' ||
                   c == ':' || c == '-' || c == '.' || static_cast<unsigned char>(c) >= 0x80;
        };
        if (!std::all_of(name.begin(), name.end(), nameByte) || name[0] == '-' ||
            name[0] == '.' || digit(name[0])) {
            return Refuse("'" + name + "' is not an element name");
        }
    }
    if (!document) return NewDocument(path, write);

    const TextEncoding encoding = DetectEncoding(*document);
    if (!encoding.Supported) return Refuse("documents in UTF-32 or EBCDIC are not written");
    const Parse parse = ParseBytes(*document);
    if (!parse.Document) return Refuse("it is not well-formed XML (" + parse.Problem + ")");
    std::string text = document->substr(encoding.ByteOrderMark.size());
    if (!encoding.Charset.empty()) {
        std::optional<std::string> converted = Transcode(text, "UTF-8", encoding.Charset);
        if (!converted) return Refuse("its encoding " + encoding.Charset + " cannot be read");
        text = std::move(*converted);
    }
    const std::optional<MarkupIndex> index = IndexMarkup(text);
    xmlNode* element = xmlDocGetRootElement(parse.Document.get());
    if (!index || element == nullptr || !SameElement(element, index->Elements[0], text)) {
        return Refuse(kUnfollowable);
    }
    if (!SameXmlName(ElementName(element), path[0])) {
        return Refuse("its root element is '" + ElementName(element) + "'");
    }
    std::size_t number = 0;
    std::size_t found = 1;
    for (; found < path.size(); ++found) {
        const std::vector<xmlNode*> children = ElementChildren(element);
        const auto match = std::find_if(children.begin(), children.end(), [&](xmlNode* child) {
            return SameXmlName(ElementName(child), path[found]);
        });
        if (match == children.end()) break;
        element = *match;
        number =
            index->Elements[number].Children[static_cast<std::size_t>(match - children.begin())];
        if (!SameElement(element, index->Elements[number], text)) return Refuse(kUnfollowable);
    }

    const Layout layout = DetectLayout(text, *index);
    std::vector<Splice> splices;
    if (found < path.size()) {
        SettingsNode top;
        SettingsNode* const preset = BuildChain(top, path, found);
        if (!write(*preset)) return Refuse(kNotSaved);
        const std::string name = UndeclaredPrefix(top, parse.Document.get(), element);
        if (!name.empty()) return Refuse(PrefixRefusal(name));
        InsertElements(text, *index, number, {&top}, layout, splices);
    } else if (std::string refusal = SaveIntoElement(text, *index, parse.Document.get(), element,
                                                     number, layout, write, splices);
               !refusal.empty()) {
        return Refuse(std::move(refusal));
    }

    std::optional<std::string> changed = ApplySplices(text, std::move(splices));
    if (!changed) return Refuse(kUnfollowable);
    if (!encoding.Charset.empty()) {
        changed = Transcode(*changed, encoding.Charset, "UTF-8");
        if (!changed) {
            return Refuse("the new names cannot be written in its encoding " + encoding.Charset);
        }
    }
    return {std::string(encoding.ByteOrderMark) + *changed, {}};
}

}  // namespace
}  // namespace flanger::tool
