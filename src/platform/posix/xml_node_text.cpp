// Names, attribute values and white space read off libxml2's tree; see xml_node_text.h.
#include "platform/posix/xml_node_text.h"

#include <libxml/entities.h>

#include <cstring>
#include <vector>

namespace flanger::platform {
namespace {

const char* Chars(const xmlChar* text) { return reinterpret_cast<const char*>(text); }

std::string Text(const xmlChar* text) { return text != nullptr ? Chars(text) : std::string(); }

std::string Qualified(const xmlNs* ns, const xmlChar* local) {
    std::string name;
    if (ns != nullptr && ns->prefix != nullptr) {
        name = Chars(ns->prefix);
        name += ':';
    }
    name += Text(local);
    return name;
}

bool Charge(std::size_t& budget, std::size_t cost) {
    if (cost > budget) {
        budget = 0;
        return false;
    }
    budget -= cost;
    return true;
}

// libxml2 refuses entity loops and nesting beyond a few dozen levels while it parses; this
// bound keeps the walk below finite even without that.
constexpr std::size_t kMaxEntityNesting = 64;

bool HasEntityReference(xmlNodePtr list) {
    for (; list != nullptr; list = list->next) {
        if (list->type == XML_ENTITY_REF_NODE) {
            return true;
        }
    }
    return false;
}

xmlNodePtr FirstElement(xmlNodePtr list) {
    while (list != nullptr && list->type != XML_ELEMENT_NODE) {
        list = list->next;
    }
    return list;
}

}  // namespace

std::string NodeName(xmlNodePtr node) {
    switch (node->type) {
        case XML_ELEMENT_NODE:
            return Qualified(node->ns, node->name);
        case XML_TEXT_NODE:
            return "#text";
        case XML_CDATA_SECTION_NODE:
            return "#cdata-section";
        case XML_COMMENT_NODE:
            return "#comment";
        default:
            return Text(node->name);
    }
}

std::string NamespaceDeclarationName(xmlNsPtr declaration) {
    std::string name = "xmlns";
    if (declaration->prefix != nullptr) {
        name += ':';
        name += Chars(declaration->prefix);
    }
    return name;
}

std::string AttributeName(xmlAttrPtr attribute) {
    return Qualified(attribute->ns, attribute->name);
}

// The walk keeps, for each entity it has entered, the node to go on with once the entity's
// text is done: entities nest, and recursion would put their depth on the call stack.
bool AppendAttributeText(xmlDocPtr document, xmlNodePtr list, std::string* value,
                         std::size_t& budget) {
    std::vector<xmlNodePtr> resume;
    xmlNodePtr node = list;
    for (;;) {
        if (node == nullptr) {
            if (resume.empty()) {
                return true;
            }
            node = resume.back();
            resume.pop_back();
            continue;
        }
        const bool insideEntity = !resume.empty();
        if (node->type == XML_TEXT_NODE && node->content != nullptr) {
            const std::size_t length = std::strlen(Chars(node->content));
            if (insideEntity && !Charge(budget, length + 1)) {
                return false;
            }
            if (value != nullptr) {
                value->append(Chars(node->content), length);
            }
        } else if (node->type == XML_ENTITY_REF_NODE) {
            if (!Charge(budget, 1)) {
                return false;
            }
            // An entity that is not declared in the document (it would be in an external DTD,
            // which is never read) has no known text and adds nothing.
            const xmlEntityPtr entity = xmlGetDocEntity(document, node->name);
            if (entity != nullptr && entity->etype == XML_INTERNAL_PREDEFINED_ENTITY &&
                entity->content != nullptr) {
                const std::size_t length = std::strlen(Chars(entity->content));
                if (!Charge(budget, length)) {
                    return false;
                }
                if (value != nullptr) {
                    value->append(Chars(entity->content), length);
                }
            } else if (entity != nullptr && entity->etype == XML_INTERNAL_GENERAL_ENTITY &&
                       entity->children != nullptr) {
                if (resume.size() >= kMaxEntityNesting) {
                    budget = 0;
                    return false;
                }
                resume.push_back(node->next);
                node = entity->children;
                continue;
            }
        }
        node = node->next;
    }
}

std::string AttributeValue(xmlDocPtr document, xmlAttrPtr attribute) {
    std::string value;
    // The load checked every value against the limit, so an unlimited budget finishes.
    std::size_t unlimited = static_cast<std::size_t>(-1);
    AppendAttributeText(document, attribute->children, &value, unlimited);
    return value;
}

std::string NamespaceDeclarationValue(xmlNsPtr declaration) { return Text(declaration->href); }

// Visits the elements under the root in document order without recursion: down to the first
// child element, else on to the next sibling element of the nearest ancestor that has one.
bool AttributeExpansionWithinLimit(xmlDocPtr document) {
    const xmlNodePtr root = xmlDocGetRootElement(document);
    std::size_t budget = kMaxEntityTextInAttributes;
    xmlNodePtr element = root;
    while (element != nullptr) {
        for (xmlAttrPtr attribute = element->properties; attribute != nullptr;
             attribute = attribute->next) {
            if (HasEntityReference(attribute->children) &&
                !AppendAttributeText(document, attribute->children, nullptr, budget)) {
                return false;
            }
        }
        if (const xmlNodePtr child = FirstElement(element->children); child != nullptr) {
            element = child;
            continue;
        }
        xmlNodePtr following = nullptr;
        while (element != root && (following = FirstElement(element->next)) == nullptr) {
            element = element->parent;
        }
        element = following;
    }
    return true;
}

bool IsWhiteSpaceText(xmlNodePtr node) {
    if (node->type != XML_TEXT_NODE) {
        return false;
    }
    if (node->content == nullptr) {
        return true;
    }
    for (const xmlChar* c = node->content; *c != 0; ++c) {
        if (*c != ' ' && *c != '\t' && *c != '\n' && *c != '\r') {
            return false;
        }
    }
    return true;
}

// The attribute as written on the element; a default that a DTD declares for xml:space is not
// looked up, as no DTD default is.
std::optional<bool> OwnSpacePreserve(xmlDocPtr document, xmlNodePtr element) {
    for (xmlAttrPtr attribute = element->properties; attribute != nullptr;
         attribute = attribute->next) {
        if (attribute->ns == nullptr || !xmlStrEqual(attribute->ns->href, XML_XML_NAMESPACE) ||
            !xmlStrEqual(attribute->name, BAD_CAST "space")) {
            continue;
        }
        const std::string value = AttributeValue(document, attribute);
        if (value == "preserve") {
            return true;
        }
        if (value == "default") {
            return false;
        }
        return std::nullopt;
    }
    return std::nullopt;
}

}  // namespace flanger::platform
