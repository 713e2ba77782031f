// ClapWindow where the LV2 plug-ins' window is not built (no LV2 headers): no window to offer.
#include "plugins/clap/clap_window.h"

namespace flanger::plugins {

struct ClapWindow::Library {};

std::unique_ptr<ClapWindow> ClapWindow::Load(const PluginIdentity&, Send) { return nullptr; }
ClapWindow::~ClapWindow() = default;
bool ClapWindow::Embed(std::uintptr_t, const ControlValues&) { return false; }
void ClapWindow::Size(std::uint32_t& width, std::uint32_t& height) const { width = height = 0; }
void ClapWindow::Show(std::uint32_t, float) {}
void ClapWindow::Idle() {}

}  // namespace flanger::plugins
