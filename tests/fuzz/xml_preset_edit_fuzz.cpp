// The flanger command's XML preset editor: any document, a node path and six values.
//
// Input: a byte (bit 0: no file yet; bits 1-2: path length less one), that many NUL-ended path
// names, six 32-bit values, then the document. Invariants: a refused edit is one of a document
// the parser refuses or a path it cannot take; an accepted one is well-formed, reads back
// through the settings tree to the values (when the old document did), and saving the same
// values into it again changes no byte.
#include <array>
#include <cstdio>
#include <string>
#include <vector>

#include "flanger_settings_node.h"
#include "fuzz_support.h"
#include "platform/xml_document.h"
#include "presets/xml_preset_edit.h"

namespace {

using flanger::fuzz::Require;

constexpr std::array<const char*, 6> kNames = {"Depth", "Delay",    "Width",
                                               "Sine",  "Feedback", "Speed"};

// Writes the values as the module's SavePresetXml does: the first child of each name, else a new
// one at the end, with the value in the attribute "Value".
flanger::tool::PresetWriter Writer(const std::array<std::string, 6>& values) {
    return [&values](SettingsNode& element) {
        for (std::size_t k = 0; k < kNames.size(); ++k) {
            SettingsNode* child = element.FindChild(kNames[k]);
            if (child == nullptr) child = element.AddChild(kNames[k]);
            child->SetAttribute("Value", values[k].c_str());
        }
        return true;
    };
}

// The settings tree of `text`, or false when the tree's reader refuses it.
bool LoadTree(const std::string& text, SettingsNode& root) {
    const std::string path = flanger::fuzz::ScratchPath("preset.xml");
    flanger::fuzz::WriteFile(path, text);
    try {
        return root.LoadFromFile(path.c_str());
    } catch (const flanger::platform::XmlParserError&) {
        return false;
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    flanger::fuzz::FuzzInput input(data, size);
    const std::uint8_t shape = input.Byte();
    std::vector<std::string> path(1 + (shape >> 1 & 3));
    for (std::string& name : path) name = input.Field(64);
    std::array<std::string, 6> values;
    for (std::string& value : values) value = std::to_string(input.Int32());
    std::optional<std::string> document;
    if ((shape & 1) == 0) document = input.Rest();

    const flanger::tool::XmlEdit edit =
        flanger::tool::SavePresetInXml(document, path, Writer(values));
    if (!edit.Text) {
        Require(!edit.Error.empty(), "an edit refused without a reason");
        return 0;
    }
    Require(flanger::tool::FindXmlProblem(*edit.Text).empty(), "an edit wrote malformed XML");
    const flanger::tool::XmlEdit again =
        flanger::tool::SavePresetInXml(edit.Text, path, Writer(values));
    if (again.Text != edit.Text) {
        std::fprintf(stderr, "first:\n%s\nagain:\n%s\n(%s)\n", edit.Text->c_str(),
                     again.Text ? again.Text->c_str() : "refused", again.Error.c_str());
    }
    Require(again.Text == edit.Text, "saving the same values again changed the text");

    SettingsNode old;
    if (document && !LoadTree(*document, old)) return 0;
    SettingsNode root;
    Require(LoadTree(*edit.Text, root), "the settings tree refuses an edited document");
    Require(flanger::tool::SameXmlName(root.name, path.front()), "the root is not the path's");
    SettingsNode* element = &root;
    for (std::size_t k = 1; k < path.size(); ++k) {
        element = element->FindChild(path[k].c_str());
        Require(element != nullptr, "the edited element is not on the path");
    }
    for (std::size_t k = 0; k < kNames.size(); ++k) {
        const SettingsNode* child = element->FindChild(kNames[k]);
        std::string stored;
        Require(child != nullptr && child->GetAttribute("Value", stored) && stored == values[k],
                "a saved value does not read back");
    }
    return 0;
}
