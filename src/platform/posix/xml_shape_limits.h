// Limits on what a settings file may hold, checked on its bytes as they are read, before libxml2
// builds anything of them. libxml2 checks each attribute of an element against every one before
// it, and walks over an element's children are linear, so a file with 100,000 attributes on one
// element, or 200,000 children under one, takes minutes to read or save. A settings file holds a
// few dozen of each; beyond these limits it is refused at once, with the limit named.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace flanger::platform {

inline constexpr std::size_t kMostXmlAttributesPerElement = 1000;
inline constexpr std::size_t kMostXmlChildrenPerElement = 10000;
inline constexpr std::size_t kMostXmlFileBytes = std::size_t{8} << 20;

// Counts, over bytes fed in any pieces, the attributes of each start tag, the children of each
// element and the bytes. Comments, CDATA sections, processing instructions and the document type
// declaration count for nothing. Only a count: whether the text is well-formed is the parser's
// to say.
class XmlShapeCheck {
public:
    // False once the bytes so far pass a limit; Problem() then says which.
    bool Feed(const char* bytes, std::size_t count);
    // "an element holds more than 1000 attributes", or empty.
    const std::string& Problem() const { return problem_; }

private:
    enum class State { Text, Open, StartTag, EndTag, Markup, Comment, Cdata, Instruction };
    bool Take(char c);
    bool Refuse(std::string problem);

    State state_ = State::Text;
    std::size_t bytes_ = 0;
    std::size_t attributes_ = 0;
    std::vector<std::size_t> children_ = {0};  // per open element, the document's first
    char quote_ = 0;
    char previous_ = 0;   // the last character of a start tag outside quotes, but for blanks
    std::string markup_;  // what follows "<!" until it tells a comment, CDATA or declaration
    int brackets_ = 0;    // the depth of a declaration's internal subset
    std::string end_;     // the last characters, to find "-->", "]]>" and "?>"
    std::string problem_;
};

}  // namespace flanger::platform
