// The LV2 plug-ins' own window: an LV2 UI of type X11 that shows the plug-ins' editor
// (plugin_editor.h: the module's settings window and the plug-in's further controls) inside the
// host's parent window.
//
// The UI runs apart from the plug-in (possibly in another process) and talks to it only through
// the host, by control port values: what the editor sends goes to the host as a port write, and
// the host's port events reach the editor. The host's idle calls run the editor's idle.
// Which plug-in the window serves (mono or stereo) comes from the plug-in URI: the port indices
// of the later controls depend on it, and the mono one has no stereo spread.
#include <lv2/core/lv2.h>
#include <lv2/ui/ui.h>

#include <cstdint>
#include <cstring>
#include <memory>

#include "plugins/editor/plugin_editor.h"
#include "plugins/plugin_ports.h"

namespace flanger::plugins {
namespace {

constexpr std::uint32_t kFloatProtocol = 0;

// The channel count of the plug-in `uri` names; 0 for none of ours.
std::uint32_t ChannelsOf(const char* uri) {
    for (const PluginIdentity& plugin : kPlugins) {
        if (uri != nullptr && std::strcmp(uri, plugin.Lv2Uri) == 0) return plugin.Channels;
    }
    return 0;
}

struct Editor {
    std::uint32_t Channels;
    std::unique_ptr<PluginEditor> Window;

    static Editor* Create(const char* pluginUri, const char* bundlePath, LV2UI_Write_Function write,
                          LV2UI_Controller controller, LV2UI_Widget* widget,
                          const LV2_Feature* const* features) {
        void* parent = nullptr;
        const LV2UI_Resize* resize = nullptr;
        for (; features != nullptr && *features != nullptr; ++features) {
            if (std::strcmp((*features)->URI, LV2_UI__parent) == 0) parent = (*features)->data;
            if (std::strcmp((*features)->URI, LV2_UI__resize) == 0) {
                resize = static_cast<const LV2UI_Resize*>((*features)->data);
            }
        }
        const std::uint32_t channels = ChannelsOf(pluginUri);
        auto send = [channels, write, controller](std::uint32_t control, float value) {
            write(controller, ControlPortIndex(channels, control), sizeof(float), kFloatProtocol,
                  &value);
        };
        std::unique_ptr<PluginEditor> window =
            PluginEditor::Create(reinterpret_cast<std::uintptr_t>(parent), channels,
                                 bundlePath != nullptr ? bundlePath : "", send);
        if (window == nullptr) return nullptr;
        if (resize != nullptr) resize->ui_resize(resize->handle, window->Width(), window->Height());
        *widget = reinterpret_cast<LV2UI_Widget>(window->NativeWindow());
        return new Editor{channels, std::move(window)};
    }

    // The host's control change: kept for the next idle call.
    void PortEvent(std::uint32_t port, std::uint32_t size, std::uint32_t format,
                   const void* buffer) {
        const std::uint32_t control = ControlAtPort(Channels, port);
        if (control == kControlCount || format != kFloatProtocol || size != sizeof(float)) return;
        float value;
        std::memcpy(&value, buffer, sizeof value);
        Window->Show(control, value);
    }

    int Idle() { return Window->Idle() ? 0 : 1; }  // 1: the window is gone, the host may close
};

Editor* EditorOf(LV2UI_Handle handle) { return static_cast<Editor*>(handle); }

LV2UI_Handle Instantiate(const LV2UI_Descriptor*, const char* pluginUri, const char* bundlePath,
                         LV2UI_Write_Function write, LV2UI_Controller controller,
                         LV2UI_Widget* widget, const LV2_Feature* const* features) {
    try {
        return Editor::Create(pluginUri, bundlePath, write, controller, widget, features);
    } catch (...) {
        return nullptr;
    }
}

void Cleanup(LV2UI_Handle handle) { delete EditorOf(handle); }

void PortEvent(LV2UI_Handle handle, std::uint32_t port, std::uint32_t size, std::uint32_t format,
               const void* buffer) {
    EditorOf(handle)->PortEvent(port, size, format, buffer);
}

int Idle(LV2UI_Handle handle) {
    try {
        return EditorOf(handle)->Idle();
    } catch (...) {
        return 1;
    }
}

const void* ExtensionData(const char* uri) {
    static const LV2UI_Idle_Interface idle{Idle};
    return std::strcmp(uri, LV2_UI__idleInterface) == 0 ? &idle : nullptr;
}

constexpr LV2UI_Descriptor kDescriptor = {kUiUri, Instantiate, Cleanup, PortEvent, ExtensionData};

}  // namespace
}  // namespace flanger::plugins

LV2_SYMBOL_EXPORT const LV2UI_Descriptor* lv2ui_descriptor(std::uint32_t index) {
    return index == 0 ? &flanger::plugins::kDescriptor : nullptr;
}
