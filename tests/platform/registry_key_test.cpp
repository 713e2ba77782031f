// Keys of the registry: path matching and spelling, predefined roots, handles that are not
// keys, access rights and the listing of sub-keys.
#include <gtest/gtest.h>
#ifndef _WIN32
#include <unistd.h>
#endif

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/registry.h"
#include "registry_test_support.h"

namespace flanger::platform::test {
namespace {

const RegistryKey kCurrentUser = FLANGER_HKEY_CURRENT_USER;

// The names of the keys directly below `path` (below HKEY_CURRENT_USER), in listing order; a
// failure when the key cannot be opened or listed.
std::vector<std::string> SubKeys(const char* path) {
    std::vector<std::string> names;
    RegistryKey key = nullptr;
    const long opened = OpenRegistryKey(kCurrentUser, path, kRegistryKeyRead, &key);
    EXPECT_EQ(opened, kRegistrySuccess) << path;
    if (opened != kRegistrySuccess) {
        return names;
    }
    for (std::uint32_t index = 0;; ++index) {
        char name[kRegistryMaxKeyNameLength + 1];
        std::uint32_t size = sizeof name;
        const long result = EnumRegistrySubKey(key, index, name, &size);
        if (result != kRegistrySuccess) {
            EXPECT_EQ(result, kRegistryNoMoreItems) << path << " index " << index;
            break;
        }
        names.emplace_back(name, size);
    }
    EXPECT_EQ(CloseRegistryKey(key), kRegistrySuccess);
    return names;
}

class RegistryKeyTest : public ::testing::Test {
protected:
    RegistryScratch Scratch;
};

TEST_F(RegistryKeyTest, PathsMatchWithoutRegardToAsciiCase) {
    ASSERT_EQ(SaveValues(kCurrentUser, "Software\\Vornak\\Flanger", {{"Marker", Int32Bytes(7)}}),
              kRegistrySuccess);
    const struct {
        const char* path;
        long result;
        bool hasMarker;  // the key is the one that holds the value
    } cases[] = {
        {"Software\\Vornak\\Flanger", kRegistrySuccess, true},
        {"SOFTWARE\\vornak\\FLANGER", kRegistrySuccess, true},
        {"sOfTwArE\\VoRnAk\\fLaNgEr\\", kRegistrySuccess, true},  // one trailing backslash
        {"Software\\Vornak", kRegistrySuccess, false},
        {"Software\\Vornak\\Flanger\\Deeper", kRegistryFileNotFound, false},
        {"Software\\Vornak\\Flange", kRegistryFileNotFound, false},
        {"Software\\Vornak\\Flanger ", kRegistryFileNotFound, false},
        {"Software\\Vornák\\Flanger", kRegistryFileNotFound, false},
        {"Software/Vornak/Flanger", kRegistryFileNotFound, false},
        {"\\Software\\Vornak\\Flanger", kRegistryBadPathName, false},
        {"\\", kRegistryBadPathName, false},
        {"Software\\\\Vornak\\Flanger", kRegistryBadPathName, false},
        {"Software\\Vornak\\Flanger\\\\", kRegistryBadPathName, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path);
        RegistryKey key = reinterpret_cast<RegistryKey>(std::intptr_t{0x5A5A});
        ASSERT_EQ(OpenRegistryKey(kCurrentUser, c.path, kRegistryKeyRead, &key), c.result);
        if (c.result != kRegistrySuccess) {
            EXPECT_EQ(key, nullptr);
            continue;
        }
        const QueriedValue marker = QueryWhole(key, "Marker");
        EXPECT_EQ(marker.result, c.hasMarker ? kRegistrySuccess : kRegistryFileNotFound);
        if (c.hasMarker) {
            EXPECT_EQ(marker.data, Int32Bytes(7));
        }
        EXPECT_EQ(CloseRegistryKey(key), kRegistrySuccess);
    }
    // Creating under a path that is refused makes nothing either.
    RegistryKey key = nullptr;
    EXPECT_EQ(CreateRegistryKey(kCurrentUser, "\\Software\\Other", kRegistryKeyWrite, &key),
              kRegistryBadPathName);
    EXPECT_EQ(CreateRegistryKey(kCurrentUser, "Software\\\\Other", kRegistryKeyWrite, &key),
              kRegistryBadPathName);
    EXPECT_EQ(SubKeys("Software"), std::vector<std::string>{"Vornak"});
}

TEST_F(RegistryKeyTest, CreatingKeepsTheFirstSpellingAndMakesNoDuplicate) {
    const char* creations[] = {
        "Software\\Vornak\\Flanger",
        "SOFTWARE\\VORNAK\\FLANGER",
        "software\\vornak\\flanger\\Presets",
        "Software\\VORNAK\\Flanger\\PRESETS\\",
#ifndef _WIN32
        // Letters beyond ASCII are not folded: two keys. (On Windows such names pass through the
        // ANSI code page, and the system's case rules and order apply.)
        "Software\\Vornak\\\xC3\x84",
        "Software\\Vornak\\\xC3\xA4",
#endif
    };
    for (const char* path : creations) {
        SCOPED_TRACE(path);
        RegistryKey key = nullptr;
        ASSERT_EQ(CreateRegistryKey(kCurrentUser, path, kRegistryKeyWrite, &key), kRegistrySuccess);
        EXPECT_EQ(CloseRegistryKey(key), kRegistrySuccess);
    }
    const struct {
        const char* path;
        std::vector<std::string> subKeys;
    } expected[] = {
        {"", {"Software"}},
        {"Software", {"Vornak"}},
#ifdef _WIN32
        {"software\\vornak", {"Flanger"}},
#else
        {"software\\vornak", {"Flanger", "\xC3\x84", "\xC3\xA4"}},
#endif
        {"Software\\Vornak\\Flanger", {"Presets"}},
        {"Software\\Vornak\\Flanger\\Presets", {}},
    };
    for (const auto& e : expected) {
        SCOPED_TRACE(e.path);
        EXPECT_EQ(SubKeys(e.path), e.subKeys);
    }
    // A value saved through the other spelling is in the same key.
    ASSERT_EQ(SaveValues(kCurrentUser, "SOFTWARE\\VORNAK\\FLANGER", {{"Depth", Int32Bytes(90)}}),
              kRegistrySuccess);
    RegistryKey key = nullptr;
    ASSERT_EQ(OpenRegistryKey(kCurrentUser, "Software\\Vornak\\Flanger", kRegistryKeyRead, &key),
              kRegistrySuccess);
    EXPECT_EQ(QueryWhole(key, "Depth").data, Int32Bytes(90));
    EXPECT_EQ(CloseRegistryKey(key), kRegistrySuccess);
}

TEST_F(RegistryKeyTest, KeysBelowAnOpenKeyAndEmptyPathsOpenTheKeyAnew) {
    RegistryKey vornak = nullptr;
    ASSERT_EQ(CreateRegistryKey(kCurrentUser, "Software\\Vornak", kRegistryKeyAllAccess, &vornak),
              kRegistrySuccess);
    RegistryKey flanger = nullptr;
    ASSERT_EQ(CreateRegistryKey(vornak, "Flanger\\Presets", kRegistryKeyAllAccess, &flanger),
              kRegistrySuccess);
    ASSERT_EQ(SetRegistryValue(flanger, "Speed", kRegistryTypeNone, Int32Bytes(10).data(), 4),
              kRegistrySuccess);
    ASSERT_EQ(CloseRegistryKey(flanger), kRegistrySuccess);
    ASSERT_EQ(
        SetRegistryValue(kCurrentUser, "AtTheRoot", kRegistryTypeDword, Int32Bytes(3).data(), 4),
        kRegistrySuccess);

    const struct {
        RegistryKey parent;
        const char* path;
        const char* valueName;
        std::int32_t value;
    } cases[] = {
        {vornak, "flanger\\presets", "Speed", 10},
        {vornak, "Flanger\\Presets\\", "Speed", 10},
        {kCurrentUser, "", "AtTheRoot", 3},
        {kCurrentUser, nullptr, "AtTheRoot", 3},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path != nullptr ? c.path : "(null)");
        RegistryKey key = nullptr;
        ASSERT_EQ(OpenRegistryKey(c.parent, c.path, kRegistryKeyRead, &key), kRegistrySuccess);
#ifdef _WIN32
        // For a predefined root and an empty path the system gives the root itself back.
        if (c.parent == kCurrentUser) {
            EXPECT_EQ(key, c.parent);
        } else {
            EXPECT_NE(key, c.parent);
        }
#else
        EXPECT_NE(key, c.parent);
#endif
        EXPECT_EQ(QueryWhole(key, c.valueName).data, Int32Bytes(c.value));
        EXPECT_EQ(CloseRegistryKey(key), kRegistrySuccess);
    }

