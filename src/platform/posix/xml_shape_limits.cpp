// The byte-level counts behind the settings file limits; see xml_shape_limits.h.
#include "platform/posix/xml_shape_limits.h"

namespace flanger::platform {
namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

// Keeps the last characters seen, enough for the longest terminator.
void Remember(std::string& end, char c) {
    end.push_back(c);
    if (end.size() > 3) end.erase(0, end.size() - 3);
}

}  // namespace

bool XmlShapeCheck::Feed(const char* bytes, std::size_t count) {
    if (!problem_.empty()) return false;
    bytes_ += count;
    if (bytes_ > kMostXmlFileBytes) {
        return Refuse("the file is larger than " + std::to_string(kMostXmlFileBytes >> 20) +
                      " MiB");
    }
    for (std::size_t i = 0; i < count; ++i) {
        if (!Take(bytes[i])) return false;
    }
    return true;
}

bool XmlShapeCheck::Refuse(std::string problem) {
    problem_ = std::move(problem) + ", the most a settings file may hold";
    return false;
}

bool XmlShapeCheck::Take(char c) {
    switch (state_) {
        case State::Text:
            if (c == '<') state_ = State::Open;
            return true;
        case State::Open:
            if (c == '/') {
                state_ = State::EndTag;
            } else if (c == '?') {
                state_ = State::Instruction;
                end_.clear();
            } else if (c == '!') {
                state_ = State::Markup;
                markup_.clear();
                brackets_ = 0;
            } else {
                state_ = State::StartTag;
                attributes_ = 0;
                quote_ = 0;
                previous_ = c;
                if (++children_.back() > kMostXmlChildrenPerElement) {
                    return Refuse("an element holds more than " +
                                  std::to_string(kMostXmlChildrenPerElement) + " elements");
                }
            }
            return true;
        case State::StartTag:
            if (quote_ != 0) {
                if (c == quote_) quote_ = 0;
                return true;
            }
            if (c == '"' || c == '\'') {
                quote_ = c;
            } else if (c == '=' && ++attributes_ > kMostXmlAttributesPerElement) {
                return Refuse("an element holds more than " +
                              std::to_string(kMostXmlAttributesPerElement) + " attributes");
            } else if (c == '>') {
                state_ = State::Text;
                // An empty element ("<a/>") opens nothing; the parser bounds the depth itself.
                if (previous_ != '/' && children_.size() < 4096) children_.push_back(0);
            }
            if (!IsBlank(c)) previous_ = c;
            return true;
        case State::EndTag:
            if (c == '>') {
                state_ = State::Text;
                if (children_.size() > 1) children_.pop_back();
            }
            return true;
        case State::Markup:
            // "<!--" and "<![CDATA[" are told by their first characters; anything else is a
            // declaration, whose internal subset is bracketed.
            if (markup_.size() < 7) markup_.push_back(c);
            end_.clear();
            if (markup_ == "--") {
                state_ = State::Comment;
            } else if (markup_ == "[CDATA[") {
                state_ = State::Cdata;
            } else if (c == '[') {
                ++brackets_;
            } else if (c == ']') {
                --brackets_;
            } else if (c == '>' && brackets_ <= 0) {
                state_ = State::Text;
            }
            return true;
        case State::Comment:
        case State::Cdata:
        case State::Instruction:
            Remember(end_, c);
            if ((state_ == State::Comment && end_ == "-->") ||
                (state_ == State::Cdata && end_ == "]]>") ||
                (state_ == State::Instruction && end_.ends_with("?>"))) {
                state_ = State::Text;
            }
            return true;
    }
    return true;
}

}  // namespace flanger::platform
