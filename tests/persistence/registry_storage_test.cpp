// Parameter lists in a registry key, through the load/save driver and the module's storages,
// against a registry database of the test's own: the exact types and bytes stored, what loads
// back, and what values of unexpected size or type load as.
#include "persistence/registry_storage.h"

#include <gtest/gtest.h>
#ifndef _WIN32
#include <sqlite3.h>
#endif

#include <chrono>
#include <cstdint>
#include <string>
#include <thread>
#include <vector>

#include "persistence/effect_parameters.h"
#include "persistence/parameter_driver.h"
#include "platform/registry.h"
#ifndef _WIN32
#include "platform/posix/store_wait.h"
#endif
#include "storage_test_support.h"
#include "tagged_variable.h"

namespace flanger {
namespace {

using test::Bytes;
using test::ScopedEnvironment;
using test::TaggedList;
using test::TaggedValue;
using test::TemporaryDirectory;

const platform::RegistryKey kCurrentUser = FLANGER_HKEY_CURRENT_USER;
constexpr const char* kPresetKey = "Software\\Flanger Test\\Presets";

struct Stored {
    long result = -1;
    std::uint32_t type = 0xFFFFFFFF;
    Bytes bytes;
    friend bool operator==(const Stored&, const Stored&) = default;
};

void PrintTo(const Stored& stored, std::ostream* out) {
    *out << "{result " << stored.result << ", type " << stored.type << ", bytes";
    for (std::uint8_t byte : stored.bytes) *out << ' ' << static_cast<int>(byte);
    *out << "}";
}

// Every test has a registry database of its own in a new directory.
class RegistryStorageTest : public ::testing::Test {
protected:
    // The value `name` of the key `section` below the current user's root as the registry holds
    // it, read through the platform's calls; the result of the first call that fails.
    static Stored Query(const char* section, const char* name) {
        Stored stored;
        platform::RegistryKey key = nullptr;
        stored.result =
            platform::OpenRegistryKey(kCurrentUser, section, platform::kRegistryKeyRead, &key);
        if (stored.result != platform::kRegistrySuccess) return stored;
        std::uint32_t size = 0;
        stored.result = platform::QueryRegistryValue(key, name, &stored.type, nullptr, &size);
        if (stored.result == platform::kRegistrySuccess) {
            stored.bytes.resize(size);
            stored.result =
                platform::QueryRegistryValue(key, name, &stored.type, stored.bytes.data(), &size);
        }
        platform::CloseRegistryKey(key);
        return stored;
    }

    static Stored Success(std::uint32_t type, Bytes bytes) {
        return {platform::kRegistrySuccess, type, std::move(bytes)};
    }

    // Stores one value with the given type and bytes, as another program could have.
    static void Store(const char* section, const char* name, std::uint32_t type,
                      const Bytes& bytes) {
        platform::RegistryKey key = nullptr;
        ASSERT_EQ(
            platform::CreateRegistryKey(kCurrentUser, section, platform::kRegistryKeyWrite, &key),
            platform::kRegistrySuccess);
        EXPECT_EQ(platform::SetRegistryValue(key, name, type, bytes.data(),
                                             static_cast<std::uint32_t>(bytes.size())),
                  platform::kRegistrySuccess);
        platform::CloseRegistryKey(key);
    }

    static bool KeyExists(const char* section) {
        platform::RegistryKey key = nullptr;
        if (platform::OpenRegistryKey(kCurrentUser, section, platform::kRegistryKeyRead, &key) !=
            platform::kRegistrySuccess) {
            return false;
        }
        platform::CloseRegistryKey(key);
        return true;
    }

