// Processes sharing one registry database: a preset saved through a key appears whole when the
// key closes, and processes that save at once lose nothing.
//
// Children report through their exit status: 0, or the number of the step that went wrong. The
// parent holds no key open when it forks, as SQLite requires.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/registry.h"
#include "registry_test_support.h"

namespace flanger::platform::test {
namespace {

const RegistryKey kCurrentUser = FLANGER_HKEY_CURRENT_USER;
constexpr const char* kFields[] = {"Depth", "Delay", "Width", "Sine", "Feedback", "Speed"};

class RegistryProcessTest : public ::testing::Test {
protected:
    RegistryScratch Scratch;
};

// The six values of a preset whose names start with `prefix`, read one after the other in the
// order a save sets them: each value's number, kAbsent when it is missing, kUnreadable when it
// cannot be read or has not 4 bytes.
constexpr std::int64_t kAbsent = -1;
constexpr std::int64_t kUnreadable = -2;

std::vector<std::int64_t> ReadPreset(RegistryKey key, const std::string& prefix) {
    std::vector<std::int64_t> numbers;
    for (const char* field : kFields) {
        const QueriedValue value = QueryWhole(key, (prefix + field).c_str());
        if (value.result == kRegistryFileNotFound) {
            numbers.push_back(kAbsent);
        } else if (value.result != kRegistrySuccess || value.data.size() != 4) {
            numbers.push_back(kUnreadable);
        } else {
            numbers.push_back(
                static_cast<std::int32_t>(value.data[0] | value.data[1] << 8 | value.data[2] << 16 |
                                          static_cast<std::uint32_t>(value.data[3]) << 24));
        }
    }
    return numbers;
}

TEST_F(RegistryProcessTest, AKeysValuesAppearTogetherWhenItIsClosed) {
    const struct {
        const char* label;
        bool closes;  // or the process ends with the key still open
    } cases[] = {{"closed", true}, {"never closed", false}};
    int caseNumber = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        const std::string path = "Software\\Vornak\\Pending" + std::to_string(caseNumber++);
        ProcessSignal valuesSet;
        ProcessSignal mayClose;
        const pid_t writer = StartChild([&] {
            valuesSet.BecomeNotifier();
            mayClose.BecomeWaiter();
            RegistryKey key = nullptr;
            if (CreateRegistryKey(kCurrentUser, path.c_str(), kRegistryKeyWrite, &key) !=
                kRegistrySuccess) {
                return 1;
            }
            for (const char* field : kFields) {
                if (SetRegistryValue(key, field, kRegistryTypeNone, Int32Bytes(42).data(), 4) !=
                    kRegistrySuccess) {
                    return 2;
                }
            }
            valuesSet.Notify();
            if (!mayClose.Wait()) {
                return 3;
            }
            if (c.closes && CloseRegistryKey(key) != kRegistrySuccess) {
                return 4;
            }
            return 0;
        });
        ASSERT_GT(writer, 0);
        valuesSet.BecomeWaiter();
        mayClose.BecomeNotifier();
        ASSERT_TRUE(valuesSet.Wait());

        // The key is there at once; its values are not.
        RegistryKey key = nullptr;
        EXPECT_EQ(OpenRegistryKey(kCurrentUser, path.c_str(), kRegistryKeyRead, &key),
                  kRegistrySuccess);
        EXPECT_EQ(ReadPreset(key, ""), std::vector<std::int64_t>(6, kAbsent));
        EXPECT_EQ(CloseRegistryKey(key), kRegistrySuccess);

        mayClose.Notify();
        ASSERT_EQ(ChildStatus(writer), 0);
        ASSERT_EQ(OpenRegistryKey(kCurrentUser, path.c_str(), kRegistryKeyRead, &key),
                  kRegistrySuccess);
        EXPECT_EQ(ReadPreset(key, ""), std::vector<std::int64_t>(6, c.closes ? 42 : kAbsent));
        EXPECT_EQ(CloseRegistryKey(key), kRegistrySuccess);
    }
}

// Writers save their six values to one shared key and a log of saves to a key of their own,
// many times. Meanwhile a reader reads each writer's six values in the order a save sets them.
// Saves that arrive whole can only show the reader numbers that never fall along that order
// (a later value may come from a later save); a save that arrived value by value would show an
// early value of the new save before a later value of the old one.
TEST_F(RegistryProcessTest, ProcessesSavingAtOnceLoseNothingAndNeverShowHalfAPreset) {
    constexpr int kWriters = 4;
    constexpr int kSaves = 25;
    constexpr const char* kShared = "Software\\Vornak\\Shared";
    const auto writerKey = [](int w) { return "Software\\Vornak\\Writer" + std::to_string(w); };

    std::vector<pid_t> writers;
    for (int w = 0; w < kWriters; ++w) {
        writers.push_back(StartChild([&, w] {
            const std::string prefix = "W" + std::to_string(w);
            for (int s = 0; s < kSaves; ++s) {
                std::vector<std::pair<std::string, Bytes>> preset;
                for (const char* field : kFields) {
                    preset.emplace_back(prefix + field, Int32Bytes(s));
                }
                if (SaveValues(kCurrentUser, kShared, preset) != kRegistrySuccess) {
                    return 1;
                }
                if (SaveValues(kCurrentUser, writerKey(w).c_str(),
                               {{"Save" + std::to_string(s), Int32Bytes(s * 1000 + w)}}) !=
                    kRegistrySuccess) {
                    return 2;
                }
            }
            return 0;
        }));
    }
    const pid_t reader = StartChild([&] {
        // Until every writer's last save shows; each writer finishes, so this ends.
        while (true) {
            RegistryKey key = nullptr;
            const long opened = OpenRegistryKey(kCurrentUser, kShared, kRegistryKeyRead, &key);
            if (opened == kRegistryFileNotFound) {
                usleep(1000);  // no writer has created it yet
                continue;
            }
            if (opened != kRegistrySuccess) {
                return 1;
            }
            int finished = 0;
            for (int w = 0; w < kWriters; ++w) {
                const std::vector<std::int64_t> numbers = ReadPreset(key, "W" + std::to_string(w));
                if (!std::is_sorted(numbers.begin(), numbers.end()) ||
                    numbers.front() == kUnreadable) {
                    return 2;
                }
                finished += numbers.front() == kSaves - 1 ? 1 : 0;
            }
            if (CloseRegistryKey(key) != kRegistrySuccess) {
                return 3;
            }
            if (finished == kWriters) {
                return 0;
            }
        }
    });
    bool writersSucceeded = true;
    for (const pid_t writer : writers) {
        const int status = ChildStatus(writer);
        EXPECT_EQ(status, 0);
        writersSucceeded = writersSucceeded && status == 0;
    }
    if (!writersSucceeded) {
        kill(reader, SIGKILL);  // it would wait for saves that never come
    }
    EXPECT_EQ(ChildStatus(reader), 0);

    RegistryKey shared = nullptr;
    ASSERT_EQ(OpenRegistryKey(kCurrentUser, kShared, kRegistryKeyRead, &shared), kRegistrySuccess);
    for (int w = 0; w < kWriters; ++w) {
        SCOPED_TRACE(w);
        EXPECT_EQ(ReadPreset(shared, "W" + std::to_string(w)),
                  std::vector<std::int64_t>(6, kSaves - 1));
        RegistryKey own = nullptr;
        ASSERT_EQ(OpenRegistryKey(kCurrentUser, writerKey(w).c_str(), kRegistryKeyRead, &own),
                  kRegistrySuccess);
        for (int s = 0; s < kSaves; ++s) {
            EXPECT_EQ(QueryWhole(own, ("Save" + std::to_string(s)).c_str()).data,
                      Int32Bytes(s * 1000 + w))
                << "save " << s;
        }
        EXPECT_EQ(CloseRegistryKey(own), kRegistrySuccess);
    }
    EXPECT_EQ(CloseRegistryKey(shared), kRegistrySuccess);

    // The writers all made the shared key at once: it exists once.
    RegistryKey vornak = nullptr;
    ASSERT_EQ(OpenRegistryKey(kCurrentUser, "Software\\Vornak", kRegistryKeyRead, &vornak),
              kRegistrySuccess);
    std::vector<std::string> names;
    char name[64];
    std::uint32_t size = sizeof name;
    for (std::uint32_t i = 0; EnumRegistrySubKey(vornak, i, name, &size) == kRegistrySuccess;
         ++i, size = sizeof name) {
        names.emplace_back(name, size);
    }
    EXPECT_EQ(names,
              (std::vector<std::string>{"Shared", "Writer0", "Writer1", "Writer2", "Writer3"}));
    EXPECT_EQ(CloseRegistryKey(vornak), kRegistrySuccess);
}

}  // namespace
}  // namespace flanger::platform::test
