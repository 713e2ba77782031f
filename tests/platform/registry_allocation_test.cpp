// The registry calls when memory runs out: each allocation of a call is made to fail in turn,
// and the call must answer with a result (never let std::bad_alloc through its C boundary) and
// leave its key and the store in working order.
//
// This program replaces the global operator new in all its plain forms (the sanitizers bring
// their own otherwise, whose blocks these deletes could not free), so it is a program of its own.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <functional>
#include <new>
#include <string>

#include "platform/registry.h"
#include "registry_test_support.h"

namespace {

// How many more allocations succeed; negative: all of them.
std::atomic<long> allocationsLeft{-1};

}  // namespace

void* operator new(std::size_t size) {
    long left = allocationsLeft.load();
    while (left >= 0) {
        if (left == 0) {
            throw std::bad_alloc();  // and every allocation after it, until disarmed
        }
        if (allocationsLeft.compare_exchange_weak(left, left - 1)) {
            break;
        }
    }
    if (void* block = std::malloc(size != 0 ? size : 1)) {
        return block;
    }
    throw std::bad_alloc();
}

void* operator new[](std::size_t size) { return operator new(size); }

void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
    try {
        return operator new(size);
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}

void* operator new[](std::size_t size, const std::nothrow_t& tag) noexcept {
    return operator new(size, tag);
}

// GCC cannot see that these deletes pair with the new above, which takes its blocks from
// malloc, and would warn at every inlined new/delete pair.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
void operator delete(void* block) noexcept { std::free(block); }
void operator delete(void* block, std::size_t) noexcept { std::free(block); }
void operator delete(void* block, const std::nothrow_t&) noexcept { std::free(block); }
void operator delete[](void* block) noexcept { std::free(block); }
void operator delete[](void* block, std::size_t) noexcept { std::free(block); }
void operator delete[](void* block, const std::nothrow_t&) noexcept { std::free(block); }
#pragma GCC diagnostic pop

namespace flanger::platform::test {
namespace {

const RegistryKey kCurrentUser = FLANGER_HKEY_CURRENT_USER;

// Runs `call` with the allocations after the first `allowed` failing.
long WithAllocationsFailingAfter(long allowed, const std::function<long()>& call) {
    allocationsLeft = allowed;
    const long result = call();
    allocationsLeft = -1;
    return result;
}

TEST(RegistryAllocationTest, EveryCallAnswersAndKeepsWorkingWhenMemoryRunsOut) {
    RegistryScratch scratch;
    ASSERT_EQ(SaveValues(kCurrentUser, "Software\\Vornak\\Flanger",
                         {{"Depth", Int32Bytes(90)}, {"Large", Bytes(5000, 0x5A)}}),
              kRegistrySuccess);
    RegistryKey key = nullptr;
    ASSERT_EQ(
        OpenRegistryKey(kCurrentUser, "Software\\Vornak\\Flanger", kRegistryKeyAllAccess, &key),
        kRegistrySuccess);
    const std::string longName(200, 'n');
    // A long name, so that the listing below has a name to copy that does not fit a string's
    // inline buffer.
    const std::string newPath = longName + "\\New";
    unsigned char buffer[5000];

    const struct {
        const char* label;
        std::function<long()> call;
    } calls[] = {
        {"open",
         [&] {
             RegistryKey opened = nullptr;
             const long result = OpenRegistryKey(kCurrentUser, "Software\\Vornak\\Flanger",
                                                 kRegistryKeyRead, &opened);
             if (result == kRegistrySuccess) {
                 CloseRegistryKey(opened);
             }
             return result;
         }},
        {"create",
         [&] {
             RegistryKey created = nullptr;
             const long result =
                 CreateRegistryKey(key, newPath.c_str(), kRegistryKeyWrite, &created);
             if (result == kRegistrySuccess) {
                 CloseRegistryKey(created);
             }
             return result;
         }},
        {"query",
         [&] {
             std::uint32_t size = sizeof buffer;
             return QueryRegistryValue(key, "Large", nullptr, buffer, &size);
         }},
        {"set",
         [&] {
             return SetRegistryValue(key, longName.c_str(), kRegistryTypeBinary, buffer, 4000);
         }},
        {"list",
         [&] {
             char name[256];
             std::uint32_t size = sizeof name;
             return EnumRegistrySubKey(key, 0, name, &size);
         }},
    };
    for (const auto& c : calls) {
        SCOPED_TRACE(c.label);
        int failures = 0;
        long result = kRegistryOutOfMemory;
        for (long allowed = 0; result != kRegistrySuccess && allowed < 1000; ++allowed) {
            result = WithAllocationsFailingAfter(allowed, c.call);
            ASSERT_TRUE(result == kRegistrySuccess || result == kRegistryOutOfMemory)
                << "result " << result << " with " << allowed << " allocations";
            failures += result == kRegistryOutOfMemory ? 1 : 0;
            // Whatever failed, the key still reads what it held.
            const QueriedValue depth = QueryWhole(key, "Depth");
            ASSERT_EQ(depth.result, kRegistrySuccess) << allowed;
            ASSERT_EQ(depth.data, Int32Bytes(90));
        }
        EXPECT_EQ(result, kRegistrySuccess);
        EXPECT_GT(failures, 0);  // the call does allocate, so some round must have failed
    }
    // The value set in the end is written whole at the close, and only once.
    ASSERT_EQ(CloseRegistryKey(key), kRegistrySuccess);
    ASSERT_EQ(OpenRegistryKey(kCurrentUser, "Software\\Vornak\\Flanger", kRegistryKeyRead, &key),
              kRegistrySuccess);
    const QueriedValue written = QueryWhole(key, longName.c_str());
    EXPECT_EQ(written.result, kRegistrySuccess);
    EXPECT_EQ(written.data, Bytes(buffer, buffer + 4000));
    EXPECT_EQ(QueryWhole(key, "Large").data, Bytes(5000, 0x5A));
    EXPECT_EQ(CloseRegistryKey(key), kRegistrySuccess);
}

}  // namespace
}  // namespace flanger::platform::test
