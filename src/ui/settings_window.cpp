// Creating the settings window: the dialog object over the record, the template found and
// copied with its style replaced, the modeless dialog made from the copy.
#include "ui/settings_window.h"

#include <cstring>
#include <memory>
#include <vector>

#include "ui/settings_dialog.h"
#include "ui/settings_dialog_ids.h"
#include "windowing/dialog_template_parser.h"
#include "windowing/framework/module_state.h"
#include "windowing/framework/wnd.h"

namespace flanger::ui {

HWND CreateSettingsWindowFromResources(HWND parent, EffectSettings* settings) {
    LPCSTR const name = MAKEINTRESOURCEA(kSettingsDialogTemplateId);
    HINSTANCE const module = framework::AfxFindResourceHandle(name, RT_DIALOG);
    HRSRC const resource = FindResourceA(module, name, RT_DIALOG);
    if (resource == nullptr) return nullptr;
    const void* const bytes = LockResource(LoadResource(module, resource));
    if (bytes == nullptr) return nullptr;
    return CreateSettingsWindowFromTemplate(parent, settings, bytes,
                                            SizeofResource(module, resource));
}

HWND CreateSettingsWindowFromTemplate(HWND parent, EffectSettings* settings,
                                      const void* storedTemplate, std::size_t size) {
    if (settings == nullptr || !IsWindow(parent) || storedTemplate == nullptr ||
        size < sizeof(DLGTEMPLATE)) {
        return nullptr;
    }
    // The dialog manager reads a template without knowing its size, so a template that a
    // resource library got wrong must be caught here, while its size is still known.
    platform::DialogTemplate parsed;
    if (platform::ParseDialogTemplate(static_cast<const unsigned char*>(storedTemplate), size,
                                      parsed) != platform::TemplateProblem::None) {
        return nullptr;
    }
    auto dialog = std::make_unique<SettingsDialog>(framework::CWnd::FromHandle(parent));
    dialog->AttachSettings(settings);

    // The loaded template stays as it is (it may be read-only, and it serves every window);
    // the replacement style goes into a copy, aligned as templates must be.
    std::vector<std::uint32_t> copy((size + sizeof(std::uint32_t) - 1) / sizeof(std::uint32_t));
    std::memcpy(copy.data(), storedTemplate, size);
    const DWORD style = kSettingsWindowStyle;
    std::memcpy(copy.data(), &style, sizeof style);  // the style word opens the template

    if (!dialog->CreateIndirect(reinterpret_cast<LPCDLGTEMPLATEA>(copy.data()),
                                framework::CWnd::FromHandle(parent))) {
        return nullptr;
    }
    // From here on the window owns the object (it is deleted after the window's last message).
    SettingsDialog* const ownedByWindow = dialog.release();
    return ownedByWindow->m_hWnd;
}

}  // namespace flanger::ui
