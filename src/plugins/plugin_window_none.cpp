// PluginWindow where the LV2 plug-ins' window is not built (no LV2 headers): no window to offer.
#include "plugins/plugin_window.h"

namespace flanger::plugins {

struct PluginWindow::Library {};

std::unique_ptr<PluginWindow> PluginWindow::Load(const PluginIdentity&, Send) { return nullptr; }
PluginWindow::~PluginWindow() = default;
bool PluginWindow::Embed(std::uintptr_t, const ControlValues&) { return false; }
void PluginWindow::Size(std::uint32_t& width, std::uint32_t& height) const { width = height = 0; }
void PluginWindow::LastSize(std::uint32_t& width, std::uint32_t& height) { width = height = 0; }
void PluginWindow::Show(std::uint32_t, float) {}
void PluginWindow::Idle() {}

}  // namespace flanger::plugins
