// Values of the registry: types and bytes kept exactly, the buffer rules of a query, names and
// sizes at and past the limits, values pending on a handle, and threads saving at once.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <thread>
#include <vector>

#include "platform/registry.h"
#include "registry_test_support.h"

namespace flanger::platform::test {
namespace {

const RegistryKey kCurrentUser = FLANGER_HKEY_CURRENT_USER;
constexpr const char* kPresetKey = "Software\\Vornak\\Flanger";

Bytes Pattern(std::size_t size) {
    Bytes bytes(size);
    for (std::size_t i = 0; i < size; ++i) {
        bytes[i] = static_cast<unsigned char>(i * 131 + (i >> 8));
    }
    return bytes;
}

class RegistryValueTest : public ::testing::Test {
protected:
    RegistryKey OpenPreset(std::uint32_t access = kRegistryKeyRead) {
        RegistryKey key = nullptr;
        EXPECT_EQ(OpenRegistryKey(kCurrentUser, kPresetKey, access, &key), kRegistrySuccess);
        return key;
    }

    RegistryScratch Scratch;
};

TEST_F(RegistryValueTest, ValuesKeepTheirTypeAndBytes) {
    const struct {
        const char* name;
        std::uint32_t type;
        Bytes data;
    } values[] = {
        {"Depth", kRegistryTypeNone, Int32Bytes(90)},
        {"Feedback", kRegistryTypeNone, {0xF6, 0xFF, 0xFF, 0xFF}},
        {"Dword", kRegistryTypeDword, {0x78, 0x56, 0x34, 0x12}},
        {"Empty", kRegistryTypeBinary, {}},
        {"EmptyNone", kRegistryTypeNone, {}},
        {"Binary", kRegistryTypeBinary, {0x00, 0xFF, 0x00, '\'', '"', '\\', 0x00}},
        {"Text", kRegistryTypeString, {'a', 'b', 'c', 0x00}},
        {"TextWithoutNul", kRegistryTypeString, {'a', 'b', 'c'}},
        {"", 7, {1, 2, 3}},  // the default value, of type REG_MULTI_SZ
        {"HighestType", 0xFFFFFFFFu, {0xAA}},
        {"Largest", kRegistryTypeBinary, Pattern(kRegistryMaxValueSize)},
    };
    RegistryKey writer = nullptr;
    ASSERT_EQ(CreateRegistryKey(kCurrentUser, kPresetKey, kRegistryKeyWrite, &writer),
              kRegistrySuccess);
    for (const auto& v : values) {
        ASSERT_EQ(SetRegistryValue(writer, v.name, v.type, v.data.data(),
                                   static_cast<std::uint32_t>(v.data.size())),
                  kRegistrySuccess)
            << v.name;
    }
    ASSERT_EQ(CloseRegistryKey(writer), kRegistrySuccess);

    RegistryKey reader = OpenPreset();
    for (const auto& v : values) {
        SCOPED_TRACE(v.name);
        const QueriedValue stored = QueryWhole(reader, v.name);
        ASSERT_EQ(stored.result, kRegistrySuccess);
        EXPECT_EQ(stored.type, v.type);
        EXPECT_EQ(stored.data, v.data);
    }
    // The default value answers to a null name too, and other names to any ASCII case.
    EXPECT_EQ(QueryWhole(reader, nullptr).data, (Bytes{1, 2, 3}));
    EXPECT_EQ(QueryWhole(reader, "FEEDBACK").data, (Bytes{0xF6, 0xFF, 0xFF, 0xFF}));
    EXPECT_EQ(QueryWhole(reader, "textwithoutnul").data, (Bytes{'a', 'b', 'c'}));
    EXPECT_EQ(QueryWhole(reader, "Missing").result, kRegistryFileNotFound);
    EXPECT_EQ(CloseRegistryKey(reader), kRegistrySuccess);
}

TEST_F(RegistryValueTest, SavingAgainReplacesTypeAndBytesWhateverTheCase) {
    const struct {
        const char* savedAs;
        std::uint32_t type;
        Bytes data;
    } saves[] = {
        {"Speed", kRegistryTypeNone, Int32Bytes(10)},
        {"SPEED", kRegistryTypeBinary, Pattern(300)},
        {"speed", kRegistryTypeString, {}},
        {"Speed", kRegistryTypeDword, Int32Bytes(-1)},
    };
    for (const auto& s : saves) {
        SCOPED_TRACE(s.savedAs);
        ASSERT_EQ(SaveValues(kCurrentUser, kPresetKey, {{s.savedAs, s.data}}, s.type),
                  kRegistrySuccess);
        RegistryKey reader = OpenPreset();
        const QueriedValue stored = QueryWhole(reader, "sPeEd");
        EXPECT_EQ(stored.result, kRegistrySuccess);
        EXPECT_EQ(stored.type, s.type);
        EXPECT_EQ(stored.data, s.data);
        EXPECT_EQ(CloseRegistryKey(reader), kRegistrySuccess);
    }
}

TEST_F(RegistryValueTest, QueryFollowsTheBufferRules) {
    ASSERT_EQ(SaveValues(kCurrentUser, kPresetKey, {{"Four", Pattern(4)}, {"None", {}}},
                         kRegistryTypeBinary),
              kRegistrySuccess);
    constexpr std::uint32_t kUnset = 0xEEEEEEEE;
    constexpr unsigned char kFill = 0xCD;
    const struct {
        const char* label;
        const char* name;
        bool passType, passData, passSize;
        std::uint32_t capacity;
        long result;
        std::uint32_t typeAfter, sizeAfter;
        std::size_t bytesCopied;
    } cases[] = {
        {"exact", "Four", true, true, true, 4, kRegistrySuccess, kRegistryTypeBinary, 4, 4},
        {"larger", "Four", true, true, true, 9, kRegistrySuccess, kRegistryTypeBinary, 4, 4},
        {"one short", "Four", true, true, true, 3, kRegistryMoreData, kRegistryTypeBinary, 4, 0},
        {"no room", "Four", true, true, true, 0, kRegistryMoreData, kRegistryTypeBinary, 4, 0},
        {"no data", "Four", true, false, true, 0, kRegistrySuccess, kRegistryTypeBinary, 4, 0},
        {"no data, any size", "Four", true, false, true, 1, kRegistrySuccess, kRegistryTypeBinary,
         4, 0},
        {"no type", "Four", false, true, true, 4, kRegistrySuccess, kUnset, 4, 4},
        {"type only", "Four", true, false, false, 0, kRegistrySuccess, kRegistryTypeBinary, kUnset,
         0},
        {"data without size", "Four", true, true, false, 0, kRegistryInvalidParameter, kUnset,
         kUnset, 0},
        {"empty value", "None", true, true, true, 4, kRegistrySuccess, kRegistryTypeBinary, 0, 0},
        {"empty value, no room", "None", true, true, true, 0, kRegistrySuccess, kRegistryTypeBinary,
         0, 0},
        {"missing", "Five", true, true, true, 8, kRegistryFileNotFound, kUnset, 8, 0},
        {"missing, no data", "Five", true, false, true, 8, kRegistryFileNotFound, kUnset, 8, 0},
    };
    RegistryKey key = OpenPreset();
    const Bytes stored = Pattern(4);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        std::uint32_t type = kUnset;
        std::uint32_t size = c.passSize ? c.capacity : kUnset;
        Bytes buffer(16, kFill);
        EXPECT_EQ(
            QueryRegistryValue(key, c.name, c.passType ? &type : nullptr,
                               c.passData ? buffer.data() : nullptr, c.passSize ? &size : nullptr),
            c.result);
        EXPECT_EQ(type, c.typeAfter);
        EXPECT_EQ(size, c.sizeAfter);
        Bytes expected(16, kFill);
        std::copy(stored.begin(), stored.begin() + static_cast<std::ptrdiff_t>(c.bytesCopied),
                  expected.begin());
        EXPECT_EQ(buffer, expected);
    }
#ifndef _WIN32  // the Windows layer writes the type first for now
    // One variable for the type and the size, as some callers pass them.
    std::uint32_t typeAndSize = 4;
    Bytes buffer(4, kFill);
    EXPECT_EQ(QueryRegistryValue(key, "Four", &typeAndSize, buffer.data(), &typeAndSize),
              kRegistrySuccess);
    EXPECT_EQ(typeAndSize, 4u);
    EXPECT_EQ(buffer, stored);
#endif
    EXPECT_EQ(CloseRegistryKey(key), kRegistrySuccess);
}

TEST_F(RegistryValueTest, HostileNamesAndSizesAreStoredExactlyOrRefused) {
    const std::string longestName(kRegistryMaxValueNameLength, 'v');
    const Bytes tooLarge = Pattern(kRegistryMaxValueSize + 1);
    const struct {
        const char* label;
        std::string name;
        const unsigned char* data;
        std::uint32_t size;
        long result;
    } cases[] = {
        {"quotes", "Robert'); DROP TABLE registry_value;--", tooLarge.data(), 4, kRegistrySuccess},
        {"double quotes", "\"Depth\" 'Delay'", tooLarge.data(), 5, kRegistrySuccess},
        {"backslashes", "Presets\\Depth\\", tooLarge.data(), 6, kRegistrySuccess},
        {"control and high bytes", "\x01\x1F\x7F\x80\xFF", tooLarge.data(), 7, kRegistrySuccess},
        {"like wildcards", "%_", tooLarge.data(), 8, kRegistrySuccess},
        {"longest name", longestName, tooLarge.data(), 9, kRegistrySuccess},
        {"name one too long", longestName + "v", tooLarge.data(), 4, kRegistryInvalidParameter},
        {"data one too large", "TooLarge", tooLarge.data(), kRegistryMaxValueSize + 1,
         kRegistryInvalidParameter},
        {"largest size", "Huge", tooLarge.data(), 0xFFFFFFFFu, kRegistryInvalidParameter},
        {"no data but a size", "NullData", nullptr, 4, kRegistryInvalidParameter},
        {"no data and no size", "NullEmpty", nullptr, 0, kRegistrySuccess},
    };
    RegistryKey writer = nullptr;
    ASSERT_EQ(CreateRegistryKey(kCurrentUser, kPresetKey, kRegistryKeyWrite, &writer),
              kRegistrySuccess);
    ASSERT_EQ(SetRegistryValue(writer, "Bystander", kRegistryTypeNone, Int32Bytes(5).data(), 4),
              kRegistrySuccess);
    for (const auto& c : cases) {
        EXPECT_EQ(SetRegistryValue(writer, c.name.c_str(), kRegistryTypeBinary, c.data, c.size),
                  c.result)
            << c.label;
    }
    ASSERT_EQ(CloseRegistryKey(writer), kRegistrySuccess);

    RegistryKey reader = OpenPreset();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        const QueriedValue stored = QueryWhole(reader, c.name.c_str());
        if (c.result != kRegistrySuccess) {
            EXPECT_EQ(stored.result, kRegistryFileNotFound);
            continue;
        }
        ASSERT_EQ(stored.result, kRegistrySuccess);
        EXPECT_EQ(stored.type, kRegistryTypeBinary);
        EXPECT_EQ(stored.data, Bytes(c.data, c.data + c.size));
    }
    EXPECT_EQ(QueryWhole(reader, "Bystander").data, Int32Bytes(5));
    EXPECT_EQ(QueryWhole(reader, "ROBERT'); drop table REGISTRY_VALUE;--").result,
              kRegistrySuccess);
    EXPECT_EQ(QueryWhole(reader, "Presets").result, kRegistryFileNotFound);
    EXPECT_EQ(CloseRegistryKey(reader), kRegistrySuccess);
}

