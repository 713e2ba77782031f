// Any bytes read as an XML file into a settings tree (SettingsNode::LoadFromFile over libxml2).
//
// Invariants: no crash and no leak (the sanitizers), time and memory within libFuzzer's limits,
// and the reader's refusals hold for what it takes: no element nests deeper than the parser's
// bound, and entity expansion cannot make the tree much larger than the file.
#include <utility>
#include <vector>

#include "flanger_settings_node.h"
#include "fuzz_support.h"
#include "platform/xml_document.h"

namespace {

// libxml2's nesting bound without XML_PARSE_HUGE (256 open elements), the root included.
constexpr std::size_t kDeepestTree = 257;
// Entities expand only within libxml2's amplification bound (ten times what was read).
constexpr std::size_t kAmplification = 20;
constexpr std::size_t kSmallExpansion = 1 << 20;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string path = flanger::fuzz::ScratchPath("fuzz.xml");
    flanger::fuzz::WriteFile(path, std::string_view(reinterpret_cast<const char*>(data), size));
    SettingsNode root;
    try {
        if (!root.LoadFromFile(path.c_str())) return 0;
    } catch (const flanger::platform::XmlParserError&) {
        return 0;  // the parser failing as a component is reported, not a fault
    }
    std::size_t deepest = 0;
    std::size_t bytes = 0;
    std::vector<std::pair<const TreeNode*, std::size_t>> open{{&root, 1}};
    while (!open.empty()) {
        const auto [node, depth] = open.back();
        open.pop_back();
        const auto& element = static_cast<const SettingsNode&>(*node);
        deepest = std::max(deepest, depth);
        bytes += element.name.size();
        for (const SettingsAttribute& attribute : element.attributes) {
            bytes += attribute.name.size() + attribute.value.size();
        }
        for (const TreeNode* child = node->FirstChild(); child; child = child->NextSibling()) {
            open.emplace_back(child, depth + 1);
        }
    }
    flanger::fuzz::Require(deepest <= kDeepestTree, "a tree deeper than the parser's bound");
    flanger::fuzz::Require(bytes <= kAmplification * size + kSmallExpansion,
                           "entities expanded past the amplification bound");
    return 0;
}