    // An empty path gives a second handle of the same key; each closes on its own.
    for (const char* empty : {"", static_cast<const char*>(nullptr)}) {
        RegistryKey again = nullptr;
        ASSERT_EQ(OpenRegistryKey(vornak, empty, kRegistryKeyRead, &again), kRegistrySuccess);
        ASSERT_NE(again, vornak);
        EXPECT_EQ(CloseRegistryKey(again), kRegistrySuccess);
        RegistryKey child = nullptr;
        EXPECT_EQ(OpenRegistryKey(vornak, "Flanger", kRegistryKeyRead, &child), kRegistrySuccess);
        EXPECT_EQ(CloseRegistryKey(child), kRegistrySuccess);
    }
    EXPECT_EQ(CloseRegistryKey(vornak), kRegistrySuccess);
}

TEST_F(RegistryKeyTest, RootsHaveTheWindowsNumbersAndClosingOneDoesNothing) {
    const struct {
        RegistryKey root;
        std::uint32_t number;
    } roots[] = {
        {kRegistryClassesRoot, 0x80000000u},   {kRegistryCurrentUser, 0x80000001u},
        {kRegistryLocalMachine, 0x80000002u},  {kRegistryUsers, 0x80000003u},
        {kRegistryCurrentConfig, 0x80000005u},
    };
    for (const auto& r : roots) {
        SCOPED_TRACE(r.number);
        // Sign-extended on 64-bit targets, as the system's handles are.
        EXPECT_EQ(r.root, reinterpret_cast<RegistryKey>(
                              static_cast<std::intptr_t>(static_cast<std::int32_t>(r.number))));
        EXPECT_EQ(CloseRegistryKey(r.root), kRegistrySuccess);
    }
    ASSERT_EQ(SaveValues(kCurrentUser, "Software\\Vornak", {{"Depth", Int32Bytes(90)}}),
              kRegistrySuccess);
    EXPECT_EQ(CloseRegistryKey(kCurrentUser), kRegistrySuccess);
    RegistryKey key = nullptr;
    ASSERT_EQ(OpenRegistryKey(kCurrentUser, "Software\\Vornak", kRegistryKeyRead, &key),
              kRegistrySuccess);
    EXPECT_EQ(QueryWhole(key, "Depth").data, Int32Bytes(90));
    EXPECT_EQ(CloseRegistryKey(key), kRegistrySuccess);
}

#ifndef _WIN32
// Our store's own layout. On Windows HKEY_CLASSES_ROOT and HKEY_CURRENT_CONFIG are views into the
// other roots, and writing below the machine's roots is a matter of the system's permissions.
TEST_F(RegistryKeyTest, EachPredefinedRootIsATreeOfItsOwn) {
    const RegistryKey roots[] = {kRegistryClassesRoot, kRegistryCurrentUser, kRegistryLocalMachine,
                                 kRegistryUsers, kRegistryCurrentConfig};
    ASSERT_EQ(kRegistryCurrentUser,
              reinterpret_cast<RegistryKey>(static_cast<std::intptr_t>(-0x7FFFFFFF)));
    ASSERT_EQ(kRegistryLocalMachine,
              reinterpret_cast<RegistryKey>(static_cast<std::intptr_t>(-0x7FFFFFFE)));
    for (std::int32_t i = 0; i < 5; ++i) {
        ASSERT_EQ(SaveValues(roots[i], "Software\\Vornak\\Flanger", {{"Root", Int32Bytes(i)}}),
                  kRegistrySuccess);
    }
    for (std::int32_t i = 0; i < 5; ++i) {
        SCOPED_TRACE(i);
        RegistryKey key = nullptr;
        ASSERT_EQ(OpenRegistryKey(roots[i], "software\\vornak\\flanger", kRegistryKeyRead, &key),
                  kRegistrySuccess);
        EXPECT_EQ(QueryWhole(key, "Root").data, Int32Bytes(i));
        EXPECT_EQ(CloseRegistryKey(key), kRegistrySuccess);
        // Closing a predefined root does nothing: it stays usable.
        EXPECT_EQ(CloseRegistryKey(roots[i]), kRegistrySuccess);
        ASSERT_EQ(OpenRegistryKey(roots[i], "Software", kRegistryKeyRead, &key), kRegistrySuccess);
        EXPECT_EQ(CloseRegistryKey(key), kRegistrySuccess);
    }
    RegistryKey key = nullptr;
    ASSERT_EQ(
        CreateRegistryKey(kRegistryLocalMachine, "OnlyInLocalMachine", kRegistryKeyWrite, &key),
        kRegistrySuccess);
    EXPECT_EQ(CloseRegistryKey(key), kRegistrySuccess);
    EXPECT_EQ(OpenRegistryKey(kRegistryCurrentUser, "OnlyInLocalMachine", kRegistryKeyRead, &key),
              kRegistryFileNotFound);
}
#endif

TEST_F(RegistryKeyTest, AnythingButAnOpenKeyIsAnInvalidHandle) {
    RegistryKey closed = nullptr;
    ASSERT_EQ(CreateRegistryKey(kCurrentUser, "Software\\Vornak", kRegistryKeyAllAccess, &closed),
              kRegistrySuccess);
    RegistryKey live = nullptr;
#ifdef _WIN32
    // The system may give a closed handle's number to the next key opened, so the live key is
    // opened first.
    ASSERT_EQ(OpenRegistryKey(kCurrentUser, "Software\\Vornak", kRegistryKeyAllAccess, &live),
              kRegistrySuccess);
    ASSERT_EQ(CloseRegistryKey(closed), kRegistrySuccess);
#else
    ASSERT_EQ(CloseRegistryKey(closed), kRegistrySuccess);
    // A handle opened later does not revive the closed one.
    ASSERT_EQ(OpenRegistryKey(kCurrentUser, "Software\\Vornak", kRegistryKeyAllAccess, &live),
              kRegistrySuccess);
#endif
    ASSERT_NE(live, closed);

    int onTheStack = 0;
    std::vector<std::pair<const char*, RegistryKey>> handles = {
        {"null", nullptr},
        {"closed", closed},
        {"made up", reinterpret_cast<RegistryKey>(std::intptr_t{0x12345679})},
        {"an address", &onTheStack},
        {"all ones", reinterpret_cast<RegistryKey>(std::intptr_t{-1})},
        {"HKEY_PERFORMANCE_DATA", reinterpret_cast<RegistryKey>(static_cast<std::intptr_t>(
                                      static_cast<std::int32_t>(0x80000004u)))},
        {"HKEY_DYN_DATA", reinterpret_cast<RegistryKey>(
                              static_cast<std::intptr_t>(static_cast<std::int32_t>(0x80000006u)))},
        {"HKEY_CURRENT_USER_LOCAL_SETTINGS",
         reinterpret_cast<RegistryKey>(
             static_cast<std::intptr_t>(static_cast<std::int32_t>(0x80000007u)))},
        {"HKEY_PERFORMANCE_TEXT", reinterpret_cast<RegistryKey>(static_cast<std::intptr_t>(
                                      static_cast<std::int32_t>(0x80000050u)))},
    };
    if (sizeof(void*) == 8) {
        // 64-bit Windows sign-extends the root handles; the zero-extended number is no root.
        handles.emplace_back("HKCU zero-extended",
                             reinterpret_cast<RegistryKey>(std::uintptr_t{0x80000001u}));
    }
    for (const auto& [label, handle] : handles) {
        SCOPED_TRACE(label);
        RegistryKey result = live;
        EXPECT_EQ(OpenRegistryKey(handle, "Software", kRegistryKeyRead, &result),
                  kRegistryInvalidHandle);
        EXPECT_EQ(result, nullptr);
        result = live;
        EXPECT_EQ(CreateRegistryKey(handle, "Software", kRegistryKeyWrite, &result),
                  kRegistryInvalidHandle);
        EXPECT_EQ(result, nullptr);
        std::uint32_t size = 4;
        unsigned char data[4] = {};
        EXPECT_EQ(QueryRegistryValue(handle, "Depth", nullptr, data, &size),
                  kRegistryInvalidHandle);
        EXPECT_EQ(SetRegistryValue(handle, "Depth", kRegistryTypeNone, data, 4),
                  kRegistryInvalidHandle);
        char name[16];
        size = sizeof name;
        EXPECT_EQ(EnumRegistrySubKey(handle, 0, name, &size), kRegistryInvalidHandle);
        EXPECT_EQ(CloseRegistryKey(handle), kRegistryInvalidHandle);
    }
    EXPECT_EQ(CloseRegistryKey(live), kRegistrySuccess);
    EXPECT_EQ(CloseRegistryKey(live), kRegistryInvalidHandle);

    RegistryKey* noResult = nullptr;
    EXPECT_EQ(OpenRegistryKey(kCurrentUser, "Software", kRegistryKeyRead, noResult),
              kRegistryInvalidParameter);
#ifndef _WIN32  // the Windows layer gives kRegistryInvalidParameter here for now
    EXPECT_EQ(CreateRegistryKey(kCurrentUser, "Software", kRegistryKeyWrite, noResult),
              kRegistryBadKey);
#endif
}

TEST_F(RegistryKeyTest, AKeyAllowsOnlyTheCallsItsRightsName) {
    ASSERT_EQ(SaveValues(kCurrentUser, "Software\\Vornak", {{"Stored", Int32Bytes(2)}}),
              kRegistrySuccess);
    ASSERT_EQ(SaveValues(kCurrentUser, "Software\\Vornak\\Existing", {{"Stored", Int32Bytes(1)}}),
              kRegistrySuccess);
    constexpr long ok = kRegistrySuccess;
    constexpr long denied = kRegistryAccessDenied;
    const struct {
        const char* label;
        std::uint32_t access;
        long query, set, enumerate, createNew;
    } cases[] = {
        {"KEY_READ", kRegistryKeyRead, ok, denied, ok, denied},
        {"KEY_WRITE", kRegistryKeyWrite, denied, ok, denied, ok},
        {"KEY_ALL_ACCESS", kRegistryKeyAllAccess, ok, ok, ok, ok},
        {"no rights", 0, denied, denied, denied, denied},
        {"KEY_QUERY_VALUE", kRegistryQueryValue, ok, denied, denied, denied},
        {"KEY_SET_VALUE", kRegistrySetValue, denied, ok, denied, denied},
        {"KEY_CREATE_SUB_KEY", kRegistryCreateSubKey, denied, denied, denied, ok},
        {"GENERIC_READ", 0x80000000u, ok, denied, ok, denied},
        {"GENERIC_WRITE", 0x40000000u, denied, ok, denied, ok},
        {"GENERIC_ALL", 0x10000000u, ok, ok, ok, ok},
        {"MAXIMUM_ALLOWED", 0x02000000u, ok, ok, ok, ok},
    };
    int caseNumber = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        const std::string valueName = "Written" + std::to_string(caseNumber);
        const std::string newKey = "New" + std::to_string(caseNumber++);
        RegistryKey vornak = nullptr;
        ASSERT_EQ(OpenRegistryKey(kCurrentUser, "Software\\Vornak", c.access, &vornak), ok);

        std::uint32_t size = 4;
        unsigned char data[4] = {};
        EXPECT_EQ(QueryRegistryValue(vornak, "Stored", nullptr, data, &size), c.query);
        EXPECT_EQ(Bytes(data, data + 4), c.query == ok ? Int32Bytes(2) : Bytes(4, 0));
        EXPECT_EQ(SetRegistryValue(vornak, valueName.c_str(), kRegistryTypeNone, data, 4), c.set);
        char name[32];
        size = sizeof name;
        EXPECT_EQ(EnumRegistrySubKey(vornak, 0, name, &size), c.enumerate);
        // Opening an existing key below needs no right of the parent; making one does.
        RegistryKey child = nullptr;
        EXPECT_EQ(CreateRegistryKey(vornak, "EXISTING", kRegistryKeyAllAccess, &child), ok);
        EXPECT_EQ(QueryWhole(child, "Stored").data, Int32Bytes(1));
        EXPECT_EQ(CloseRegistryKey(child), ok);
        EXPECT_EQ(CreateRegistryKey(vornak, newKey.c_str(), kRegistryKeyRead, &child), c.createNew);
        if (c.createNew == ok) {
            EXPECT_EQ(CloseRegistryKey(child), ok);
        }
        EXPECT_EQ(CloseRegistryKey(vornak), ok);

        // What was refused left no trace.
        RegistryKey reader = nullptr;
        ASSERT_EQ(OpenRegistryKey(kCurrentUser, "Software\\Vornak", kRegistryKeyRead, &reader), ok);
        EXPECT_EQ(QueryWhole(reader, valueName.c_str()).result,
                  c.set == ok ? ok : kRegistryFileNotFound);
        EXPECT_EQ(OpenRegistryKey(reader, newKey.c_str(), kRegistryKeyRead, &child),
                  c.createNew == ok ? ok : kRegistryFileNotFound);
        if (c.createNew == ok) {
            EXPECT_EQ(CloseRegistryKey(child), ok);
        }
        EXPECT_EQ(CloseRegistryKey(reader), ok);
    }
}