// Our store writes a handle's values when it closes; the system stores each value when it is set,
// so there other handles see it at once.
TEST_F(RegistryValueTest, ValuesSetThroughAHandleAreSeenByOthersWhenItCloses) {
#ifdef _WIN32
    constexpr long kSeenBeforeTheClose = kRegistrySuccess;
#else
    constexpr long kSeenBeforeTheClose = kRegistryFileNotFound;
#endif
    RegistryKey writer = nullptr;
    ASSERT_EQ(CreateRegistryKey(kCurrentUser, kPresetKey, kRegistryKeyAllAccess, &writer),
              kRegistrySuccess);
    ASSERT_EQ(SetRegistryValue(writer, "Depth", kRegistryTypeNone, Int32Bytes(1).data(), 4),
              kRegistrySuccess);
    ASSERT_EQ(SetRegistryValue(writer, "Delay", kRegistryTypeNone, Int32Bytes(2).data(), 4),
              kRegistrySuccess);
    ASSERT_EQ(SetRegistryValue(writer, "DEPTH", kRegistryTypeDword, Int32Bytes(3).data(), 4),
              kRegistrySuccess);

    RegistryKey other = OpenPreset();
    const struct {
        const char* name;
        std::uint32_t type;
        std::int32_t value;
    } expected[] = {{"depth", kRegistryTypeDword, 3}, {"Delay", kRegistryTypeNone, 2}};
    for (const auto& e : expected) {
        SCOPED_TRACE(e.name);
        const QueriedValue own = QueryWhole(writer, e.name);
        EXPECT_EQ(own.result, kRegistrySuccess);
        EXPECT_EQ(own.type, e.type);
        EXPECT_EQ(own.data, Int32Bytes(e.value));
        EXPECT_EQ(QueryWhole(other, e.name).result, kSeenBeforeTheClose);
    }
    ASSERT_EQ(CloseRegistryKey(writer), kRegistrySuccess);
    for (const auto& e : expected) {
        SCOPED_TRACE(e.name);
        const QueriedValue seen = QueryWhole(other, e.name);
        EXPECT_EQ(seen.result, kRegistrySuccess);
        EXPECT_EQ(seen.type, e.type);
        EXPECT_EQ(seen.data, Int32Bytes(e.value));
    }
    EXPECT_EQ(CloseRegistryKey(other), kRegistrySuccess);
}

