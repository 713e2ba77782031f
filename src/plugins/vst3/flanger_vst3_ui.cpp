// The VST3 plug-ins' editor on Linux: the framework's external-window UI (DistrhoUI.hpp,
// extra/ExternalWindow.hpp) holding PluginWindow, the LV2 plug-ins' window, inside the X11 window
// the host attaches the view to. Everything here runs on the host's main thread: the framework
// makes the UI when the host attaches the view (and once without a parent, to learn its size),
// runs uiIdle from the host's run-loop timer and brings the host's changes to parameterChanged.
#include <DistrhoUI.hpp>
#include <memory>

#include "plugins/plugin_window.h"
#include "vst3_parameters.h"

START_NAMESPACE_DISTRHO

namespace {

using flanger::kControlCount;
using flanger::kEnabledControl;
using flanger::plugins::ControlValues;
using flanger::plugins::vst3::BypassOf;
using flanger::plugins::vst3::kChannels;
using flanger::plugins::vst3::kParameters;

// The size the UI starts with, before its window is made: what the window last took.
uint LastWidth() {
    std::uint32_t width = 0, height = 0;
    flanger::plugins::PluginWindow::LastSize(width, height);
    return width;
}
uint LastHeight() {
    std::uint32_t width = 0, height = 0;
    flanger::plugins::PluginWindow::LastSize(width, height);
    return height;
}

class FlangerVst3Ui : public UI {
public:
    FlangerVst3Ui() : UI(LastWidth(), LastHeight()) {
        const uintptr_t parent = getParentWindowHandle();
        if (parent == 0) return;  // made only to tell the view's size
        // The host attaches the view through C calls: a window that cannot be made leaves the
        // view empty rather than throwing through them.
        try {
            Embed(parent);
        } catch (...) {
            Window.reset();
        }
    }

protected:
    void parameterChanged(uint32_t index, float value) override {
        if (Window == nullptr || index >= kParameters.Count) return;
        const std::uint32_t control = kParameters.Controls[index];
        Window->Show(control, control == kEnabledControl ? BypassOf(value) : value);
    }

    void uiIdle() override {
        if (Window != nullptr) Window->Idle();
    }

private:
    void Embed(uintptr_t parent) {
        Window = flanger::plugins::PluginWindow::Load(
            flanger::plugins::kPlugins[kChannels - 1],
            [this](std::uint32_t control, float value) { ChangedInWindow(control, value); });
        // The defaults until the plug-in's values arrive, which the framework sends on connecting.
        ControlValues values{};
        for (std::uint32_t control = 0; control < kControlCount; ++control) {
            values[control] = flanger::kControls[control].Default;
        }
        if (Window == nullptr || !Window->Embed(parent, values)) {
            Window.reset();
            return;
        }
        std::uint32_t width = 0, height = 0;
        Window->Size(width, height);
        setSize(width, height);
    }

    // A control a person changed in the window, to the host as one edit of its parameter.
    void ChangedInWindow(std::uint32_t control, float value) {
        const std::uint32_t index = kParameters.ParameterOf(control);
        if (index == kParameters.Count) return;
        editParameter(index, true);
        setParameterValue(index, control == kEnabledControl ? BypassOf(value) : value);
        editParameter(index, false);
    }

    std::unique_ptr<flanger::plugins::PluginWindow> Window;

    DISTRHO_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR(FlangerVst3Ui)
};

}  // namespace

UI* createUI() { return new FlangerVst3Ui(); }

END_NAMESPACE_DISTRHO
