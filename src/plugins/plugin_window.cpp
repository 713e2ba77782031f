// PluginWindow: the LV2 UI library loaded and driven as an LV2 host drives it.
#include "plugins/plugin_window.h"

#include <dlfcn.h>
#include <lv2/ui/ui.h>

#include <cstring>
#include <string>

namespace flanger::plugins {

namespace {

// Where the LV2 bundle lies from the plug-in library's folder: in the build tree, and as installed.
constexpr const char* kBundlesFromOwnFolder[] = {FLANGER_LV2_BUNDLE_FROM_BUILT "/",
                                                 FLANGER_LV2_BUNDLE_FROM_INSTALLED "/"};
// The window's size before it is first made: what the settings window and its side panel take
// on a display at 96 dots per inch.
std::uint32_t gLastWidth = 640;
std::uint32_t gLastHeight = 330;

// The folder of this library, with its trailing slash.
std::string OwnFolder() {
    Dl_info info{};
    if (dladdr(reinterpret_cast<void*>(&OwnFolder), &info) == 0 || info.dli_fname == nullptr) {
        return "";
    }
    const std::string path = info.dli_fname;
    return path.substr(0, path.rfind('/') + 1);
}

}  // namespace

struct PluginWindow::Library {
    std::string Bundle;  // with its trailing slash
    const LV2UI_Descriptor* Descriptor = nullptr;
    const LV2UI_Idle_Interface* IdleInterface = nullptr;
};

std::unique_ptr<PluginWindow> PluginWindow::Load(const PluginIdentity& identity, Send send) {
    // Loaded once for the process and kept: windows of it may be open in other instances.
    static const Library library = [] {
        Library found;
        for (const char* relative : kBundlesFromOwnFolder) {
            const std::string bundle = OwnFolder() + relative;
            void* handle = dlopen((bundle + "flanger_ui.so").c_str(), RTLD_NOW | RTLD_LOCAL);
            const auto descriptorOf =
                handle == nullptr
                    ? nullptr
                    : reinterpret_cast<LV2UI_DescriptorFunction>(dlsym(handle, "lv2ui_descriptor"));
            const LV2UI_Descriptor* descriptor =
                descriptorOf == nullptr ? nullptr : descriptorOf(0);
            if (descriptor == nullptr || descriptor->extension_data == nullptr) continue;
            found.Bundle = bundle;
            found.Descriptor = descriptor;
            found.IdleInterface = static_cast<const LV2UI_Idle_Interface*>(
                descriptor->extension_data(LV2_UI__idleInterface));
            if (found.IdleInterface != nullptr) break;
            found.Descriptor = nullptr;
        }
        return found;
    }();
    if (library.Descriptor == nullptr) return nullptr;
    return std::unique_ptr<PluginWindow>(new PluginWindow(library, identity, std::move(send)));
}

PluginWindow::PluginWindow(const Library& library, const PluginIdentity& identity, Send send)
    : Ui(library), Identity(identity), SendControl(std::move(send)) {}

PluginWindow::~PluginWindow() {
    if (Handle != nullptr) Ui.Descriptor->cleanup(Handle);
}

bool PluginWindow::Embed(std::uintptr_t parent, const ControlValues& values) {
    if (Handle != nullptr) return false;
    LV2UI_Resize resize{this, [](LV2UI_Feature_Handle self, int width, int height) {
                            auto& window = *static_cast<PluginWindow*>(self);
                            window.Width = gLastWidth = static_cast<std::uint32_t>(width);
                            window.Height = gLastHeight = static_cast<std::uint32_t>(height);
                            return 0;
                        }};
    const LV2_Feature parentFeature{LV2_UI__parent, reinterpret_cast<void*>(parent)};
    const LV2_Feature resizeFeature{LV2_UI__resize, &resize};
    const LV2_Feature* features[] = {&parentFeature, &resizeFeature, nullptr};
    LV2UI_Widget widget = nullptr;
    Handle = Ui.Descriptor->instantiate(
        Ui.Descriptor, Identity.Lv2Uri, Ui.Bundle.c_str(),
        [](LV2UI_Controller self, std::uint32_t port, std::uint32_t size, std::uint32_t format,
           const void* buffer) {
            auto& window = *static_cast<PluginWindow*>(const_cast<void*>(self));
            const std::uint32_t control = ControlAtPort(window.Identity.Channels, port);
            if (control == kControlCount || format != 0 || size != sizeof(float)) return;
            float value;
            std::memcpy(&value, buffer, sizeof value);
            // Called from the window's C code: a change that cannot be passed on is dropped
            // rather than thrown through it.
            try {
                window.SendControl(control, value);
            } catch (...) {
            }
        },
        this, &widget, features);
    if (Handle == nullptr) return false;
    for (std::uint32_t control = 0; control < kControlCount; ++control) {
        if (HasControl(Identity.Channels, control)) Show(control, values[control]);
    }
    return true;
}

void PluginWindow::Size(std::uint32_t& width, std::uint32_t& height) const {
    if (Handle == nullptr) return LastSize(width, height);
    width = Width;
    height = Height;
}

void PluginWindow::LastSize(std::uint32_t& width, std::uint32_t& height) {
    width = gLastWidth;
    height = gLastHeight;
}

void PluginWindow::Show(std::uint32_t control, float value) {
    if (Handle == nullptr || !HasControl(Identity.Channels, control)) return;
    Ui.Descriptor->port_event(Handle, ControlPortIndex(Identity.Channels, control), sizeof value, 0,
                              &value);
}

void PluginWindow::Idle() {
    if (Handle != nullptr) Ui.IdleInterface->idle(Handle);
}

}  // namespace flanger::plugins
