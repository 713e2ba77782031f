// Loading the module for its settings window with LoadLibrary: from the directory asked for,
// else from the directory of the library this code is in (a plug-in library installed beside
// Plugin.dll).
#include "windowing/settings_window_module.h"

#include <windows.h>

#include <string>

namespace flanger::platform {
namespace {

constexpr wchar_t kModuleName[] = L"Plugin.dll";

// Windows' own names are UTF-16; the directory comes in UTF-8.
std::wstring Wide(const std::string& text) {
    if (text.empty()) return {};
    const int length = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.data(),
                                           static_cast<int>(text.size()), nullptr, 0);
    if (length <= 0) return {};
    std::wstring wide(static_cast<std::size_t>(length), L'\0');
    MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.data(), static_cast<int>(text.size()),
                        wide.data(), length);
    return wide;
}

template <typename Function>
Function Export(HMODULE module, const char* name) {
    return reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

std::optional<SettingsWindowModule> Load(const std::wstring& path) {
    // Never freed: windows of the module may outlive their user.
    const HMODULE module = LoadLibraryW(path.c_str());
    if (module == nullptr) return std::nullopt;
    SettingsWindowModule exports;
    exports.Initialize = Export<decltype(exports.Initialize)>(module, "Initialize");
    exports.Free = Export<decltype(exports.Free)>(module, "Free");
    exports.CreateSettingsWindow =
        Export<decltype(exports.CreateSettingsWindow)>(module, "CreateSettingsWindow");
    if (exports.Initialize == nullptr || exports.Free == nullptr ||
        exports.CreateSettingsWindow == nullptr) {
        return std::nullopt;
    }
    return exports;
}

// The directory of the library this code is linked into, with its trailing backslash.
std::wstring OwnDirectory() {
    HMODULE self = nullptr;
    if (!GetModuleHandleExW(
            GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
            reinterpret_cast<LPCWSTR>(&OwnDirectory), &self)) {
        return {};
    }
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length = GetModuleFileNameW(self, path.data(), static_cast<DWORD>(path.size()));
        if (length == 0) return {};
        if (length < path.size()) {
            path.resize(length);
            break;
        }
        path.resize(path.size() * 2);
    }
    const std::size_t slash = path.find_last_of(L"\\/");
    return slash == std::wstring::npos ? std::wstring{} : path.substr(0, slash + 1);
}

}  // namespace

std::optional<SettingsWindowModule> LoadSettingsWindowModule(const std::string& directory) {
    if (!directory.empty()) {
        if (auto asked = Load(Wide(directory) + kModuleName)) return asked;
    }
    const std::wstring own = OwnDirectory();
    if (own.empty()) return std::nullopt;
    return Load(own + kModuleName);
}

}  // namespace flanger::platform