TEST_F(RegistryKeyTest, ListingGivesNamesInOrderAndRefusesSmallBuffers) {
    for (const char* path : {"Software\\Beta", "Software\\alpha", "Software\\Gamma"}) {
        RegistryKey key = nullptr;
        ASSERT_EQ(CreateRegistryKey(kCurrentUser, path, kRegistryKeyWrite, &key), kRegistrySuccess);
        ASSERT_EQ(CloseRegistryKey(key), kRegistrySuccess);
    }
    RegistryKey software = nullptr;
    ASSERT_EQ(OpenRegistryKey(kCurrentUser, "Software", kRegistryKeyRead, &software),
              kRegistrySuccess);
    const struct {
        std::uint32_t index;
        std::uint32_t capacity;
        long result;
        std::uint32_t sizeAfter;
        const char* name;  // what the buffer holds after the call
    } cases[] = {
        {0, 6, kRegistrySuccess, 5, "alpha"},
        {1, 5, kRegistrySuccess, 4, "Beta"},
        {2, 64, kRegistrySuccess, 5, "Gamma"},
        {2, 5, kRegistryMoreData, 6, "#######"},  // no room for the NUL: untouched
        {0, 0, kRegistryMoreData, 6, "#######"},
        {3, 64, kRegistryNoMoreItems, 64, "#######"},
        {4000000000u, 64, kRegistryNoMoreItems, 64, "#######"},
        {0xFFFFFFFFu, 64, kRegistryNoMoreItems, 64, "#######"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "index " << c.index << " capacity " << c.capacity);
        char buffer[64] = "#######";
        std::uint32_t size = c.capacity;
        EXPECT_EQ(EnumRegistrySubKey(software, c.index, buffer, &size), c.result);
        EXPECT_EQ(size, c.sizeAfter);
        EXPECT_STREQ(buffer, c.name);
    }
    std::uint32_t size = 64;
    EXPECT_EQ(EnumRegistrySubKey(software, 0, nullptr, &size), kRegistryInvalidParameter);
    char buffer[8];
    EXPECT_EQ(EnumRegistrySubKey(software, 0, buffer, nullptr), kRegistryInvalidParameter);
    EXPECT_EQ(CloseRegistryKey(software), kRegistrySuccess);
}

