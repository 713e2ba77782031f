// The loaded module's record exports as a host calls them: the binding layout of the records,
// identification, record creation and copying, presets, and the documented answers to null
// arguments.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <optional>
#include <string>
#include <system_error>

#include "flanger_plugin.h"
#include "host_stream.h"
#include "plugin_fixture.h"
#include "storage_test_support.h"

// The host's records against the module's header: the same size and offsets on every target,
// and the binding numbers on 32-bit targets. On 64-bit targets the expected numbers follow from
// natural alignment with 8-byte pointers.
namespace {

constexpr std::size_t At(std::size_t on32, std::size_t on64) {
    return sizeof(void*) == 4 ? on32 : on64;
}

#define EXPECT_LAYOUT(Record, HostField, HeaderField, on32, on64)                   \
    static_assert(offsetof(host::Record, HostField) == At(on32, on64), #HostField); \
    static_assert(offsetof(::Record, HeaderField) == At(on32, on64), #HeaderField)

static_assert(sizeof(void*) == 4 || sizeof(void*) == 8);

static_assert(sizeof(host::EffectSettings) == At(36, 48));
static_assert(sizeof(::EffectSettings) == At(36, 48));
EXPECT_LAYOUT(EffectSettings, Depth, Depth, 0, 0);
EXPECT_LAYOUT(EffectSettings, Delay, Delay, 4, 4);
EXPECT_LAYOUT(EffectSettings, Width, Width, 8, 8);
EXPECT_LAYOUT(EffectSettings, Sine, Sine, 12, 12);
EXPECT_LAYOUT(EffectSettings, Feedback, Feedback, 16, 16);
EXPECT_LAYOUT(EffectSettings, Speed, Speed, 20, 20);
EXPECT_LAYOUT(EffectSettings, Engine, Engine, 24, 24);
EXPECT_LAYOUT(EffectSettings, CallBack, CallBack, 28, 32);
EXPECT_LAYOUT(EffectSettings, CallBackContext, CallBackContext, 32, 40);
static_assert(sizeof(::EffectSettings::CallBackContext) == sizeof(void*));

static_assert(sizeof(host::PlugInInformation) == At(24, 32));
static_assert(sizeof(::PlugInInformation) == At(24, 32));
EXPECT_LAYOUT(PlugInInformation, Size, Size, 0, 0);
EXPECT_LAYOUT(PlugInInformation, Unused4, Reserved4, 4, 4);
EXPECT_LAYOUT(PlugInInformation, Name, Name, 8, 8);
EXPECT_LAYOUT(PlugInInformation, Vendor, Vendor, 12, 16);
EXPECT_LAYOUT(PlugInInformation, Unused16, Reserved16, 16, 24);
EXPECT_LAYOUT(PlugInInformation, Unused20, Reserved20, 20, 28);

static_assert(sizeof(host::StreamBuffer) == At(28, 48));
static_assert(sizeof(::StreamBuffer) == At(28, 48));
EXPECT_LAYOUT(StreamBuffer, Unused0, Reserved0, 0, 0);
EXPECT_LAYOUT(StreamBuffer, ChannelsBegin, ChannelsBegin, 4, 8);
EXPECT_LAYOUT(StreamBuffer, ChannelsEnd, ChannelsEnd, 8, 16);
EXPECT_LAYOUT(StreamBuffer, ChannelsCapacityEnd, ChannelsCapacityEnd, 12, 24);
EXPECT_LAYOUT(StreamBuffer, FrameCount, FrameCount, 16, 32);
EXPECT_LAYOUT(StreamBuffer, CallBackResult, CallBackResult, 20, 36);
EXPECT_LAYOUT(StreamBuffer, Unused24, Reserved24, 24, 40);

static_assert(sizeof(host::StreamFormat) == 8 && sizeof(::StreamFormat) == 8);
EXPECT_LAYOUT(StreamFormat, FormatTag, FormatTag, 0, 0);
EXPECT_LAYOUT(StreamFormat, Channels, Channels, 2, 2);
EXPECT_LAYOUT(StreamFormat, SampleRate, SampleRate, 4, 4);
static_assert(sizeof(::StreamFormat::Channels) == 2 && sizeof(::StreamFormat::SampleRate) == 4);

#undef EXPECT_LAYOUT

}  // namespace

namespace host {
namespace {

constexpr std::uint32_t kInfoSize = sizeof(PlugInInformation);

struct InfoCase {
    const char* name;
    bool nullRecord;
    std::uint32_t size;
    std::int32_t result;
};

const InfoCase kInfoCases[] = {
    {"own size", false, kInfoSize, 1},
    {"four bytes more", false, kInfoSize + 4, 0},
    {"four bytes less", false, kInfoSize - 4, 0},
    {"28", false, 28, 0},
    {"zero", false, 0, 0},
    {"all ones", false, 0xFFFFFFFFu, 0},
    {"null record", true, 0, 0},
};

// A refused call writes nothing: the record is prefilled with a pattern that must survive.
TEST_F(PluginTest, PlugInInfoFillsOnlyARecordOfItsOwnSize) {
    for (const InfoCase& c : kInfoCases) {
        SCOPED_TRACE(c.name);
        PlugInInformation info;
        std::memset(&info, 0xA5, sizeof info);
        info.Size = c.size;
        PlugInInformation before;
        std::memcpy(&before, &info, sizeof info);

        ASSERT_EQ(plugin->PlugInInfo(c.nullRecord ? nullptr : &info), c.result);
        if (c.result == 0) {
            EXPECT_EQ(std::memcmp(&info, &before, sizeof info), 0) << "a refused call wrote";
            continue;
        }
        EXPECT_EQ(info.Size, c.size);
        EXPECT_EQ(info.Unused4, 0u);
        ASSERT_NE(info.Name, nullptr);
        ASSERT_NE(info.Vendor, nullptr);
        EXPECT_STREQ(info.Name, "Flanger");
        EXPECT_STREQ(info.Vendor, "Vornak");
        EXPECT_EQ(info.Unused16, 0x00040000u);
        EXPECT_EQ(info.Unused20, 2u);
    }
}

// The strings are the module's constants: the same addresses on every call.
TEST_F(PluginTest, PlugInInfoStringsAreTheModulesConstants) {
    PlugInInformation first{}, second{};
    first.Size = second.Size = kInfoSize;
    ASSERT_EQ(plugin->PlugInInfo(&first), 1);
    ASSERT_EQ(plugin->PlugInInfo(&second), 1);
    EXPECT_EQ(first.Name, second.Name);
    EXPECT_EQ(first.Vendor, second.Vendor);
}

std::string MissingPresetFile() { return ::testing::TempDir() + "flanger-no-such-preset.ini"; }

struct CreateCase {
    const char* name;
    std::function<std::int32_t(const PluginExports&, EffectSettings**)> create;
};

const CreateCase kCreateCases[] = {
    {"Initialize without storage",
     [](const PluginExports& p, EffectSettings** s) {
         return p.Initialize(nullptr, nullptr, nullptr, s);
     }},
    {"LoadPreset without storage",
     [](const PluginExports& p, EffectSettings** s) {
         return p.LoadPreset(nullptr, nullptr, nullptr, s);
     }},
    {"InitializeXml without node",
     [](const PluginExports& p, EffectSettings** s) { return p.InitializeXml(nullptr, s); }},
    {"Initialize from a missing profile file",
     [](const PluginExports& p, EffectSettings** s) {
         return p.Initialize(MissingPresetFile().c_str(), "Flanger", nullptr, s);
     }},
    {"LoadPreset from a missing profile file",
     [](const PluginExports& p, EffectSettings** s) {
         return p.LoadPreset(MissingPresetFile().c_str(), "Flanger", nullptr, s);
     }},
    {"Initialize with a section but no file",
     [](const PluginExports& p, EffectSettings** s) {
         return p.Initialize(nullptr, "Flanger", nullptr, s);
     }},
};

TEST_F(PluginTest, NewRecordsHoldTheDefaultsWhenNoPresetIsFound) {
    for (const CreateCase& c : kCreateCases) {
        SCOPED_TRACE(c.name);
        // A stale pointer in the host's variable must be replaced, not read.
        EffectSettings* record = reinterpret_cast<EffectSettings*>(std::uintptr_t{0x10});
        ASSERT_EQ(c.create(*plugin, &record), 1);
        ASSERT_NE(record, reinterpret_cast<EffectSettings*>(std::uintptr_t{0x10}));
        ASSERT_NE(record, nullptr);
        records.push_back(record);
        EXPECT_EQ(ParametersOf(*record), kDefaultParameters);
        EXPECT_EQ(record->Engine, nullptr);
        EXPECT_EQ(record->CallBack, nullptr);
        EXPECT_EQ(record->CallBackContext, 0u);
    }
}

TEST_F(PluginTest, EveryCallMakesASeparateRecord) {
    EffectSettings* first = NewRecord({1, 2, 3, 4, 5, 6});
    EffectSettings* second = NewRecord(kDefaultParameters);
    ASSERT_NE(first, nullptr);
    ASSERT_NE(second, nullptr);
    EXPECT_NE(first, second);
    EXPECT_EQ(ParametersOf(*first), (Parameters{1, 2, 3, 4, 5, 6}));
    EXPECT_EQ(ParametersOf(*second), kDefaultParameters);
}

TEST_F(PluginTest, CopySettingsCopiesTheSixParametersOnly) {
    constexpr Parameters kValues = {-7, 2147483647, -2147483647 - 1, 5, -30, 0};
    EffectSettings* source = NewRecord(kValues);
    ASSERT_NE(source, nullptr);
    HostSource audio({.Channels = 1});
    ASSERT_EQ(plugin->SetStreamCallBack(&HostSource::CallBack, audio.Context(), source), 1);
    const StreamFormat format = {1, 1, 8000};
    ASSERT_EQ(plugin->OpenStream(source, &format), 0);
    ASSERT_NE(source->Engine, nullptr);
    EffectSettings before;
    std::memcpy(&before, source, sizeof before);

    EffectSettings* copy = nullptr;
    ASSERT_EQ(plugin->CopySettings(&copy, source), 1);
    ASSERT_NE(copy, nullptr);
    records.push_back(copy);
    EXPECT_NE(copy, source);
    EXPECT_EQ(ParametersOf(*copy), kValues);
    EXPECT_EQ(copy->Engine, nullptr);
    EXPECT_EQ(copy->CallBack, nullptr);
    EXPECT_EQ(copy->CallBackContext, 0u);
    EXPECT_EQ(std::memcmp(&before, source, sizeof before), 0) << "the source changed";
}

TEST_F(PluginTest, SetStreamCallBackStoresBothValuesAtTheHostsOffsets) {
    EffectSettings* record = NewRecord(kDefaultParameters);
    ASSERT_NE(record, nullptr);
    // All bits of the context survive, up to the top one.
    const std::uintptr_t context = ~std::uintptr_t{0} - 0x1234;
    ASSERT_EQ(plugin->SetStreamCallBack(&HostSource::CallBack, context, record), 1);
    EXPECT_EQ(record->CallBack, &HostSource::CallBack);
    EXPECT_EQ(record->CallBackContext, context);
    EXPECT_EQ(ParametersOf(*record), kDefaultParameters);
    EXPECT_EQ(record->Engine, nullptr);
}

// A directory of the test's own for preset files, and a registry of the test's own. Both are
// gone at the end.
class PresetPlace {
public:
    std::string File(const char* name) const { return directory_.File(name); }

private:
    flanger::test::TemporaryDirectory directory_;
    flanger::test::PrivateRegistry registry_{directory_};
};

// HKEY_CURRENT_USER as a host passes it: the Windows handle value, sign-extended on 64-bit
// targets.
void* const kCurrentUserKey =
    reinterpret_cast<void*>(static_cast<std::intptr_t>(static_cast<std::int32_t>(0x80000001u)));
// No predefined root and no key the module handed out.
void* const kInvalidRootKey = reinterpret_cast<void*>(std::uintptr_t{0x1234});

// Saving reports a registry key that cannot be created and a profile file that cannot be
// written; whatever was saved is what a LoadPreset from the same place gives back.
struct SaveCase {
    const char* name;
    const char* file;  // in the test's folder; null: no file
    const char* section;
    void* rootKey;
    std::int32_t result;
    bool loadsBack;  // false: LoadPreset from the same arguments gives the defaults
};

const SaveCase kSaveCases[] = {
    {"no storage", nullptr, nullptr, nullptr, 1, false},
    {"section without file", nullptr, "Flanger", nullptr, 1, false},
    {"profile file", "presets.ini", "Flanger", nullptr, 1, true},
    {"profile file in a folder that is not there", "none/presets.ini", "Flanger", nullptr, 0,
     false},
    {"profile section a file cannot hold", "presets.ini", "Fl]anger", nullptr, 0, false},
    {"registry key", nullptr, "Software\\Flanger test", kCurrentUserKey, 1, true},
    {"registry key below an invalid root", nullptr, "Software\\Flanger test", kInvalidRootKey, 0,
     false},
};

TEST_F(PluginTest, SavePresetReportsAStoreItCannotWrite) {
    constexpr Parameters kValues = {11, 22, 33, 1, -44, 55};
    EffectSettings* record = NewRecord(kValues);
    ASSERT_NE(record, nullptr);
    const PresetPlace place;
    for (const SaveCase& c : kSaveCases) {
        SCOPED_TRACE(c.name);
        const std::string file = place.File(c.file != nullptr ? c.file : "");
        const char* const fileName = c.file != nullptr ? file.c_str() : nullptr;
        EXPECT_EQ(plugin->SavePreset(fileName, c.section, c.rootKey, record), c.result);
        EXPECT_EQ(ParametersOf(*record), kValues);

        EffectSettings* loaded = nullptr;
        ASSERT_EQ(plugin->LoadPreset(fileName, c.section, c.rootKey, &loaded), 1);
        ASSERT_NE(loaded, nullptr);
        records.push_back(loaded);
        EXPECT_EQ(ParametersOf(*loaded), c.loadsBack ? kValues : kDefaultParameters);
    }
    EXPECT_EQ(plugin->SavePresetXml(nullptr, record), 1);
}

// The profile file a host gets is byte for byte the golden one, and loads back.
TEST_F(PluginTest, SavePresetWritesTheGoldenProfileFile) {
    const struct {
        const char* golden;
        Parameters parameters;
    } cases[] = {
        {"effect_defaults.ini", kDefaultParameters},
        {"effect_feedback_off.ini", {100, 10, 100, 1, -10, 200}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.golden);
        const PresetPlace place;
        const std::string file = place.File("presets.ini");
        EffectSettings* record = NewRecord(c.parameters);
        ASSERT_NE(record, nullptr);

        ASSERT_EQ(plugin->SavePreset(file.c_str(), "Flanger", nullptr, record), 1);
        EXPECT_EQ(flanger::test::ReadFileBytes(file), flanger::test::GoldenPreset(c.golden));

        EffectSettings* loaded = nullptr;
        ASSERT_EQ(plugin->LoadPreset(file.c_str(), "Flanger", nullptr, &loaded), 1);
        ASSERT_NE(loaded, nullptr);
        records.push_back(loaded);
        EXPECT_EQ(ParametersOf(*loaded), c.parameters);
    }
}

// Null arguments get the answers the header documents, and touch nothing else.
TEST_F(PluginTest, NullArgumentsGetTheDocumentedResults) {
    EffectSettings* record = NewRecord(kDefaultParameters);
    ASSERT_NE(record, nullptr);
    HostSource audio({.Channels = 1});
    ASSERT_EQ(plugin->SetStreamCallBack(&HostSource::CallBack, audio.Context(), record), 1);
    const StreamFormat format = {1, 1, 44100};
    HostBuffer buffer;
    EffectSettings* copy = nullptr;

    struct NullCase {
        const char* name;
        std::function<std::int64_t()> call;
        std::int64_t result;
    };
    const PluginExports& p = *plugin;
    const NullCase cases[] = {
        {"PlugInInfo(null)", [&] { return p.PlugInInfo(nullptr); }, 0},
        {"Initialize(..., null)", [&] { return p.Initialize(nullptr, nullptr, nullptr, nullptr); },
         0},
        {"LoadPreset(..., null)", [&] { return p.LoadPreset(nullptr, nullptr, nullptr, nullptr); },
         0},
        {"InitializeXml(null, null)", [&] { return p.InitializeXml(nullptr, nullptr); }, 0},
        {"CopySettings(null, record)", [&] { return p.CopySettings(nullptr, record); }, 0},
        {"CopySettings(&copy, null)", [&] { return p.CopySettings(&copy, nullptr); }, 0},
        {"CopySettings(null, null)", [&] { return p.CopySettings(nullptr, nullptr); }, 0},
        {"SavePreset(..., null)", [&] { return p.SavePreset(nullptr, nullptr, nullptr, nullptr); },
         0},
        {"SavePresetXml(null, null)", [&] { return p.SavePresetXml(nullptr, nullptr); }, 0},
        {"SetStreamCallBack(..., null)",
         [&] { return p.SetStreamCallBack(&HostSource::CallBack, audio.Context(), nullptr); }, 0},
        {"OpenStream(null, format)", [&] { return p.OpenStream(nullptr, &format); }, 1},
        {"OpenStream(record, null)", [&] { return p.OpenStream(record, nullptr); }, 1},
        {"OpenStream(null, null)", [&] { return p.OpenStream(nullptr, nullptr); }, 1},
        {"ProcessStream(null, record)", [&] { return p.ProcessStream(nullptr, record); }, 0},
        {"ProcessStream(buffer, null)", [&] { return p.ProcessStream(&buffer.Reset(), nullptr); },
         0},
        {"CloseStream(null)", [&] { return p.CloseStream(nullptr); }, 0},
        {"Free(null)", [&] { return (p.Free(nullptr), 0); }, 0},
    };

    EffectSettings before;
    std::memcpy(&before, record, sizeof before);
    for (const NullCase& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(c.call(), c.result);
        EXPECT_EQ(std::memcmp(&before, record, sizeof before), 0) << "the record changed";
        EXPECT_EQ(audio.Calls(), 0);
        EXPECT_TRUE(buffer.StaleArraysIntact());
        EXPECT_EQ(buffer.Record().CallBackResult, 0xA5A5A5A5u);
    }
}

}  // namespace
}  // namespace host