    TemporaryDirectory directory;
    test::PrivateRegistry registry{directory};
};

struct Six {
    std::int32_t depth, delay, width, sine, feedback, speed;
    friend bool operator==(const Six&, const Six&) = default;
};

void PrintTo(const Six& six, std::ostream* out) {
    *out << "{" << six.depth << ", " << six.delay << ", " << six.width << ", " << six.sine << ", "
         << six.feedback << ", " << six.speed << "}";
}

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

constexpr Six kOthers{1, 2, 3, 4, 5, 6};

TEST_F(RegistryStorageTest, EffectListIsSixFourByteValuesOfTypeZero) {
    const StorageTarget target{.section = kPresetKey, .rootKey = kCurrentUser};
    constexpr Six kSaved{90, 50, 50, 0, -10, 300};
    ASSERT_FALSE(KeyExists(kPresetKey));

    ASSERT_EQ(SaveSix(target, kSaved), 1);
    const struct {
        const char* name;
        Bytes bytes;
    } expected[] = {
        {"Depth", {90, 0, 0, 0}},
        {"Delay", {50, 0, 0, 0}},
        {"Width", {50, 0, 0, 0}},
        {"Sine", {0, 0, 0, 0}},
        {"Feedback", {0xF6, 0xFF, 0xFF, 0xFF}},
        {"Speed", {0x2C, 1, 0, 0}},
    };
    for (const auto& value : expected) {
        SCOPED_TRACE(value.name);
        EXPECT_EQ(Query(kPresetKey, value.name), Success(platform::kRegistryTypeNone, value.bytes));
    }
    EXPECT_EQ(LoadSix(target, kOthers), kSaved);
}

struct TagCase {
    ParameterTag tag;
    const char* name;
    TaggedValue saved;
    std::uint32_t type;  // as stored
    Bytes bytes;         // as stored
    TaggedValue loadedOver;
};

// Every tag stores exactly the bytes of its value, least significant byte first; a round trip
// gives back the saved value unchanged.
TEST_F(RegistryStorageTest, EveryTagStoresItsBytesAndLoadsBack) {
    const std::string title = "A preset name well beyond thirty-one characters";
    Bytes titleBytes(title.begin(), title.end());
    titleBytes.push_back(0);
    const TagCase cases[] = {
        {ParameterTag::Uint, "Unsigned", 4294967295u, 0, {0xFF, 0xFF, 0xFF, 0xFF}, 7u},
        {ParameterTag::Dword, "Flags", 0x12345678u, 0, {0x78, 0x56, 0x34, 0x12}, 7u},
        {ParameterTag::Int, "Offset", -123456, 0, {0xC0, 0x1D, 0xFE, 0xFF}, 7},
        {ParameterTag::Float, "Fine", 0.123456789f, 0, {0xEA, 0xD6, 0xFC, 0x3D}, 9.5f},
        {ParameterTag::Double,
         "Length",
         1234.5678,
         0,
         {0xAD, 0xFA, 0x5C, 0x6D, 0x45, 0x4A, 0x93, 0x40},
         9.5},
        {ParameterTag::String, "Title", title, 1, titleBytes, std::string("stale")},
        {ParameterTag::String, "Note", std::string(), 1, {0}, std::string("stale")},
        {ParameterTag::Lss, "Curve", Bytes{0x01, 0xAB, 0xFF}, 3, {0x01, 0xAB, 0xFF}, Bytes{0xEE}},
        {ParameterTag::Lss, "Empty", Bytes{}, 3, {}, Bytes{0xEE, 0xEE}},
    };
    const StorageTarget target{.section = kPresetKey, .rootKey = kCurrentUser};
    TaggedList saved;
    TaggedList loaded;
    for (const TagCase& c : cases) {
        saved.Add(c.tag, c.name, c.saved);
        loaded.Add(c.tag, c.name, c.loadedOver);
    }
    ASSERT_EQ(saved.Save(target), 1);
    loaded.Load(target);
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        SCOPED_TRACE(cases[i].name);
        EXPECT_EQ(Query(kPresetKey, cases[i].name), Success(cases[i].type, cases[i].bytes));
        EXPECT_EQ(loaded[i].Value(), cases[i].saved);
        if (cases[i].tag == ParameterTag::Lss) {
            EXPECT_TRUE(loaded[i].BlockReplaced()) << "a load must hand out a new block";
        }
    }
}

struct StoredCase {
    const char* label;
    bool present;
    std::uint32_t type;
    Bytes bytes;
    ParameterTag tag;
    TaggedValue before;
    TaggedValue after;
};

// The stored type is not examined, only the size: a value loads into a variable of exactly its
// size and leaves any other as it was. Texts and blocks take whatever size is stored.
TEST_F(RegistryStorageTest, StoredValuesLoadByTheirSize) {
    const Bytes large = [] {
        Bytes bytes(100000);
        for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<std::uint8_t>(i);
        return bytes;
    }();
    const Bytes stale{0xEE};
    using platform::kRegistryTypeBinary;
    using platform::kRegistryTypeDword;
    using platform::kRegistryTypeNone;
    using platform::kRegistryTypeString;
    const StoredCase cases[] = {
        {"REG_DWORD into INT",
         true,
         kRegistryTypeDword,
         {0xF6, 0xFF, 0xFF, 0xFF},
         ParameterTag::Int,
         7,
         -10},
        {"REG_BINARY into UINT",
         true,
         kRegistryTypeBinary,
         {1, 2, 3, 4},
         ParameterTag::Uint,
         7u,
         0x04030201u},
        {"REG_SZ of 4 bytes into DWORD",
         true,
         kRegistryTypeString,
         {'a', 'b', 'c', 0},
         ParameterTag::Dword,
         7u,
         0x00636261u},
        {"2 bytes into INT", true, kRegistryTypeNone, {1, 2}, ParameterTag::Int, 7, 7},
        {"8 bytes into INT",
         true,
         kRegistryTypeNone,
         {1, 2, 3, 4, 5, 6, 7, 8},
         ParameterTag::Int,
         7,
         7},
        {"no bytes into INT", true, kRegistryTypeNone, {}, ParameterTag::Int, 7, 7},
        {"absent INT", false, 0, {}, ParameterTag::Int, 7, 7},
        {"4 bytes into DOUBLE",
         true,
         kRegistryTypeNone,
         {0, 0, 0x80, 0x3F},
         ParameterTag::Double,
         2.5,
         2.5},
        {"8 bytes into FLOAT",
         true,
         kRegistryTypeNone,
         {0, 0, 0, 0, 0, 0, 0xF0, 0x3F},
         ParameterTag::Float,
         2.5f,
         2.5f},
        {"4 bytes into FLOAT",
         true,
         kRegistryTypeBinary,
         {0, 0, 0x80, 0x3F},
         ParameterTag::Float,
         2.5f,
         1.0f},
        {"absent DOUBLE", false, 0, {}, ParameterTag::Double, 2.5, 2.5},
        {"text without its NUL",
         true,
         kRegistryTypeString,
         {'a', 'b', 'c'},
         ParameterTag::String,
         std::string("stale"),
         std::string("abc")},
        {"text with an inner NUL",
         true,
         kRegistryTypeString,
         {'a', 'b', 0, 'c', 0},
         ParameterTag::String,
         std::string("stale"),
         std::string("ab")},
        {"empty value into STRING",
         true,
         kRegistryTypeString,
         {},
         ParameterTag::String,
         std::string("stale"),
         std::string()},
        {"absent STRING",
         false,
         0,
         {},
         ParameterTag::String,
         std::string("stale"),
         std::string("stale")},
        {"absent LSS", false, 0, {}, ParameterTag::Lss, stale, Bytes{}},
        {"REG_DWORD into LSS",
         true,
         kRegistryTypeDword,
         {1, 2, 3, 4},
         ParameterTag::Lss,
         stale,
         Bytes{1, 2, 3, 4}},
        {"100000 bytes into LSS", true, kRegistryTypeBinary, large, ParameterTag::Lss, stale,
         large},
    };
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        const StoredCase& c = cases[i];
        SCOPED_TRACE(c.label);
        // A key of its own per case, holding another value besides the one under test.
        const std::string section = std::string(kPresetKey) + "\\" + std::to_string(i);
        Store(section.c_str(), "Other", kRegistryTypeNone, {1, 2, 3, 4});
        if (c.present) Store(section.c_str(), "V", c.type, c.bytes);
        TaggedList list;
        list.Add(c.tag, "V", c.before);
        list.Load({.section = section.c_str(), .rootKey = kCurrentUser});
        EXPECT_EQ(list[0].Value(), c.after);
        if (c.tag == ParameterTag::Lss) {
            EXPECT_TRUE(list[0].BlockReplaced()) << "a load must hand out a new block";
        }
    }
}

