// A host whose own program defines functions with the exports' names, which is likely with names
// such as Initialize and Free. The module must keep calling its own code: an export that reaches
// another export through the dynamic linker would be bound to the host's function instead.
//
// This program exports its symbols (ENABLE_EXPORTS), so the host's definitions below are the
// first the dynamic linker finds for these names.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <vector>

#include "host_records.h"
#include "plugin_module.h"

namespace {

int hostDefinitionCalls = 0;
constexpr std::int32_t kHostResult = 0x7E57;

}  // namespace

// The host's own functions of the same names; the module must never reach them.
extern "C" {
std::int32_t PlugInInfo(host::PlugInInformation*) { return ++hostDefinitionCalls, kHostResult; }
std::int32_t Initialize(const char*, const char*, void*, host::EffectSettings**) {
    return ++hostDefinitionCalls, kHostResult;
}
std::int32_t LoadPreset(const char*, const char*, void*, host::EffectSettings**) {
    return ++hostDefinitionCalls, kHostResult;
}
std::int32_t InitializeXml(void*, host::EffectSettings**) {
    return ++hostDefinitionCalls, kHostResult;
}
std::int32_t CopySettings(host::EffectSettings**, const host::EffectSettings*) {
    return ++hostDefinitionCalls, kHostResult;
}
std::int32_t SavePreset(const char*, const char*, void*, const host::EffectSettings*) {
    return ++hostDefinitionCalls, kHostResult;
}
std::int32_t SavePresetXml(void*, const host::EffectSettings*) {
    return ++hostDefinitionCalls, kHostResult;
}
std::int32_t SetStreamCallBack(host::StreamCallBack, std::uintptr_t, host::EffectSettings*) {
    return ++hostDefinitionCalls, kHostResult;
}
std::int32_t OpenStream(host::EffectSettings*, const host::StreamFormat*) {
    return ++hostDefinitionCalls, kHostResult;
}
std::uint32_t ProcessStream(host::StreamBuffer*, host::EffectSettings*) {
    return ++hostDefinitionCalls, kHostResult;
}
std::int32_t CloseStream(host::EffectSettings*) { return ++hostDefinitionCalls, kHostResult; }
void Free(host::EffectSettings*) { ++hostDefinitionCalls; }
}

namespace host {
namespace {

std::uint32_t FillOneFrame(std::uintptr_t context, StreamBuffer* buffer) {
    auto* pointers = reinterpret_cast<float**>(context);
    pointers[0][0] = 0.25f;
    buffer->ChannelsBegin = pointers;
    buffer->ChannelsEnd = buffer->ChannelsCapacityEnd = pointers + 1;
    buffer->FrameCount = 1;
    return 5;
}

void ExpectDefaults(const EffectSettings* record) {
    ASSERT_NE(record, nullptr);
    EXPECT_EQ(ParametersOf(*record), kDefaultParameters);
    EXPECT_EQ(record->Engine, nullptr);
    EXPECT_EQ(record->CallBack, nullptr);
    EXPECT_EQ(record->CallBackContext, 0u);
}

TEST(PluginBindingTest, ExportsNeverCallTheHostsFunctionsOfTheSameName) {
    // Without this the test would prove nothing: the host's names must be the ones the dynamic
    // linker hands out first.
    ASSERT_EQ(dlsym(RTLD_DEFAULT, "Initialize"), reinterpret_cast<void*>(&::Initialize));
    ASSERT_EQ(dlsym(RTLD_DEFAULT, "Free"), reinterpret_cast<void*>(&::Free));

    const LoadedPlugin& loaded = LoadPlugin();
    ASSERT_TRUE(loaded.error.empty()) << loaded.error;
    const PluginExports& p = loaded.exports;
    ASSERT_NE(reinterpret_cast<void*>(p.Initialize), reinterpret_cast<void*>(&::Initialize));

    PlugInInformation info{};
    info.Size = sizeof info;
    EXPECT_EQ(p.PlugInInfo(&info), 1);
    EXPECT_STREQ(info.Name, "Flanger");

    std::vector<EffectSettings*> records(4, nullptr);
    EXPECT_EQ(p.Initialize(nullptr, nullptr, nullptr, &records[0]), 1);
    ExpectDefaults(records[0]);
    EXPECT_EQ(p.LoadPreset(nullptr, nullptr, nullptr, &records[1]), 1);
    ExpectDefaults(records[1]);
    EXPECT_EQ(p.InitializeXml(nullptr, &records[2]), 1);
    ExpectDefaults(records[2]);
    if (records[0] == nullptr) GTEST_FAIL() << "no record to continue with";
    EXPECT_EQ(p.CopySettings(&records[3], records[0]), 1);
    ExpectDefaults(records[3]);
    EXPECT_EQ(p.SavePreset(nullptr, nullptr, nullptr, records[0]), 1);
    EXPECT_EQ(p.SavePresetXml(nullptr, records[0]), 1);

    std::vector<float> samples(1, 0.0f);
    float* pointers[1] = {samples.data()};
    EXPECT_EQ(
        p.SetStreamCallBack(&FillOneFrame, reinterpret_cast<std::uintptr_t>(pointers), records[0]),
        1);
    const StreamFormat format = {1, 1, 44100};
    EXPECT_EQ(p.OpenStream(records[0], &format), 0);
    StreamBuffer buffer{};
    EXPECT_EQ(p.ProcessStream(&buffer, records[0]), 5u);
    // The first frame reads silence from the fresh delay line.
    EXPECT_EQ(samples[0], 0.25f);
    EXPECT_EQ(p.CloseStream(records[0]), 1);
    EXPECT_EQ(p.OpenStream(records[0], &format), 0);
    for (EffectSettings* record : records) p.Free(record);

    EXPECT_EQ(hostDefinitionCalls, 0) << "the module called the host's functions";
}

}  // namespace
}  // namespace host
