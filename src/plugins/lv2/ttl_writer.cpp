// Writes the LV2 bundle's description, manifest.ttl, flanger.ttl and presets.ttl, from the port
// table the plug-in itself uses and the factory presets' table, and the version from the build
// (FLANGER_LV2_MINOR_VERSION and FLANGER_LV2_MICRO_VERSION, the project's minor and patch numbers).
// Run by the build.
//
// usage: flanger_lv2_ttl BUNDLE_DIRECTORY BINARY_NAME [UI_BINARY_NAME]
//
// With UI_BINARY_NAME both plug-ins name the X11 UI in that library as their window.
#include <charconv>
#include <cstdio>
#include <fstream>
#include <string>
#include <string_view>

#include "effect/factory_presets.h"
#include "plugins/plugin_ports.h"

namespace flanger::plugins {
namespace {

// A float as the shortest decimal that reads back as it, always with a point: "0.1", "5.0".
std::string Decimal(float value) {
    char text[32];
    const auto result = std::to_chars(text, text + sizeof text, value);
    std::string decimal(text, result.ptr);
    if (decimal.find_first_of(".e") == std::string::npos) decimal += ".0";
    return decimal;
}

const char* UnitOf(ControlUnit unit) {
    switch (unit) {
        case ControlUnit::Milliseconds:
            return "units:ms";
        case ControlUnit::Hertz:
            return "units:hz";
        case ControlUnit::Gain:
            return "units:coef";
        case ControlUnit::Degrees:
            return "units:degree";
        case ControlUnit::Decibels:
            return "units:db";
        case ControlUnit::Switch:
            break;
    }
    return nullptr;
}

void WriteControlPort(std::ostream& out, std::uint32_t index, const Control& port) {
    out << "\t\ta lv2:InputPort ,\n\t\t\tlv2:ControlPort ;\n"
        << "\t\tlv2:index " << index << " ;\n"
        << "\t\tlv2:symbol \"" << port.Key << "\" ;\n"
        << "\t\tlv2:name \"" << port.Label << "\" ;\n"
        << "\t\trdfs:comment \"" << port.Description << "\" ;\n"
        << "\t\tlv2:default " << Decimal(port.Default) << " ;\n"
        << "\t\tlv2:minimum " << Decimal(port.Minimum) << " ;\n"
        << "\t\tlv2:maximum " << Decimal(UpperLimit(port));
    if (port.Unit == ControlUnit::Switch) out << " ;\n\t\tlv2:portProperty lv2:toggled";
    if (port.Unit == ControlUnit::Degrees) out << " ;\n\t\tlv2:portProperty lv2:integer";
    // Hosts put their bypass button on the port that switches the plug-in on and off.
    if (&port == &kControls[kEnabledControl]) out << " ;\n\t\tlv2:designation lv2:enabled";
    if (port.Logarithmic) out << " ;\n\t\tlv2:portProperty pprops:logarithmic";
    if (const char* unit = UnitOf(port.Unit)) out << " ;\n\t\tunits:unit " << unit;
    out << "\n";
}

// A stereo plug-in's inputs and its outputs each form a stereo group ("<uri>#in", "<uri>#out"), so
// that a host connects left to left and right to right.
void WriteAudioPort(std::ostream& out, std::uint32_t index, const char* direction,
                    const PluginIdentity& plugin, std::uint32_t channel) {
    const bool input = std::string_view(direction) == "InputPort";
    const AudioPortNames names = input ? AudioInputPort(plugin.Channels, channel)
                                       : AudioOutputPort(plugin.Channels, channel);
    out << "\t\ta lv2:" << direction << " ,\n\t\t\tlv2:AudioPort ;\n"
        << "\t\tlv2:index " << index << " ;\n"
        << "\t\tlv2:symbol \"" << names.Symbol << "\" ;\n"
        << "\t\tlv2:name \"" << names.Name << "\"";
    if (plugin.Channels == 2) {
        out << " ;\n\t\tpg:group <" << plugin.Lv2Uri << (input ? "#in" : "#out") << "> ;\n"
            << "\t\tlv2:designation " << (channel == 0 ? "pg:left" : "pg:right");
    }
    out << "\n";
}

void WriteStereoGroups(std::ostream& out, const PluginIdentity& plugin) {
    out << "<" << plugin.Lv2Uri << "#in>\n\ta pg:StereoGroup ,\n\t\tpg:InputGroup ;\n"
        << "\tlv2:symbol \"in\" ;\n\trdfs:label \"Input\" .\n\n"
        << "<" << plugin.Lv2Uri << "#out>\n\ta pg:StereoGroup ,\n\t\tpg:OutputGroup ;\n"
        << "\tlv2:symbol \"out\" ;\n\trdfs:label \"Output\" ;\n"
        << "\tpg:source <" << plugin.Lv2Uri << "#in> .\n\n";
}

// Set when the bundle holds the UI.
const char* UiBinary = nullptr;

void WritePlugin(std::ostream& out, const PluginIdentity& plugin) {
    if (plugin.Channels == 2) WriteStereoGroups(out, plugin);
    out << "<" << plugin.Lv2Uri << ">\n"
        << "\ta lv2:Plugin ,\n\t\tlv2:FlangerPlugin ;\n"
        << "\tdoap:name \"" << plugin.Name << "\" ;\n"
        << "\trdfs:comment \"" << plugin.Description << "\" ;\n"
        << "\tdoap:license <" << kLicenseUri << "> ;\n"
        << "\tlv2:project <" << kProjectUri << "> ;\n"
        << "\tlv2:minorVersion " << FLANGER_LV2_MINOR_VERSION << " ;\n"
        << "\tlv2:microVersion " << FLANGER_LV2_MICRO_VERSION << " ;\n"
        << "\tlv2:optionalFeature lv2:hardRTCapable ;\n";
    if (UiBinary != nullptr) out << "\tui:ui <" << kUiUri << "> ;\n";
    if (plugin.Channels == 2) {
        out << "\tpg:mainInput <" << plugin.Lv2Uri << "#in> ;\n"
            << "\tpg:mainOutput <" << plugin.Lv2Uri << "#out> ;\n";
    }
    out << "\tlv2:port [\n";
    std::uint32_t index = 0;
    const char* separator = "\t] , [\n";
    for (std::uint32_t i = 0; i < kLeadingControls; ++i) {
        if (index > 0) out << separator;
        WriteControlPort(out, index++, kControls[i]);
    }
    for (std::uint32_t j = 0; j < plugin.Channels; ++j) {
        out << separator;
        WriteAudioPort(out, index++, "InputPort", plugin, j);
    }
    for (std::uint32_t j = 0; j < plugin.Channels; ++j) {
        out << separator;
        WriteAudioPort(out, index++, "OutputPort", plugin, j);
    }
    for (std::uint32_t i = kLeadingControls; i < kControlCount; ++i) {
        if (!HasControl(plugin.Channels, i)) continue;
        out << separator;
        WriteControlPort(out, index++, kControls[i]);
    }
    out << "\t] .\n";
}

// Hosts store this URI in their sessions, so it is made of parts that never change.
std::string PresetUri(const PluginIdentity& plugin, const FactoryPreset& preset) {
    return std::string(plugin.Lv2Uri) + "#preset-" + preset.Key;
}

// A factory preset of one plug-in: every control port it has but the bypass, which is the
// host's to switch, not a setting of the sound.
void WritePreset(std::ostream& out, const PluginIdentity& plugin, const FactoryPreset& preset) {
    out << "\n<" << PresetUri(plugin, preset) << ">\n\ta pset:Preset ;\n\tlv2:appliesTo <"
        << plugin.Lv2Uri << "> ;\n\trdfs:label \"" << preset.Name << "\" ;\n\trdfs:comment \""
        << preset.Description << "\" ;\n\tlv2:port ";
    const std::array<float, kControlCount> values = ControlValuesOf(preset.Settings);
    const char* separator = "[\n";
    for (std::uint32_t i = 0; i < kControlCount; ++i) {
        if (i == kEnabledControl || !HasControl(plugin.Channels, i)) continue;
        out << separator << "\t\tlv2:symbol \"" << kControls[i].Key << "\" ;\n\t\tpset:value "
            << Decimal(values[i]) << "\n";
        separator = "\t] , [\n";
    }
    out << "\t] .\n";
}

bool WriteBundle(const std::string& directory, const std::string& binary) {
    std::ofstream manifest(directory + "/manifest.ttl");
    manifest << "@prefix lv2: <http://lv2plug.in/ns/lv2core#> .\n"
             << "@prefix pset: <http://lv2plug.in/ns/ext/presets#> .\n"
             << "@prefix rdfs: <http://www.w3.org/2000/01/rdf-schema#> .\n";
    if (UiBinary != nullptr) {
        manifest << "@prefix ui: <http://lv2plug.in/ns/extensions/ui#> .\n\n<" << kUiUri
                 << ">\n\ta ui:X11UI ;\n\tui:binary <" << UiBinary
                 << "> ;\n\trdfs:seeAlso <flanger.ttl> .\n";
    }
    for (const PluginIdentity& plugin : kPlugins) {
        manifest << "\n<" << plugin.Lv2Uri << ">\n\ta lv2:Plugin ;\n\tlv2:binary <" << binary
                 << "> ;\n\trdfs:seeAlso <flanger.ttl> .\n";
    }
    std::ofstream presets(directory + "/presets.ttl");
    presets << "@prefix lv2: <http://lv2plug.in/ns/lv2core#> .\n"
            << "@prefix pset: <http://lv2plug.in/ns/ext/presets#> .\n"
            << "@prefix rdfs: <http://www.w3.org/2000/01/rdf-schema#> .\n";
    for (const PluginIdentity& plugin : kPlugins) {
        for (const FactoryPreset& preset : FactoryPresets()) {
            manifest << "\n<" << PresetUri(plugin, preset)
                     << ">\n\ta pset:Preset ;\n\tlv2:appliesTo <" << plugin.Lv2Uri
                     << "> ;\n\trdfs:seeAlso <presets.ttl> .\n";
            WritePreset(presets, plugin, preset);
        }
    }

    std::ofstream description(directory + "/flanger.ttl");
    description << "@prefix doap: <http://usefulinc.com/ns/doap#> .\n"
                << "@prefix foaf: <http://xmlns.com/foaf/0.1/> .\n"
                << "@prefix lv2: <http://lv2plug.in/ns/lv2core#> .\n"
                << "@prefix pg: <http://lv2plug.in/ns/ext/port-groups#> .\n"
                << "@prefix rdfs: <http://www.w3.org/2000/01/rdf-schema#> .\n"
                << "@prefix pprops: <http://lv2plug.in/ns/ext/port-props#> .\n"
                << "@prefix units: <http://lv2plug.in/ns/extensions/units#> .\n";
    if (UiBinary != nullptr) {
        // It embeds itself in the host's window and runs its loop in the host's idle calls.
        description << "@prefix ui: <http://lv2plug.in/ns/extensions/ui#> .\n\n<" << kUiUri
                    << ">\n\ta ui:X11UI ;\n\tlv2:requiredFeature ui:parent , ui:idleInterface ;"
                    << "\n\tlv2:optionalFeature ui:resize ;\n"
                    << "\tlv2:extensionData ui:idleInterface .\n";
    }
    // The maintainer of the project both plug-ins belong to: the package's, with an address.
    description << "\n<" << kProjectUri << ">\n\ta doap:Project ;\n\tdoap:name \"Flanger\" ;\n"
                << "\tdoap:license <" << kLicenseUri << "> ;\n"
                << "\tdoap:maintainer [\n\t\ta foaf:Person ;\n\t\tfoaf:name \""
                << FLANGER_MAINTAINER_NAME << "\" ;\n\t\tfoaf:mbox <mailto:"
                << FLANGER_MAINTAINER_ADDRESS << ">\n\t] .\n";
    for (const PluginIdentity& plugin : kPlugins) {
        description << "\n";
        WritePlugin(description, plugin);
    }
    manifest.close();
    description.close();
    presets.close();
    return manifest && description && presets;
}

}  // namespace
}  // namespace flanger::plugins

int main(int argc, char** argv) {
    if (argc != 3 && argc != 4) {
        std::fprintf(stderr, "usage: flanger_lv2_ttl BUNDLE_DIRECTORY BINARY_NAME [UI_BINARY]\n");
        return 2;
    }
    if (argc == 4) flanger::plugins::UiBinary = argv[3];
    if (!flanger::plugins::WriteBundle(argv[1], argv[2])) {
        std::fprintf(stderr, "flanger_lv2_ttl: cannot write the bundle's files in %s\n", argv[1]);
        return 1;
    }
    return 0;
}