// Several host threads save and load presets at once, in keys of their own and in one shared
// key; every save must arrive whole.
TEST_F(RegistryValueTest, ThreadsSavingAtOnceLoseNothing) {
    constexpr int kThreads = 4;
    constexpr int kSaves = 30;
    const char* fields[] = {"Depth", "Delay", "Width", "Sine", "Feedback", "Speed"};
    std::vector<int> failures(kThreads, 0);
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            const std::string ownKey = "Software\\Vornak\\Thread" + std::to_string(t);
            for (int s = 0; s < kSaves; ++s) {
                std::vector<std::pair<std::string, Bytes>> shared;
                for (const char* field : fields) {
                    shared.emplace_back("T" + std::to_string(t) + field, Int32Bytes(s));
                }
                if (SaveValues(kCurrentUser, kPresetKey, shared) != kRegistrySuccess ||
                    SaveValues(kCurrentUser, ownKey.c_str(),
                               {{"Save" + std::to_string(s), Int32Bytes(s * t)}}) !=
                        kRegistrySuccess) {
                    ++failures[t];
                }
                // A read in between, through a handle that other threads' closes do not touch.
                RegistryKey key = nullptr;
                if (OpenRegistryKey(kCurrentUser, ownKey.c_str(), kRegistryKeyRead, &key) !=
                        kRegistrySuccess ||
                    QueryWhole(key, ("Save" + std::to_string(s)).c_str()).data !=
                        Int32Bytes(s * t) ||
                    CloseRegistryKey(key) != kRegistrySuccess) {
                    ++failures[t];
                }
            }
        });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    EXPECT_EQ(failures, std::vector<int>(kThreads, 0));

    RegistryKey shared = OpenPreset();
    for (int t = 0; t < kThreads; ++t) {
        for (const char* field : fields) {
            EXPECT_EQ(QueryWhole(shared, ("T" + std::to_string(t) + field).c_str()).data,
                      Int32Bytes(kSaves - 1))
                << t << field;
        }
        const std::string ownKey = "Software\\Vornak\\Thread" + std::to_string(t);
        RegistryKey own = nullptr;
        ASSERT_EQ(OpenRegistryKey(kCurrentUser, ownKey.c_str(), kRegistryKeyRead, &own),
                  kRegistrySuccess);
        for (int s = 0; s < kSaves; ++s) {
            EXPECT_EQ(QueryWhole(own, ("Save" + std::to_string(s)).c_str()).data, Int32Bytes(s * t))
                << t << " save " << s;
        }
        EXPECT_EQ(CloseRegistryKey(own), kRegistrySuccess);
    }
    EXPECT_EQ(CloseRegistryKey(shared), kRegistrySuccess);
}

}  // namespace
}  // namespace flanger::platform::test
