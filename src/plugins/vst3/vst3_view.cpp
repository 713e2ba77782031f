// Vst3View: the view's calls, and the window it embeds.
#include "plugins/vst3/vst3_view.h"

#include <cstring>
#include <new>

#include "plugins/vst3/vst3_plugin.h"

namespace flanger::plugins::vst3 {
namespace {

#ifdef _WIN32
constexpr const char* kPlatform = V3_VIEW_PLATFORM_TYPE_HWND;
#else
constexpr const char* kPlatform = V3_VIEW_PLATFORM_TYPE_X11;
#endif

bool IsOurPlatform(const char* platform) {
    return platform != nullptr && std::strcmp(platform, kPlatform) == 0;
}

}  // namespace

v3_result Vst3View::Attach(void* parent, const char* platform) {
    if (Window != nullptr || parent == nullptr) return kInvalidArgument;
    if (!IsOurPlatform(platform)) return kNotImplemented;
    if (!Timer.Start(Frame)) return kInvalidArgument;  // no run loop to run the window by
    Window =
        PluginWindow::Load(kPlugins[kChannels - 1], [this](std::uint32_t control, float value) {
            Shown[control] = value;
            Plugin.ChangeFromEditor(control, value);
        });
    for (std::uint32_t control = 0; control < kControlCount; ++control) {
        Shown[control] = Plugin.PortValue(control);
    }
    std::uint32_t wasWidth = 0, wasHeight = 0;
    PluginWindow::LastSize(wasWidth, wasHeight);
    if (Window == nullptr || !Window->Embed(reinterpret_cast<std::uintptr_t>(parent), Shown)) {
        Remove();
        return kInternalError;
    }
    v3_view_rect size{};
    Size(size);
    // The host sized its window by what get_size said before: it follows the window's size.
    if (Frame != nullptr && (static_cast<std::uint32_t>(size.right) != wasWidth ||
                             static_cast<std::uint32_t>(size.bottom) != wasHeight)) {
        v3_cpp_obj(Frame)->resize_view(Frame, reinterpret_cast<v3_plugin_view**>(&Self), &size);
    }
    return kOk;
}

v3_result Vst3View::Remove() {
    Timer.Stop();
    if (Window == nullptr) return kInvalidArgument;
    Window.reset();
    return kOk;
}

void Vst3View::Size(v3_view_rect& rect) const {
    std::uint32_t width = 0, height = 0;
    if (Window != nullptr) {
        Window->Size(width, height);
    } else {
        PluginWindow::LastSize(width, height);
    }
    rect = {0, 0, static_cast<int32_t>(width), static_cast<int32_t>(height)};
}

void Vst3View::Tick(void* self) {
    Vst3View& view = *static_cast<Vst3View*>(self);
    if (view.Window == nullptr) return;
    try {
        for (std::uint32_t control = 0; control < kControlCount; ++control) {
            const float value = view.Plugin.PortValue(control);
            if (std::memcmp(&value, &view.Shown[control], sizeof value) == 0) continue;
            view.Shown[control] = value;
            view.Window->Show(control, value);
        }
        view.Window->Idle();
    } catch (...) {
        // Memory ran out in the window: it misses this tick rather than unwind into the host.
    }
}

struct Vst3View::Calls {
    static v3_result V3_API QueryInterface(void* self, const v3_tuid iid, void** object) {
        if (object == nullptr) return kInvalidArgument;
        const bool known = iid != nullptr && (v3_tuid_match(iid, v3_funknown_iid) ||
                                              v3_tuid_match(iid, v3_plugin_view_iid));
        *object = known ? self : nullptr;
        if (!known) return kNoInterface;
        Ref(self);
        return kOk;
    }
    static uint32_t V3_API Ref(void* self) {
        return Of(self).References.fetch_add(1, std::memory_order_relaxed) + 1;
    }
    static uint32_t V3_API Unref(void* self) {
        Vst3View& view = Of(self);
        const std::uint32_t left = view.References.fetch_sub(1, std::memory_order_acq_rel) - 1;
        if (left == 0) delete &view;
        return left;
    }
    static v3_result V3_API IsPlatformSupported(void*, const char* platform) {
        return IsOurPlatform(platform) ? kOk : kNotImplemented;
    }
    static v3_result V3_API Attached(void* self, void* parent, const char* platform) {
        try {
            return Of(self).Attach(parent, platform);
        } catch (...) {
            Of(self).Remove();
            return kOutOfMemory;
        }
    }
    static v3_result V3_API Removed(void* self) { return Of(self).Remove(); }
    static v3_result V3_API NoWheel(void*, float) { return kNotImplemented; }
    static v3_result V3_API NoKey(void*, int16_t, int16_t, int16_t) { return kNotImplemented; }
    static v3_result V3_API GetSize(void* self, v3_view_rect* rect) {
        if (rect == nullptr) return kInvalidArgument;
        Of(self).Size(*rect);
        return kOk;
    }
    // The window keeps its size, whatever the host's frame is given.
    static v3_result V3_API OnSize(void*, v3_view_rect* rect) {
        if (rect == nullptr || rect->right <= rect->left || rect->bottom <= rect->top) {
            return kInvalidArgument;
        }
        return kOk;
    }
    static v3_result V3_API NoFocus(void*, v3_bool) { return kNotImplemented; }
    static v3_result V3_API SetFrame(void* self, v3_plugin_frame** frame) {
        Of(self).Frame = frame;
        return kOk;
    }
    static v3_result V3_API CannotResize(void*) { return kFalse; }
    static v3_result V3_API CheckSize(void* self, v3_view_rect* rect) {
        if (rect == nullptr) return kInvalidArgument;
        if (Of(self).Window == nullptr) return kNotInitialized;
        Of(self).Size(*rect);
        return kOk;
    }
    static const v3_plugin_view_cpp kTable;
};

const v3_plugin_view_cpp Vst3View::Calls::kTable = {
    {QueryInterface, Ref, Unref},
    {IsPlatformSupported, Attached, Removed, NoWheel, NoKey, NoKey, GetSize, OnSize, NoFocus,
     SetFrame, CannotResize, CheckSize}};

v3_plugin_view** Vst3View::Create(Vst3Plugin& plugin) {
    Vst3View* view = new Vst3View(plugin);
    return reinterpret_cast<v3_plugin_view**>(&view->Self);
}

Vst3View::Vst3View(Vst3Plugin& plugin) : Plugin(plugin), Timer(Tick, this) {
    Self = {&Calls::kTable, this};
    Plugin.Reference();
}

Vst3View::~Vst3View() {
    Remove();
    Plugin.Release();
}

}  // namespace flanger::plugins::vst3