TEST_F(RegistryStorageTest, MissingKeyLoadsNothingAndIsNotCreated) {
    Store("Software\\Flanger Test", "Depth", platform::kRegistryTypeNone, {20, 0, 0, 0});
    constexpr const char* kMissing = "Software\\Flanger Test\\No such preset";

    EXPECT_EQ(LoadSix({.section = kMissing, .rootKey = kCurrentUser}, kOthers), kOthers);
    TaggedList blocks;
    blocks.Add(ParameterTag::Lss, "Curve", Bytes{0xEE});
    blocks.Add(ParameterTag::String, "Title", std::string("stale"));
    blocks.Load({.section = kMissing, .rootKey = kCurrentUser});
    EXPECT_FALSE(blocks[0].BlockReplaced());
    EXPECT_EQ(blocks[0].Value(), TaggedValue(Bytes{0xEE}));
    EXPECT_EQ(blocks[1].Value(), TaggedValue(std::string("stale")));
    EXPECT_FALSE(KeyExists(kMissing));
}

struct UnwritableCase {
    const char* label;
    platform::RegistryKey root;
    const char* section;
    bool unwritableDatabase;
};

// SaveParameters reports a key it cannot create with 0 and writes nothing; a load from the same
// place loads nothing.
TEST_F(RegistryStorageTest, KeyThatCannotBeCreatedSavesZero) {
    const UnwritableCase cases[] = {
        {"invalid root handle", reinterpret_cast<platform::RegistryKey>(std::uintptr_t{0x1234}),
         kPresetKey, false},
        {"leading backslash", kCurrentUser, "\\Software\\Flanger Test", false},
#ifndef _WIN32
        // Only our Linux registry keeps its keys in a file.
        {"database under a plain file", kCurrentUser, kPresetKey, true},
#endif
    };
    const std::string plainFile = directory.File("plain-file");
    test::WriteFileBytes(plainFile, "not a folder");
    for (const UnwritableCase& c : cases) {
        SCOPED_TRACE(c.label);
        const std::string unwritable = plainFile + "/registry.sqlite3";
        std::optional<ScopedEnvironment> elsewhere;
        if (c.unwritableDatabase) elsewhere.emplace(test::kRegistryDatabaseVariable, unwritable);
        const StorageTarget target{.section = c.section, .rootKey = c.root};

        EXPECT_EQ(SaveSix(target, {90, 50, 50, 0, 10, 10}), 0);
        EXPECT_EQ(LoadSix(target, kOthers), kOthers);
        EXPECT_EQ(RegistryStorage::OpenForSave(c.root, c.section), nullptr);
        EXPECT_EQ(RegistryStorage::OpenForLoad(c.root, c.section), nullptr);
        EXPECT_EQ(test::ReadFileBytes(plainFile), "not a folder");
    }
    EXPECT_FALSE(KeyExists(kPresetKey)) << "a failed save wrote to the test's database";
}

