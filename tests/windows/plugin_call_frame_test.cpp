// The 32-bit Plugin.dll as only a 32-bit Windows host sees it: every export called with the
// caller cleaning the stack, and entered with the stack aligned to 4 bytes only, as hosts built
// by other compilers call it; the settings window's procedure entered the same way, as the system
// calls it; the records the module allocates, of the binding size in the C runtime's heap; and
// the engine path that the module picks (FLANGER_INSTRUCTION_SET) bit for bit the portable one.
#include <gtest/gtest.h>
#include <malloc.h>
#include <windows.h>
// After <windows.h>.
#include <commctrl.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "call_on_stack.h"
#include "engine/engine_kernels.h"
#include "engine/flanger_engine.h"
#include "host_settings_node.h"
#include "host_stream.h"
#include "plugin_fixture.h"

namespace host {
namespace {

constexpr std::uint32_t kResidues[] = {0, 4, 8, 12};
constexpr std::uint32_t kCallBackResult = 0x600D;
constexpr int kDelaySliderId = 22805;
constexpr int kSineCheckId = 22818;

std::uint32_t OneBlock(std::uintptr_t context, StreamBuffer* buffer) {
    auto* const channels = reinterpret_cast<float**>(context);
    buffer->ChannelsBegin = channels;
    buffer->ChannelsEnd = buffer->ChannelsCapacityEnd = channels + 2;
    buffer->FrameCount = 64;
    return kCallBackResult;
}

template <typename Function>
const void* Code(Function* function) {
    return reinterpret_cast<const void*>(function);
}

using PluginCallFrameTest = PluginTest;

// The measurement itself: the entry alignment asked for, and a system function declared
// CALLBACK (WINAPI) seen removing its argument.
TEST(CallOnStackTest, EntersAtTheResidueAndSeesTheCalleeCleanUp) {
    for (const std::uint32_t r : kResidues) {
        EXPECT_EQ(CallOnStack(EntryStackPointerFunction(), {}, r).value % 16, r);
        const StackCallResult length = CallOnStack(Code(&lstrlenA), {Arg("four")}, r);
        EXPECT_EQ(length.value, 4u);
        EXPECT_EQ(length.popped, 4);
    }
}

TEST_F(PluginCallFrameTest, EveryExportLeavesTheStackToItsCallerAtEveryAlignment) {
    const PluginExports& p = *plugin;
    char directory[MAX_PATH] = {};
    GetTempPathA(MAX_PATH, directory);
    const std::string file =
        std::string(directory) + "flanger-frame-" + std::to_string(GetCurrentProcessId()) + ".ini";
    const char* const key = "Software\\Flanger call frame test";
    std::vector<float> left(64, 0.25f), right(64, -0.5f);
    float* channels[2] = {left.data(), right.data()};
    const StreamFormat format = {3, 2, 48000};

    for (const std::uint32_t r : kResidues) {
        SCOPED_TRACE("entered at " + std::to_string(r) + " modulo 16");
        EffectSettings* record = nullptr;
        const StackCallResult initialized =
            CallOnStack(Code(p.Initialize), {0, 0, 0, Arg(&record)}, r);
        EXPECT_EQ(initialized.popped, 0) << "Initialize cleaned the stack: not cdecl";
        ASSERT_EQ(initialized.value, 1u);
        ASSERT_NE(record, nullptr);
        records.push_back(record);
        SetParameters(*record, {30 + static_cast<std::int32_t>(r), 40, 60, 1, -20, 150});
        PlugInInformation info{};
        info.Size = sizeof info;
        EffectSettings* loaded[3] = {};
        SettingsNode node("Flanger");
        StreamBuffer buffer{};
        // In the host's order; ProcessStream runs the engine's vector code, which keeps data on
        // the stack aligned by the module itself.
        const struct {
            const char* name;
            const void* function;
            std::vector<std::uint32_t> arguments;
            std::uint32_t result;
        } calls[] = {
            {"PlugInInfo", Code(p.PlugInInfo), {Arg(&info)}, 1},
            {"SavePreset", Code(p.SavePreset), {Arg(file.c_str()), Arg("F"), 0, Arg(record)}, 1},
            {"LoadPreset", Code(p.LoadPreset), {Arg(file.c_str()), Arg("F"), 0, Arg(loaded)}, 1},
            {"SavePreset (registry)",
             Code(p.SavePreset),
             {0, Arg(key), Arg(HKEY_CURRENT_USER), Arg(record)},
             1},
            {"SavePresetXml", Code(p.SavePresetXml), {Arg(&node), Arg(record)}, 1},
            {"InitializeXml", Code(p.InitializeXml), {Arg(&node), Arg(&loaded[1])}, 1},
            {"CopySettings", Code(p.CopySettings), {Arg(&loaded[2]), Arg(record)}, 1},
            {"SetStreamCallBack",
             Code(p.SetStreamCallBack),
             {Arg(Code(&OneBlock)), Arg(channels), Arg(record)},
             1},
            {"OpenStream", Code(p.OpenStream), {Arg(record), Arg(&format)}, 0},
            {"ProcessStream", Code(p.ProcessStream), {Arg(&buffer), Arg(record)}, kCallBackResult},
            {"ProcessStream", Code(p.ProcessStream), {Arg(&buffer), Arg(record)}, kCallBackResult},
            {"CloseStream", Code(p.CloseStream), {Arg(record)}, 1},
        };
        for (const auto& call : calls) {
            const StackCallResult result = CallOnStack(call.function, call.arguments, r);
            EXPECT_EQ(result.value, call.result) << call.name;
            EXPECT_EQ(result.popped, 0) << call.name << " cleaned the stack: not cdecl";
        }
        EXPECT_STREQ(info.Vendor, "Vornak");
        for (EffectSettings* copy : loaded) {
            ASSERT_NE(copy, nullptr);
            // The C runtime's malloc at the binding size: a host written against the original
            // module may copy or free it as 36 bytes.
            EXPECT_EQ(_msize(copy), 36u);
            EXPECT_EQ(ParametersOf(*copy), ParametersOf(*record));
            EXPECT_EQ(CallOnStack(Code(p.Free), {Arg(copy)}, r).popped, 0) << "Free";
        }
    }
    DeleteFileA(file.c_str());
    RegDeleteTreeA(HKEY_CURRENT_USER, key);
}

// The settings window's procedure, entered as the system enters it: the module's own code, with
// the callee removing its four arguments (CALLBACK), at every stack alignment.
TEST_F(PluginCallFrameTest, SettingsWindowProcedureRunsAtEveryAlignment) {
    const void* const createWindow =
        Code(GetProcAddress(GetModuleHandleA("Plugin.dll"), "CreateSettingsWindow"));
    ASSERT_NE(createWindow, nullptr);
    HWND const parent = CreateWindowExA(0, "Static", "Host", WS_OVERLAPPEDWINDOW, 0, 0, 400, 300,
                                        nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(parent, nullptr);
    EffectSettings* const record = NewRecord(kDefaultParameters);
    ASSERT_NE(record, nullptr);
    const StackCallResult created = CallOnStack(createWindow, {Arg(parent), Arg(record)}, 4);
    EXPECT_EQ(created.popped, 0);
    HWND const dialog = reinterpret_cast<HWND>(created.value);
    ASSERT_NE(dialog, nullptr);

    const auto procedure = reinterpret_cast<const void*>(GetWindowLongPtrA(dialog, GWLP_WNDPROC));
    HMODULE owner = nullptr;
    GetModuleHandleExA(
        GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
        static_cast<const char*>(procedure), &owner);
    ASSERT_EQ(owner, GetModuleHandleA("Plugin.dll"))
        << "the window's procedure is not the module's";
    HWND const delay = GetDlgItem(dialog, kDelaySliderId);
    HWND const sine = GetDlgItem(dialog, kSineCheckId);
    for (const std::uint32_t r : kResidues) {
        SCOPED_TRACE("entered at " + std::to_string(r) + " modulo 16");
        const LPARAM position = 110 - 20 - static_cast<LPARAM>(r);
        SendMessageA(delay, TBM_SETPOS, TRUE, position);
        EXPECT_EQ(CallOnStack(procedure,
                              {Arg(dialog), WM_VSCROLL, MAKEWPARAM(TB_ENDTRACK, 0), Arg(delay)}, r)
                      .popped,
                  16);
        EXPECT_EQ(record->Delay, 20 + static_cast<std::int32_t>(r));
        SendMessageA(sine, BM_SETCHECK, (r / 4) % 2 == 0 ? BST_CHECKED : BST_UNCHECKED, 0);
        EXPECT_EQ(CallOnStack(
                      procedure,
                      {Arg(dialog), WM_COMMAND, MAKEWPARAM(kSineCheckId, BN_CLICKED), Arg(sine)}, r)
                      .popped,
                  16);
        EXPECT_EQ(record->Sine, (r / 4) % 2 == 0 ? 1 : 0);
    }
    DestroyWindow(parent);
    EXPECT_FALSE(IsWindow(dialog));
}

// A stream through the module, bit for bit the portable engine's output: run once per path of
// the engine that the processor offers, chosen with FLANGER_INSTRUCTION_SET as the module sees it.
TEST_F(PluginCallFrameTest, EnginePathInsideTheModuleIsThePortableOneBitForBit) {
    const char* const requested = std::getenv("FLANGER_INSTRUCTION_SET");
    ASSERT_NE(requested, nullptr) << "the test's registration names the path";
    const flanger::InstructionSet set = std::strcmp(requested, "sse2") == 0
                                            ? flanger::InstructionSet::Sse2
                                            : flanger::InstructionSet::Avx2;
    if (flanger::KernelsFor(set) == nullptr) GTEST_SKIP() << "this processor lacks " << requested;
    ASSERT_EQ(flanger::BestInstructionSet(), set) << "the module would run another path";

    for (const Parameters& parameters :
         {Parameters{80, 30, 70, 1, 45, 150}, Parameters{100, 10, 100, 0, -100, 200}}) {
        EffectSettings* const record = NewRecord(parameters);
        ASSERT_NE(record, nullptr);
        HostSource source({.Channels = 3, .BlockSizes = {512, 1, 4096, 37, 255}});
        HostBuffer buffer;
        ASSERT_EQ(plugin->SetStreamCallBack(&HostSource::CallBack, source.Context(), record), 1);
        const StreamFormat format = {3, 3, 96000};
        ASSERT_EQ(plugin->OpenStream(record, &format), 0);
        auto reference = OpenReference(parameters, format.SampleRate, format.Channels);
        ASSERT_TRUE(reference->UseInstructionSet(flanger::InstructionSet::Portable));
        for (int block = 0; block < 120; ++block) {
            const Block& processed = ProcessOneBlock(*plugin, record, source, buffer);
            ASSERT_TRUE(SameSamples(processed.Samples, ProcessWithEngine(*reference, processed)))
                << parameters << " block " << block;
        }
    }
}

}  // namespace
}  // namespace host
