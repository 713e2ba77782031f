// The module's context switch as a host sees it. The host keeps a module context of its own in
// the windowing layer's slot (as a host written in the same framework would); every export, and
// every message that reaches the module's windows, must run in the module's context and hand
// the host's back, whatever the arguments and also when the module fails inside. Host code
// that the module calls while it is inside (the stream call-back) runs in the module's context;
// host code that the host's own message loop runs (the parent window's procedure receiving the
// settings window's notification) runs in the host's.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "flanger_user32.h"
#include "host_records.h"
#include "plugin_module.h"
#include "windowing/simulated_input.h"

namespace host {
namespace {

int hostContextMarker = 0;
void* const kHostContext = &hostContextMarker;

constexpr int kDelaySliderId = 22805;
constexpr int kWidthSliderId = 22806;
constexpr int kSineCheckId = 22818;
constexpr WPARAM kSettingsChanged = 0x04000000;

using CreateSettingsWindowFunction = HWND (*)(HWND parent, EffectSettings* settings);

// The thirteenth export, looked up in the module that LoadPlugin keeps loaded.
CreateSettingsWindowFunction LookUpCreateSettingsWindow() {
    void* const module = dlopen(FLANGER_PLUGIN_PATH, RTLD_NOW | RTLD_LOCAL | RTLD_NOLOAD);
    if (module == nullptr) return nullptr;
    void* const address = dlsym(module, "CreateSettingsWindow");
    dlclose(module);
    return reinterpret_cast<CreateSettingsWindowFunction>(address);
}

// The host's parent window: records the context in force whenever its procedure runs with a
// notification from the settings window.
struct ParentLog {
    std::vector<void*> contextsAtNotification;
};
ParentLog* parentLog = nullptr;

LRESULT ParentProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_COMMAND && wParam == kSettingsChanged && parentLog != nullptr) {
        parentLog->contextsAtNotification.push_back(FlangerGetModuleContext());
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

HWND CreateParent() {
    static const ATOM registered = [] {
        WNDCLASSA windowClass = {};
        windowClass.lpfnWndProc = &ParentProcedure;
        windowClass.lpszClassName = "ModuleContextTestParent";
        return RegisterClassA(&windowClass);
    }();
    if (registered == 0) return nullptr;
    return CreateWindowExA(0, "ModuleContextTestParent", "Host", WS_OVERLAPPEDWINDOW, 0, 0, 400,
                           300, nullptr, nullptr, nullptr, nullptr);
}

void DispatchPendingMessages() {
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&message);
}

class ModuleContextTest : public ::testing::Test {
protected:
    void SetUp() override {
        const LoadedPlugin& loaded = LoadPlugin();
        ASSERT_TRUE(loaded.error.empty()) << loaded.error;
        plugin = &loaded.exports;
        createSettingsWindow = LookUpCreateSettingsWindow();
        ASSERT_NE(createSettingsWindow, nullptr);
        parentLog = &log;
        previousContext = FlangerSetModuleContext(kHostContext);
    }

    void TearDown() override {
        if (IsWindow(parent)) DestroyWindow(parent);
        DispatchPendingMessages();
        for (EffectSettings* record : records) plugin->Free(record);
        parentLog = nullptr;
        FlangerSetModuleContext(previousContext);
    }

    EffectSettings* NewRecord() {
        EffectSettings* record = nullptr;
        plugin->Initialize(nullptr, nullptr, nullptr, &record);
        if (record != nullptr) records.push_back(record);
        return record;
    }

