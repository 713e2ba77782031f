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

class PluginCallFrameTest : public PluginTest {
protected:
    // Calls an export with the stack entered at `residue`; it must leave the arguments for the
    // caller to remove.
    std::uint32_t Call(const void* function, const std::vector<std::uint32_t>& arguments,
                       std::uint32_t residue, const char* name) {
        const StackCallResult result = CallOnStack(function, arguments, residue);
        EXPECT_EQ(result.popped, 0)
            << name << " cleaned the stack (not cdecl), entered at " << residue;
        return result.value;
    }
};

// The measurement itself: the entry alignment asked for, and a system function declared
// CALLBACK (WINAPI) seen removing its argument.
TEST(CallOnStackTest, EntersAtTheResidueAndSeesTheCalleeCleanUp) {
    for (const std::uint32_t r : kResidues) {
        EXPECT_EQ(CallOnStack(EntryStackPointerFunction(), {}, r).value % 16, r);
        const StackCallResult length =
            CallOnStack(reinterpret_cast<const void*>(&lstrlenA), {Arg("four")}, r);
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
        PlugInInformation info{};
        info.Size = sizeof info;
        EXPECT_EQ(Call(reinterpret_cast<const void*>(p.PlugInInfo), {Arg(&info)}, r, "PlugInInfo"),
                  1u);
        EXPECT_STREQ(info.Vendor, "Vornak");
        EffectSettings* record = nullptr;
        EffectSettings* loaded[3] = {};
        EXPECT_EQ(Call(reinterpret_cast<const void*>(p.Initialize), {0, 0, 0, Arg(&record)}, r,
                       "Initialize"),
                  1u);
        ASSERT_NE(record, nullptr);
        records.push_back(record);
        SetParameters(*record, {30 + static_cast<std::int32_t>(r), 40, 60, 1, -20, 150});
        const Parameters saved = ParametersOf(*record);
        SettingsNode node("Flanger");

        const struct {
            const char* name;
            const void* function;
            std::vector<std::uint32_t> arguments;
            std::uint32_t result;
        } calls[] = {
            {"SavePreset",
             reinterpret_cast<const void*>(p.SavePreset),
             {Arg(file.c_str()), Arg("Frame"), 0, Arg(record)},
             1},
            {"LoadPreset",
             reinterpret_cast<const void*>(p.LoadPreset),
             {Arg(file.c_str()), Arg("Frame"), 0, Arg(&loaded[0])},
             1},
            {"SavePreset to the registry",
             reinterpret_cast<const void*>(p.SavePreset),
             {0, Arg(key), Arg(HKEY_CURRENT_USER), Arg(record)},
             1},
            {"SavePresetXml",
             reinterpret_cast<const void*>(p.SavePresetXml),
             {Arg(&node), Arg(record)},
             1},
            {"InitializeXml",
             reinterpret_cast<const void*>(p.InitializeXml),
             {Arg(&node), Arg(&loaded[1])},
             1},
            {"CopySettings",
             reinterpret_cast<const void*>(p.CopySettings),
             {Arg(&loaded[2]), Arg(record)},
             1},
            {"SetStreamCallBack",
             reinterpret_cast<const void*>(p.SetStreamCallBack),
             {Arg(reinterpret_cast<const void*>(&OneBlock)), Arg(channels), Arg(record)},
             1},
            {"OpenStream",
             reinterpret_cast<const void*>(p.OpenStream),
             {Arg(record), Arg(&format)},
             0},
        };
        for (const auto& call : calls) {
            EXPECT_EQ(Call(call.function, call.arguments, r, call.name), call.result) << call.name;
        }
        // The engine's vector code keeps its data on the stack, aligned by the module itself.
        StreamBuffer buffer{};
        for (int block = 0; block < 8; ++block) {
            EXPECT_EQ(Call(reinterpret_cast<const void*>(p.ProcessStream),
                           {Arg(&buffer), Arg(record)}, r, "ProcessStream"),
                      kCallBackResult);
        }
        EXPECT_EQ(buffer.CallBackResult, kCallBackResult);
        EXPECT_EQ(
            Call(reinterpret_cast<const void*>(p.CloseStream), {Arg(record)}, r, "CloseStream"),
            1u);
        for (EffectSettings* copy : loaded) {
            ASSERT_NE(copy, nullptr);
            // Allocated with the C runtime's malloc at the binding size, so that a host written
            // against the original module may copy or free it as 36 bytes.
            EXPECT_EQ(_msize(copy), 36u);
            EXPECT_EQ(ParametersOf(*copy), saved);
            Call(reinterpret_cast<const void*>(p.Free), {Arg(copy)}, r, "Free");
        }
    }
    DeleteFileA(file.c_str());
    RegDeleteTreeA(HKEY_CURRENT_USER, key);
}

// The settings window's procedure, entered as the system enters it: the module's own code, with
// the callee removing its four arguments (CALLBACK), at every stack alignment.
TEST_F(PluginCallFrameTest, SettingsWindowProcedureRunsAtEveryAlignment) {
    const auto createWindow = reinterpret_cast<const void*>(
        GetProcAddress(GetModuleHandleA("Plugin.dll"), "CreateSettingsWindow"));
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
