// A settings tree as one line of text, for golden comparisons in tests:
// "name[attr=value ...]{child ...}" with the parts that are present.
#pragma once

#include <string>

#include "flanger_settings_node.h"

namespace tree_text {

inline std::string Describe(const SettingsNode& node) {
    std::string text = node.name;
    if (!node.attributes.empty()) {
        text += '[';
        for (std::size_t i = 0; i < node.attributes.size(); ++i) {
            if (i != 0) text += ' ';
            text += node.attributes[i].name + "=" + node.attributes[i].value;
        }
        text += ']';
    }
    if (node.firstChild != nullptr) {
        text += '{';
        for (const TreeNode* child = node.firstChild; child != nullptr;
             child = child->nextSibling) {
            if (child != node.firstChild) text += ' ';
            text += Describe(*static_cast<const SettingsNode*>(child));
        }
        text += '}';
    }
    return text;
}

}  // namespace tree_text