#ifndef _WIN32
// Our Linux registry stores a key's values at its close. When another writer holds the
// database locked past the wait, the save reports 0 and the stored preset stays whole. Writers
// that commit one after the other, each holding the lock for less than the wait, are waited for
// however long the line is.
TEST_F(RegistryStorageTest, SaveWaitsForWritersInTurnButNotPastOneHolder) {
    const StorageTarget target{.section = kPresetKey, .rootKey = kCurrentUser};
    constexpr Six kStored{90, 50, 50, 0, 10, 10};
    ASSERT_EQ(SaveSix(target, kStored), 1);
    sqlite3* writer = nullptr;
    ASSERT_EQ(sqlite3_open(directory.File("registry.sqlite3").c_str(), &writer), SQLITE_OK);
    const auto run = [writer](const char* sql) {
        return sqlite3_exec(writer, sql, nullptr, nullptr, nullptr);
    };
    // Without syncs the line's turns take as long as the test says, however busy the disk.
    ASSERT_EQ(run("PRAGMA synchronous = OFF"), SQLITE_OK);
    ASSERT_EQ(run("BEGIN IMMEDIATE"), SQLITE_OK);
    platform::posix::SetStoreWait(std::chrono::milliseconds(300));
    EXPECT_EQ(SaveSix(target, kOthers), 0);
    run("ROLLBACK");
    EXPECT_EQ(LoadSix(target, kOthers), kStored);

    ASSERT_EQ(run("BEGIN IMMEDIATE"), SQLITE_OK);
    std::thread line([&] {
        for (int turn = 0; turn < 5; ++turn) {
            if (turn > 0) run("BEGIN IMMEDIATE");
            run("INSERT INTO registry_key (parent_id, name) VALUES (0, 'Line');"
                "DELETE FROM registry_key WHERE parent_id = 0 AND name = 'Line'");
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
            run("COMMIT");
        }
    });
    EXPECT_EQ(SaveSix(target, kOthers), 1);
    line.join();
    platform::posix::SetStoreWait(platform::posix::kStoreWait);
    sqlite3_close(writer);
    EXPECT_EQ(LoadSix(target, kStored), kOthers);
}
#endif

}  // namespace
}  // namespace flanger
