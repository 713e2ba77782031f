// PluginWindow on Windows: the plug-ins' editor made directly inside the host's HWND. Windows has
// USER32 in every process, so nothing is left to load but the module (Plugin.dll) the editor
// shows the settings window of, which lies beside the plug-in library.
#include "plugins/editor/plugin_editor.h"
#include "plugins/plugin_window.h"

namespace flanger::plugins {

namespace {

// The window's size before it is first made: what the settings window and its side panel take
// at 96 dots per inch.
std::uint32_t gLastWidth = 640;
std::uint32_t gLastHeight = 330;

PluginEditor* EditorOf(void* handle) { return static_cast<PluginEditor*>(handle); }

}  // namespace

struct PluginWindow::Library {};

std::unique_ptr<PluginWindow> PluginWindow::Load(const PluginIdentity& identity, Send send) {
    static const Library library;
    return std::unique_ptr<PluginWindow>(new PluginWindow(library, identity, std::move(send)));
}

PluginWindow::PluginWindow(const Library& library, const PluginIdentity& identity, Send send)
    : Ui(library), Identity(identity), SendControl(std::move(send)) {}

PluginWindow::~PluginWindow() { delete EditorOf(Handle); }

bool PluginWindow::Embed(std::uintptr_t parent, const ControlValues& values) {
    if (Handle != nullptr) return false;
    std::unique_ptr<PluginEditor> editor = PluginEditor::Create(
        parent, Identity.Channels, "",
        [this](std::uint32_t control, float value) { SendControl(control, value); });
    if (editor == nullptr) return false;
    Width = gLastWidth = static_cast<std::uint32_t>(editor->Width());
    Height = gLastHeight = static_cast<std::uint32_t>(editor->Height());
    Handle = editor.release();
    for (std::uint32_t control = 0; control < kControlCount; ++control) {
        if (HasControl(Identity.Channels, control)) Show(control, values[control]);
    }
    Idle();
    return true;
}

void PluginWindow::Size(std::uint32_t& width, std::uint32_t& height) const {
    width = Handle != nullptr ? Width : gLastWidth;
    height = Handle != nullptr ? Height : gLastHeight;
}

void PluginWindow::LastSize(std::uint32_t& width, std::uint32_t& height) {
    width = gLastWidth;
    height = gLastHeight;
}

void PluginWindow::Show(std::uint32_t control, float value) {
    if (Handle != nullptr && HasControl(Identity.Channels, control)) {
        EditorOf(Handle)->Show(control, value);
    }
}

void PluginWindow::Idle() {
    if (Handle != nullptr) EditorOf(Handle)->Idle();
}

}  // namespace flanger::plugins