TEST_F(RegistryKeyTest, KeyNamesAreStoredAsGivenUpToTheLimits) {
    const std::string longest(kRegistryMaxKeyNameLength, 'k');
    std::string deepest = "d";
    for (std::size_t i = 1; i < kRegistryMaxKeyDepth; ++i) {
        deepest += "\\d";
    }
    const struct {
        const char* label;
        std::string path;
        long result;
    } cases[] = {
        {"quotes", "Robert'); DROP TABLE registry_key;--", kRegistrySuccess},
        {"double quotes", "\"quoted\" and 'single'", kRegistrySuccess},
        {"format and wildcards", "%s%n%% _ * ?", kRegistrySuccess},
        {"control and high bytes", "\x01\x1F\x7F\x80\xFF", kRegistrySuccess},
        {"longest name", longest, kRegistrySuccess},
        {"name one too long", longest + "k", kRegistryInvalidParameter},
        {"deepest path", deepest, kRegistrySuccess},
        {"path one too deep", deepest + "\\d", kRegistryInvalidParameter},
    };
    std::vector<std::string> stored;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        // Below an open key, so that the depth limit counts the names of this path alone.
        RegistryKey parent = nullptr;
        ASSERT_EQ(CreateRegistryKey(kCurrentUser, "Hostile", kRegistryKeyAllAccess, &parent),
                  kRegistrySuccess);
        RegistryKey key = nullptr;
        EXPECT_EQ(CreateRegistryKey(parent, c.path.c_str(), kRegistryKeyWrite, &key), c.result);
        if (key != nullptr) {
            EXPECT_EQ(CloseRegistryKey(key), kRegistrySuccess);
        }
        EXPECT_EQ(OpenRegistryKey(parent, c.path.c_str(), kRegistryKeyRead, &key), c.result);
        if (key != nullptr) {
            EXPECT_EQ(CloseRegistryKey(key), kRegistrySuccess);
        }
        EXPECT_EQ(CloseRegistryKey(parent), kRegistrySuccess);
        if (c.result == kRegistrySuccess) {
            stored.push_back(c.path.substr(0, c.path.find('\\')));
        }
    }
    std::sort(stored.begin(), stored.end(), [](const std::string& a, const std::string& b) {
        // The store's order: ASCII letters folded, then bytes.
        std::string x = a, y = b;
        for (char& ch : x) ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
        for (char& ch : y) ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
        return x < y;
    });
    EXPECT_EQ(SubKeys("Hostile"), stored);
}

#ifndef _WIN32
// Our store's database file, made only by a write; the system's registry always exists.
TEST_F(RegistryKeyTest, ReadsOfAStoreThatDoesNotExistFindNothingAndMakeNothing) {
    RegistryKey key = nullptr;
    EXPECT_EQ(OpenRegistryKey(kCurrentUser, "Software", kRegistryKeyRead, &key),
              kRegistryFileNotFound);
    EXPECT_EQ(OpenRegistryKey(kCurrentUser, nullptr, kRegistryKeyRead, &key),
              kRegistryFileNotFound);
    std::uint32_t size = 0;
    EXPECT_EQ(QueryRegistryValue(kCurrentUser, "Depth", nullptr, nullptr, &size),
              kRegistryFileNotFound);
    char name[8];
    size = sizeof name;
    EXPECT_EQ(EnumRegistrySubKey(kCurrentUser, 0, name, &size), kRegistryNoMoreItems);
    EXPECT_EQ(ReadFileBytes(Scratch.Database()), "");
    EXPECT_NE(access(Scratch.Database().c_str(), F_OK), 0);
}
#endif

}  // namespace
}  // namespace flanger::platform::test