    const PluginExports* plugin = nullptr;
    CreateSettingsWindowFunction createSettingsWindow = nullptr;
    std::vector<EffectSettings*> records;
    ParentLog log;
    HWND parent = nullptr;
    void* previousContext = nullptr;
};

std::uint32_t CountingCallBack(std::uintptr_t, StreamBuffer* buffer) {
    buffer->FrameCount = 0;
    return 5;
}

// Every export, with ordinary and with hostile arguments, returns to a host whose context is
// its own again, and to a host that never set one (null) with null.
TEST_F(ModuleContextTest, EveryExportGivesTheCallerItsContextBack) {
    EffectSettings* const record = NewRecord();
    ASSERT_NE(record, nullptr);
    parent = CreateParent();
    ASSERT_NE(parent, nullptr);
    PlugInInformation info = {};
    StreamFormat format = {1, 2, 44100};
    StreamBuffer buffer = {};
    EffectSettings* out = nullptr;

    struct Call {
        const char* name;
        std::function<void()> call;
    };
    const Call calls[] = {
        {"PlugInInfo",
         [&] {
             info.Size = sizeof info;
             plugin->PlugInInfo(&info);
         }},
        {"PlugInInfo wrong size",
         [&] {
             info.Size = 1;
             plugin->PlugInInfo(&info);
         }},
        {"PlugInInfo null", [&] { plugin->PlugInInfo(nullptr); }},
        {"Initialize",
         [&] {
             plugin->Initialize(nullptr, nullptr, nullptr, &out);
             plugin->Free(out);
         }},
        {"Initialize null out", [&] { plugin->Initialize(nullptr, nullptr, nullptr, nullptr); }},
        {"LoadPreset missing file",
         [&] {
             plugin->LoadPreset("/nonexistent/x.ini", "S", nullptr, &out);
             plugin->Free(out);
         }},
        {"InitializeXml null node",
         [&] {
             plugin->InitializeXml(nullptr, &out);
             plugin->Free(out);
         }},
        {"CopySettings",
         [&] {
             plugin->CopySettings(&out, record);
             plugin->Free(out);
         }},
        {"CopySettings null source", [&] { plugin->CopySettings(&out, nullptr); }},
        {"SavePreset nothing selected",
         [&] { plugin->SavePreset(nullptr, nullptr, nullptr, record); }},
        {"SavePreset null record", [&] { plugin->SavePreset(nullptr, nullptr, nullptr, nullptr); }},
        {"SavePresetXml null node", [&] { plugin->SavePresetXml(nullptr, record); }},
        {"SetStreamCallBack", [&] { plugin->SetStreamCallBack(&CountingCallBack, 0, record); }},
        {"OpenStream", [&] { plugin->OpenStream(record, &format); }},
        {"OpenStream null format", [&] { plugin->OpenStream(record, nullptr); }},
        {"ProcessStream", [&] { plugin->ProcessStream(&buffer, record); }},
        {"ProcessStream null buffer", [&] { plugin->ProcessStream(nullptr, record); }},
        {"CloseStream", [&] { plugin->CloseStream(record); }},
        {"CloseStream null", [&] { plugin->CloseStream(nullptr); }},
        {"Free null", [&] { plugin->Free(nullptr); }},
        {"CreateSettingsWindow", [&] { DestroyWindow(createSettingsWindow(parent, record)); }},
        {"CreateSettingsWindow null record", [&] { createSettingsWindow(parent, nullptr); }},
        {"CreateSettingsWindow no parent", [&] { createSettingsWindow(nullptr, record); }},
        {"CreateSettingsWindow destroyed parent",
         [&] {
             HWND const gone = CreateParent();
             DestroyWindow(gone);
             createSettingsWindow(gone, record);
         }},
    };
    for (void* const callerContext : {kHostContext, static_cast<void*>(nullptr)}) {
        for (const Call& c : calls) {
            FlangerSetModuleContext(callerContext);
            c.call();
            EXPECT_EQ(FlangerGetModuleContext(), callerContext)
                << c.name << (callerContext == nullptr ? " (no context)" : "");
        }
    }
    FlangerSetModuleContext(kHostContext);
}

struct CallBackObservation {
    const PluginExports* plugin = nullptr;
    std::vector<void*> contextsOnEntry;
    std::vector<void*> contextsAfterNestedExport;
};

std::uint32_t ObservingCallBack(std::uintptr_t context, StreamBuffer* buffer) {
    auto* const observation = reinterpret_cast<CallBackObservation*>(context);
    observation->contextsOnEntry.push_back(FlangerGetModuleContext());
    // A host may call the module again from inside: the module's context stays in force after.
    PlugInInformation info = {};
    info.Size = sizeof info;
    observation->plugin->PlugInInfo(&info);
    observation->contextsAfterNestedExport.push_back(FlangerGetModuleContext());
    buffer->FrameCount = 0;
    return 1;
}

// The module calls the host's call-back from inside ProcessStream: in the module's context,
// the same one each time, which is neither the host's nor empty.
TEST_F(ModuleContextTest, StreamCallBackRunsInTheModulesContext) {
    EffectSettings* const record = NewRecord();
    ASSERT_NE(record, nullptr);
    CallBackObservation observation;
    observation.plugin = plugin;
    ASSERT_EQ(plugin->SetStreamCallBack(&ObservingCallBack,
                                        reinterpret_cast<std::uintptr_t>(&observation), record),
              1);
    const StreamFormat format = {1, 1, 8000};
    ASSERT_EQ(plugin->OpenStream(record, &format), 0);
    StreamBuffer buffer = {};
    for (int i = 0; i < 2; ++i) {
        EXPECT_EQ(plugin->ProcessStream(&buffer, record), 1u);
        EXPECT_EQ(FlangerGetModuleContext(), kHostContext);
    }
    ASSERT_EQ(observation.contextsOnEntry.size(), 2u);
    void* const moduleContext = observation.contextsOnEntry[0];
    EXPECT_NE(moduleContext, nullptr);
    EXPECT_NE(moduleContext, kHostContext);
    EXPECT_EQ(observation.contextsOnEntry[1], moduleContext);
    EXPECT_EQ(observation.contextsAfterNestedExport, std::vector<void*>(2, moduleContext));
}

// The settings window's messages run through the module's window procedures while the host
// clicks and destroys; the host's context is back after each, and the parent's procedure gets
// the posted notification in the host's own context.
TEST_F(ModuleContextTest, SettingsWindowMessagesLeaveTheHostsContext) {
    EffectSettings* const record = NewRecord();
    ASSERT_NE(record, nullptr);
    parent = CreateParent();
    ASSERT_NE(parent, nullptr);
    HWND const settings = createSettingsWindow(parent, record);
    ASSERT_NE(settings, nullptr);
    EXPECT_EQ(FlangerGetModuleContext(), kHostContext);

    flanger::platform::ClickButton(GetDlgItem(settings, kSineCheckId));
    EXPECT_EQ(FlangerGetModuleContext(), kHostContext);
    EXPECT_EQ(record->Sine, 1);
    DispatchPendingMessages();
    EXPECT_EQ(log.contextsAtNotification, std::vector<void*>{kHostContext});

    DestroyWindow(parent);
    EXPECT_EQ(FlangerGetModuleContext(), kHostContext);
    EXPECT_FALSE(IsWindow(settings));
}

// A host that destroys one of the settings window's sliders makes the next exchange fail inside
// the module (the control it binds is gone). The failure stays inside: no crash, the record is
// not written, nothing is posted, and the host's context is back.
TEST_F(ModuleContextTest, FailureInsideAWindowProcedureStaysInside) {
    EffectSettings* const record = NewRecord();
    ASSERT_NE(record, nullptr);
    parent = CreateParent();
    ASSERT_NE(parent, nullptr);
    HWND const settings = createSettingsWindow(parent, record);
    ASSERT_NE(settings, nullptr);
    ASSERT_TRUE(DestroyWindow(GetDlgItem(settings, kWidthSliderId)));
    record->Delay = 77;

    flanger::platform::DragThumb(GetDlgItem(settings, kDelaySliderId), 10);
    EXPECT_EQ(FlangerGetModuleContext(), kHostContext);
    EXPECT_EQ(record->Delay, 77);
    DispatchPendingMessages();
    EXPECT_TRUE(log.contextsAtNotification.empty());
    EXPECT_TRUE(IsWindow(settings));
}

}  // namespace
}  // namespace host
