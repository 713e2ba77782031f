// The CLAP library flanger.clap: its one export, clap_entry, and the factory offering the mono
// and the stereo plug-in, each a ClapPlugin. The descriptors come from the plug-ins' table
// (plugin_ports.h), so that the CLAP ids sit beside the LV2 URIs and LADSPA IDs hosts keep.
// Only clap_entry is exported (clap.map); no exception leaves the library.
#include <clap/entry.h>
#include <clap/plugin-factory.h>
#include <clap/plugin-features.h>

#include <cstring>
#include <iterator>

#include "plugins/clap/clap_plugin.h"

namespace flanger::plugins {
namespace {

const char* kMonoFeatures[] = {CLAP_PLUGIN_FEATURE_AUDIO_EFFECT, CLAP_PLUGIN_FEATURE_FLANGER,
                               CLAP_PLUGIN_FEATURE_MONO, nullptr};
const char* kStereoFeatures[] = {CLAP_PLUGIN_FEATURE_AUDIO_EFFECT, CLAP_PLUGIN_FEATURE_FLANGER,
                                 CLAP_PLUGIN_FEATURE_STEREO, nullptr};

clap_plugin_descriptor DescriptorOf(const PluginIdentity& plugin, const char** features) {
    return {CLAP_VERSION_INIT, plugin.ClapId,      plugin.Name, kVendor, "", "", "",
            FLANGER_VERSION,   plugin.Description, features};
}

const clap_plugin_descriptor kDescriptors[] = {DescriptorOf(kPlugins[0], kMonoFeatures),
                                               DescriptorOf(kPlugins[1], kStereoFeatures)};
static_assert(std::size(kDescriptors) == std::size(kPlugins), "a descriptor for every plug-in");

// [thread-safe] Null for an id the library does not know or a host of another major version.
const clap_plugin* CreatePlugin(const clap_host* host, const char* id) {
    if (host == nullptr || id == nullptr || !clap_version_is_compatible(host->clap_version)) {
        return nullptr;
    }
    for (std::size_t k = 0; k < std::size(kPlugins); ++k) {
        if (std::strcmp(id, kPlugins[k].ClapId) == 0) {
            return (new ClapPlugin(&kDescriptors[k], kPlugins[k], host))->Clap();
        }
    }
    return nullptr;
}

const clap_plugin_factory kFactory = {
    [](const clap_plugin_factory*) { return static_cast<std::uint32_t>(std::size(kDescriptors)); },
    [](const clap_plugin_factory*, std::uint32_t index) {
        return index < std::size(kDescriptors) ? &kDescriptors[index] : nullptr;
    },
    [](const clap_plugin_factory*, const clap_host* host, const char* id) {
        try {
            return CreatePlugin(host, id);
        } catch (...) {
            return static_cast<const clap_plugin*>(nullptr);  // memory exhausted
        }
    }};

}  // namespace
}  // namespace flanger::plugins

// The library's entry: init and deinit have nothing to set up; get_factory offers the plug-in
// factory and nothing else.
extern "C" CLAP_EXPORT const clap_plugin_entry clap_entry = {
    CLAP_VERSION_INIT, [](const char*) { return true; }, [] {},
    [](const char* id) -> const void* {
        return id != nullptr && std::strcmp(id, CLAP_PLUGIN_FACTORY_ID) == 0
                   ? &flanger::plugins::kFactory
                   : nullptr;
    }};
