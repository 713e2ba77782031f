// Parameter lists in a profile file section, through the load/save driver and the module's
// storages: the exact bytes written, what loads back, and what damaged or hostile files load as.
#include "persistence/profile_storage.h"

#include <gtest/gtest.h>
#ifndef _WIN32
#include <fcntl.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <chrono>
#include <cstdint>
#include <future>
#include <limits>
#include <string>
#include <thread>
#include <vector>

#include "persistence/effect_parameters.h"
#include "persistence/parameter_driver.h"
#ifndef _WIN32
#include "platform/posix/store_wait.h"
#endif
#include "storage_test_support.h"
#include "tagged_variable.h"

namespace flanger {
namespace {

using test::Bytes;
using test::GoldenPreset;
using test::ReadFileBytes;
using test::TaggedList;
using test::TaggedValue;
using test::TemporaryDirectory;
using test::WriteFileBytes;

struct Six {
    std::int32_t depth, delay, width, sine, feedback, speed;
    friend bool operator==(const Six&, const Six&) = default;
};

void PrintTo(const Six& six, std::ostream* out) {
    *out << "{" << six.depth << ", " << six.delay << ", " << six.width << ", " << six.sine << ", "
         << six.feedback << ", " << six.speed << "}";
}

constexpr Six kDefaults{90, 50, 50, 0, 10, 10};
constexpr Six kOthers{1, 2, 3, 4, 5, 6};

// The effect's list handed to the driver as the exports hand it.
Six LoadSix(const StorageTarget& target, Six six) {
    void* const values[] = {&six.depth, &six.delay,    &six.width,
                            &six.sine,  &six.feedback, &six.speed};
    LoadParameters(target, kEffectParameterNames, kEffectParameterTypes, values);
    return six;
}

std::int32_t SaveSix(const StorageTarget& target, const Six& six) {
    const void* const values[] = {&six.depth, &six.delay,    &six.width,
                                  &six.sine,  &six.feedback, &six.speed};
    return SaveParameters(target, kEffectParameterNames, kEffectParameterTypes, values);
}

TEST(ProfileStorageTest, SavedDefaultsAreTheGoldenFileAndLoadBack) {
    TemporaryDirectory directory;
    const std::string file = directory.File("presets.ini");
    const StorageTarget target{.fileName = file.c_str(), .section = "Flanger"};

    ASSERT_EQ(SaveSix(target, kDefaults), 1);
    EXPECT_EQ(ReadFileBytes(file), GoldenPreset("effect_defaults.ini"));
    EXPECT_EQ(LoadSix(target, kOthers), kDefaults);
}

TEST(ProfileStorageTest, NegativeFeedbackIsWrittenSignedAndLoadsBack) {
    TemporaryDirectory directory;
    const std::string file = directory.File("presets.ini");
    const StorageTarget target{.fileName = file.c_str(), .section = "Flanger"};
    constexpr Six kSaved{100, 10, 100, 1, -10, 200};

    ASSERT_EQ(SaveSix(target, kSaved), 1);
    EXPECT_EQ(ReadFileBytes(file), GoldenPreset("effect_feedback_off.ini"));
    EXPECT_EQ(LoadSix(target, kDefaults), kSaved);
}

struct SixLoadCase {
    const char* label;
    const char* file;  // nullptr: no file at all
    Six expected;      // loaded over kOthers
};

TEST(ProfileStorageTest, EffectListLoadsWhatTheSectionHolds) {
    const SixLoadCase cases[] = {
        {"all six",
         "[Flanger]\nDepth=20\nDelay=30\nWidth=40\nSine=1\nFeedback=-10\nSpeed=60\n",
         {20, 30, 40, 1, -10, 60}},
        {"section without Width",
         "[Flanger]\nDepth=20\nDelay=30\nSine=1\nFeedback=-10\n"
         "Speed=60\n",
         {20, 30, 3, 1, -10, 60}},
        {"empty section", "[Flanger]\n[Other]\nDepth=20\n", kOthers},
        {"only another section", "[Other]\nDepth=20\n", kOthers},
        {"no file", nullptr, kOthers},
        // No range check on load.
        {"out of the dialog's ranges",
         "[Flanger]\nDepth=500\nSpeed=-2147483648\n",
         {500, 2, 3, 4, 5, -2147483647 - 1}},
        {"written by hand",
         "; my preset\r\n[ flanger ]\r\n  depth = 33 \r\nFEEDBACK=-7\r\n",
         {33, 2, 3, 4, -7, 6}},
    };
    for (const SixLoadCase& c : cases) {
        SCOPED_TRACE(c.label);
        TemporaryDirectory directory;
        const std::string file = directory.File("presets.ini");
        if (c.file != nullptr) {
            WriteFileBytes(file, c.file);
        }
        EXPECT_EQ(LoadSix({.fileName = file.c_str(), .section = "Flanger"}, kOthers), c.expected);
        EXPECT_EQ(ReadFileBytes(file),
                  c.file != nullptr ? std::optional<std::string>(c.file) : std::nullopt)
            << "a load changed the file";
    }
}

struct TagCase {
    ParameterTag tag;
    const char* name;
    TaggedValue saved;
    TaggedValue loadedOver;  // the variable's value before the load
    TaggedValue loaded;
};

// The list of every tag, saved into a new file: its bytes are every_tag.ini. Numbers pass through
// their six-digit "%g" text, so a FLOAT or DOUBLE loads back rounded.
const TagCase kEveryTag[] = {
    {ParameterTag::Uint, "Unsigned", 4294967295u, 7u, 4294967295u},
    {ParameterTag::Dword, "Flags", 0x80000000u, 7u, 0x80000000u},
    {ParameterTag::Int, "Offset", -123456, 7, -123456},
    {ParameterTag::Float, "Ratio", 0.75f, 9.5f, 0.75f},
    {ParameterTag::Float, "Fine", 0.123456789f, 9.5f, static_cast<float>(0.123457)},
    {ParameterTag::Double, "Length", 1234.5678, 9.5, 1234.57},
    {ParameterTag::Double, "Tiny", -2.5e-300, 9.5, -2.5e-300},
    {ParameterTag::String, "Title", std::string("A preset name well beyond thirty-one characters"),
     std::string("stale"), std::string("A preset name well beyond thirty-one characters")},
    {ParameterTag::String, "Note", std::string(), std::string("stale"), std::string()},
    {ParameterTag::Lss, "Curve", Bytes{0x01, 0xAB, 0xFF}, Bytes{0xEE}, Bytes{0x01, 0xAB, 0xFF}},
    {ParameterTag::Lss, "Empty", Bytes{}, Bytes{0xEE, 0xEE}, Bytes{}},
};

TEST(ProfileStorageTest, EveryTagIsWrittenAsTheGoldenFileAndLoadsBack) {
    TemporaryDirectory directory;
    const std::string file = directory.File("tags.ini");
    const StorageTarget target{.fileName = file.c_str(), .section = "All tags"};

    TaggedList saved;
    TaggedList loaded;
    for (const TagCase& c : kEveryTag) {
        saved.Add(c.tag, c.name, c.saved);
        loaded.Add(c.tag, c.name, c.loadedOver);
    }
    ASSERT_EQ(saved.Save(target), 1);
    EXPECT_EQ(ReadFileBytes(file), GoldenPreset("every_tag.ini"));

    loaded.Load(target);
    for (std::size_t i = 0; i < loaded.Size(); ++i) {
        SCOPED_TRACE(kEveryTag[i].name);
        EXPECT_EQ(loaded[i].Value(), kEveryTag[i].loaded);
        if (kEveryTag[i].tag == ParameterTag::Lss) {
            EXPECT_TRUE(loaded[i].BlockReplaced()) << "a load must hand out a new block";
        }
    }
}

struct AbsentCase {
    ParameterTag tag;
    TaggedValue before;
    TaggedValue after;
};

// An absent key loads the read's default: integers keep their value, numbers pass through their
// own "%g" text, texts are emptied, blocks become new empty blocks.
TEST(ProfileStorageTest, AbsentKeysLoadTheirDefaults) {
    const AbsentCase cases[] = {
        {ParameterTag::Int, -5, -5},
        {ParameterTag::Uint, 4294967295u, 4294967295u},
        {ParameterTag::Dword, 0x80000000u, 0x80000000u},
        {ParameterTag::Float, 0.123456789f, static_cast<float>(0.123457)},
        {ParameterTag::Float, 3.0e38f, static_cast<float>(3.0e38)},
        {ParameterTag::Double, 0.123456789, 0.123457},
        {ParameterTag::Double, 1e300, 1e300},
        {ParameterTag::String, std::string("stale"), std::string()},
        {ParameterTag::Lss, Bytes{0xEE, 0xEE}, Bytes{}},
    };
    TemporaryDirectory directory;
    const std::string withOtherKeys = directory.File("other.ini");
    WriteFileBytes(withOtherKeys, "[Flanger]\nSomething=1\n[Elsewhere]\nValue=2\n");
    const std::string missing = directory.File("missing.ini");

    for (const std::string& file : {withOtherKeys, missing}) {
        TaggedList list;
        for (const AbsentCase& c : cases) {
            list.Add(c.tag, "Value", c.before);
        }
        list.Load({.fileName = file.c_str(), .section = "Flanger"});
        for (std::size_t i = 0; i < list.Size(); ++i) {
            SCOPED_TRACE(file + ", case " + std::to_string(i));
            EXPECT_EQ(list[i].Value(), cases[i].after);
            if (cases[i].tag == ParameterTag::Lss) {
                EXPECT_TRUE(list[i].BlockReplaced());
            }
        }
    }
}

// Hex text of a block in the struct encoding, to build stored data of any length.
std::string StructText(const Bytes& bytes) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    std::string text;
    unsigned sum = 0;
    for (std::uint8_t byte : bytes) {
        text += kDigits[byte >> 4];
        text += kDigits[byte & 15];
        sum += byte;
    }
    text += kDigits[(sum >> 4) & 15];
    text += kDigits[sum & 15];
    return text;
}

Bytes Counting(std::size_t size) {
    Bytes bytes(size);
    for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<std::uint8_t>(i * 7);
    return bytes;
}

struct StoredCase {
    std::string label;
    std::string lines;  // the section's body, keys named "V" (and SIZE_LSS_V, DATA_LSS_V)
    ParameterTag tag;
    TaggedValue before;
    TaggedValue after;
};

// What damaged, hostile and unusually long stored values load as. A block keeps its stored size
// with its bytes cleared when its data entry does not fit, up to a bound beyond which the size is
// only trusted as far as its data entry could hold it; everything loads without a crash.
TEST(ProfileStorageTest, StoredValuesLoadSafely) {
    const std::string zeros(1996, '0');
    // 10^-1997 * 10^2000: a cut anywhere in the text would give 0 or 1.
    const std::string longNumber = "0." + zeros + "1e2000";
    const std::string longText = std::string(1500, 'x') + " end";
    const Bytes kilobyte = Counting(1000);
    const Bytes stale{0xEE};

    const StoredCase cases[] = {
        {"size over 2^31", "SIZE_LSS_V=4000000000\n", ParameterTag::Lss, stale, Bytes{}},
        {"size -1 with short data", "SIZE_LSS_V=-1\nDATA_LSS_V=01ABFFAB\n", ParameterTag::Lss,
         stale, Bytes{}},
        {"huge size with 1000 bytes of data",
         "SIZE_LSS_V=100000000\nDATA_LSS_V=" + StructText(kilobyte) + "\n", ParameterTag::Lss,
         stale, Bytes{}},
        {"size one more than the data", "SIZE_LSS_V=4\nDATA_LSS_V=01ABFFAB\n", ParameterTag::Lss,
         stale, Bytes{0, 0, 0, 0}},
        {"size without data", "SIZE_LSS_V=3\n", ParameterTag::Lss, stale, Bytes{0, 0, 0}},
        {"largest size without data", "SIZE_LSS_V=1048576\n", ParameterTag::Lss, stale,
         Bytes(kLargestUnfilledBlock)},
        {"data without size", "DATA_LSS_V=01ABFFAB\n", ParameterTag::Lss, stale, Bytes{}},
        {"size not a number", "SIZE_LSS_V=three\nDATA_LSS_V=01ABFFAB\n", ParameterTag::Lss, stale,
         Bytes{}},
        {"wrong checksum", "SIZE_LSS_V=3\nDATA_LSS_V=01ABFF00\n", ParameterTag::Lss, stale,
         Bytes{0, 0, 0}},
        {"not hex", "SIZE_LSS_V=3\nDATA_LSS_V=01ZBFFAB\n", ParameterTag::Lss, stale,
         Bytes{0, 0, 0}},
        {"data longer than the size", "SIZE_LSS_V=2\nDATA_LSS_V=01ABFFAB\n", ParameterTag::Lss,
         stale, Bytes{0, 0}},
        {"lower-case data", "SIZE_LSS_V=3\nDATA_LSS_V=01abffab\n", ParameterTag::Lss, stale,
         Bytes{0x01, 0xAB, 0xFF}},
        {"1000-byte block", "SIZE_LSS_V=1000\nDATA_LSS_V=" + StructText(kilobyte) + "\n",
         ParameterTag::Lss, stale, kilobyte},
        {"float not a number", "V=abc\n", ParameterTag::Float, 2.5f, 0.0f},
        {"float with trailing text", "V=12.5abc\n", ParameterTag::Float, 2.5f, 12.5f},
        {"float beyond its range", "V=1e300\n", ParameterTag::Float, 2.5f,
         std::numeric_limits<float>::max()},
        {"double not a decimal number", "V=nan\n", ParameterTag::Double, 2.5, 0.0},
        {"float of 2004 characters", "V=" + longNumber + "\n", ParameterTag::Float, 2.5f, 1000.0f},
        {"double of 2004 characters", "V=" + longNumber + "\n", ParameterTag::Double, 2.5, 1000.0},
        {"double empty", "V=\n", ParameterTag::Double, 2.5, 0.0},
        {"text of 1504 characters", "V=" + longText + "\n", ParameterTag::String,
         std::string("stale"), longText},
        {"text of 1023 characters", "V=" + std::string(1023, 'y') + "\n", ParameterTag::String,
         std::string("stale"), std::string(1023, 'y')},
        {"text of 1024 characters", "V=" + std::string(1024, 'z') + "\n", ParameterTag::String,
         std::string("stale"), std::string(1024, 'z')},
        {"integer with trailing text", "V=12abc\n", ParameterTag::Int, 7, 12},
        {"integer empty", "V=\n", ParameterTag::Int, 7, 7},
        {"unsigned wraps", "V=-1\n", ParameterTag::Uint, 7u, 4294967295u},
    };
    for (const StoredCase& c : cases) {
        SCOPED_TRACE(c.label);
        TemporaryDirectory directory;
        const std::string file = directory.File("stored.ini");
        WriteFileBytes(file, "[Flanger]\n" + c.lines);
        TaggedList list;
        list.Add(c.tag, "V", c.before);
        list.Load({.fileName = file.c_str(), .section = "Flanger"});
        EXPECT_EQ(list[0].Value(), c.after);
    }
}

// Values that cannot be stored whole are not stored at all, and the save gives 1 all the same:
// a block that claims bytes without data, and a text with a line break, which would otherwise
// put lines of its own into the file.
TEST(ProfileStorageTest, ValuesThatCannotBeStoredWholeAreNotWritten) {
    TemporaryDirectory directory;
    const std::string file = directory.File("presets.ini");
    const StorageTarget target{.fileName = file.c_str(), .section = "Flanger"};
    const LssBlock claimsBytes{.Size = 3, .Data = nullptr};
    const LssBlock noBytes{.Size = 0, .Data = nullptr};
    const std::string injected = "x\n[Evil]\nDepth=1";
    const std::int32_t depth = 90;
    const char* const names[] = {"Broken", "Title", "Depth", "Empty"};
    const void* const values[] = {&claimsBytes, &injected, &depth, &noBytes};

    ASSERT_EQ(SaveParameters(target, names, "LSS STRING INT LSS", values), 1);
    EXPECT_EQ(ReadFileBytes(file),
              test::ProfileText("[Flanger]\nDepth=90\nSIZE_LSS_Empty=0\nDATA_LSS_Empty=00\n"));
}

#ifndef _WIN32
// Another writer holding the file's lock past the wait (here this process, through a descriptor
// of its own, letting go after the save or at the latest after 3 s, where a wait without end
// would go on and save) makes the save give 0, and the stored preset stays as it was. A lock
// that passes from process to process, each holding it for less than the wait, is waited for
// however long the line is.
TEST(ProfileStorageTest, SaveWaitsForALockChangingHandsButNotPastOneHolder) {
    TemporaryDirectory directory;
    const std::string file = directory.File("presets.ini");
    const StorageTarget target{.fileName = file.c_str(), .section = "Flanger"};
    ASSERT_EQ(SaveSix(target, kDefaults), 1);
    const int holder = open(file.c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_EQ(flock(holder, LOCK_EX), 0);
    std::promise<void> saved;
    std::thread letGo([holder, done = saved.get_future()] {
        done.wait_for(std::chrono::seconds(3));
        close(holder);
    });
    platform::posix::SetStoreWait(std::chrono::milliseconds(300));
    EXPECT_EQ(SaveSix(target, kOthers), 0);
    saved.set_value();
    letGo.join();
    EXPECT_EQ(LoadSix(target, kOthers), kDefaults);

    std::vector<pid_t> line;
    for (int i = 0; i < 5; ++i) {
        const pid_t child = fork();
        if (child == 0) {
            const int fd = open(file.c_str(), O_RDONLY | O_CLOEXEC);
            flock(fd, LOCK_EX);
            usleep(100000);
            _exit(0);
        }
        line.push_back(child);
    }
    usleep(50000);
    EXPECT_EQ(SaveSix(target, kOthers), 1);
    platform::posix::SetStoreWait(platform::posix::kStoreWait);
    for (const pid_t child : line) waitpid(child, nullptr, 0);
    EXPECT_EQ(LoadSix(target, kDefaults), kOthers);
}
#endif

// Nothing to store into without a section; the driver then loads nothing and saves nothing.
TEST(ProfileStorageTest, NoSectionNoStorage) {
    EXPECT_EQ(ProfileStorage::Open("presets.ini", nullptr), nullptr);
    EXPECT_EQ(ProfileStorage::Open(nullptr, "Flanger"), nullptr);
    EXPECT_NE(ProfileStorage::Open("presets.ini", "Flanger"), nullptr);
}

}  // namespace
}  // namespace flanger
