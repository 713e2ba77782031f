// Our profile and registry calls over the system's own (Wine's KERNEL32 profile functions and
// ADVAPI32 registry): the promises of profile_file.h and registry.h that the system leaves open
// or answers otherwise, kept by the checks of the Windows layer.
#include <gtest/gtest.h>
#include <windows.h>

#include <array>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>

#include "platform/profile_file.h"
#include "platform/registry.h"

namespace flanger::platform {
namespace {

// A directory of the test's own, which is also the current directory while the object lives.
class ScratchDirectory {
public:
    ScratchDirectory() {
        char base[MAX_PATH] = {};
        GetTempPathA(MAX_PATH, base);
        GetCurrentDirectoryA(MAX_PATH, previous_);
        for (unsigned attempt = 0; attempt < 100 && path_.empty(); ++attempt) {
            const std::string candidate = std::string(base) + "flanger-win32-" +
                                          std::to_string(GetCurrentProcessId()) + "-" +
                                          std::to_string(GetTickCount() + attempt);
            if (CreateDirectoryA(candidate.c_str(), nullptr)) path_ = candidate;
        }
        EXPECT_FALSE(path_.empty());
        SetCurrentDirectoryA(path_.c_str());
    }
    ~ScratchDirectory() {
        SetCurrentDirectoryA(previous_);
        std::error_code ignored;
        if (!path_.empty()) std::filesystem::remove_all(path_, ignored);
    }
    ScratchDirectory(const ScratchDirectory&) = delete;
    ScratchDirectory& operator=(const ScratchDirectory&) = delete;

    std::string File(const char* name) const { return path_ + "\\" + name; }

private:
    std::string path_;
    char previous_[MAX_PATH] = {};
};

std::optional<std::string> FileText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return std::nullopt;
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteText(const std::string& path, const char* text) {
    std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
}

// Writes that would not read back as written, or that the system would take as a deletion, are
// refused before the file is touched.
TEST(ProfileWin32Test, WritesThatWouldNotReadBackAreRefusedAndTouchNothing) {
    const ScratchDirectory directory;
    const std::string file = directory.File("presets.ini");
    constexpr char kBefore[] = "[Flanger]\r\nDepth=90\r\n";
    const struct {
        const char* label;
        const char* section;
        const char* key;
        const char* value;
    } cases[] = {
        {"null value (the system deletes the key)", "Flanger", "Depth", nullptr},
        {"null key (the system deletes the section)", "Flanger", nullptr, "1"},
        {"null section", nullptr, "Depth", "1"},
        {"blank key", "Flanger", "  ", "1"},
        {"empty section", "", "Depth", "1"},
        {"section holding ]", "Fl]anger", "Depth", "1"},
        {"key holding =", "Flanger", "De=pth", "1"},
        {"key starting with ;", "Flanger", ";Depth", "1"},
        {"key starting with [", "Flanger", "[Depth", "1"},
        {"value holding LF", "Flanger", "Depth", "1\n[Evil]"},
        {"value holding CR", "Flanger", "Depth", "1\r"},
        {"key holding LF", "Flanger", "De\npth", "1"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        WriteText(file, kBefore);
        EXPECT_FALSE(WriteProfileString(c.section, c.key, c.value, file.c_str()));
        EXPECT_EQ(FileText(file), std::optional<std::string>(kBefore));
    }
}

// File names reach the system as the caller gave them: a bare name is a file in the Windows
// folder, a name with a directory part is relative to the current directory. A null or empty
// name names no file (the system would use WIN.INI).
TEST(ProfileWin32Test, FileNamesReachTheSystemAsGiven) {
    const ScratchDirectory directory;
    char windowsFolder[MAX_PATH] = {};
    ASSERT_GT(GetWindowsDirectoryA(windowsFolder, MAX_PATH), 0u);
    ASSERT_TRUE(CreateDirectoryA(directory.File("sub").c_str(), nullptr));
    const std::string bare = "flanger-win32-" + std::to_string(GetCurrentProcessId()) + ".ini";
    const struct {
        std::string name;
        std::string file;
    } cases[] = {
        {bare, std::string(windowsFolder) + "\\" + bare},
        {".\\" + bare, directory.File(bare.c_str())},
        {"sub\\" + bare, directory.File(("sub\\" + bare).c_str())},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(WriteProfileString("Flanger", "Depth", "42", c.name.c_str()));
        EXPECT_EQ(FileText(c.file), std::optional<std::string>("[Flanger]\r\nDepth=42\r\n"));
        EXPECT_EQ(ReadProfileInt("Flanger", "Depth", -1, c.name.c_str()), 42u);
        EXPECT_TRUE(DeleteFileA(c.file.c_str()));
    }

    EXPECT_FALSE(WriteProfileString("Flanger", "Depth", "1", nullptr));
    EXPECT_FALSE(WriteProfileString("Flanger", "Depth", "1", ""));
    EXPECT_EQ(ReadProfileInt("Flanger", "Depth", 7, nullptr), 7u);
}

// Reads of a hand-written file as the header describes them.
TEST(ProfileWin32Test, ReadsGiveWhatTheHeaderPromises) {
    const ScratchDirectory directory;
    const std::string file = directory.File("read.ini");
    WriteText(file,
              "; a comment\r\n"
              "[flanger]\r\n"
              "  Depth =  \"quoted value\"  \r\n"
              "Delay=-5\r\n"
              "Width=abc\r\n"
              "Speed=\r\n"
              "delay=99\r\n"
              ";Sine=1\r\n"
              "[Flanger]\r\n"
              "Feedback=3\r\n");
    const struct {
        const char* label;
        const char* section;
        const char* key;
        const char* expected;
    } strings[] = {
        {"trimmed, quotes removed, case-insensitive names", "FLANGER", "depth", "quoted value"},
        {"first duplicate key wins", "Flanger", "Delay", "-5"},
        {"empty value", "Flanger", "Speed", ""},
        {"commented key is absent", "Flanger", "Sine", "fallback"},
        {"only the first duplicate section is searched", "Flanger", "Feedback", "fallback"},
        {"blank key gives the default", "Flanger", " ", "fallback"},
        {"null section gives the default", nullptr, "Depth", "fallback"},
    };
    for (const auto& c : strings) {
        SCOPED_TRACE(c.label);
        std::array<char, 64> buffer;
        buffer.fill('#');
        const std::size_t length = ReadProfileString(c.section, c.key, "fallback  ", buffer.data(),
                                                     buffer.size(), file.c_str());
        EXPECT_STREQ(buffer.data(), c.expected);
        EXPECT_EQ(length, std::strlen(c.expected));
    }
    EXPECT_EQ(ReadProfileInt("Flanger", "Delay", 1, file.c_str()), static_cast<std::uint32_t>(-5));
    EXPECT_EQ(ReadProfileInt("Flanger", "Width", 1, file.c_str()), 0u);
    EXPECT_EQ(ReadProfileInt("Flanger", "Speed", 17, file.c_str()), 17u);
    EXPECT_EQ(ReadProfileInt("Flanger", "Missing", -3, file.c_str()),
              static_cast<std::uint32_t>(-3));

    // Capacities: one byte holds only the NUL; the value is cut at capacity - 1.
    char one[1] = {'#'};
    EXPECT_EQ(ReadProfileString("Flanger", "Depth", "x", one, 1, file.c_str()), 0u);
    EXPECT_EQ(one[0], '\0');
    char four[4] = {};
    EXPECT_EQ(ReadProfileString("Flanger", "Depth", "x", four, 4, file.c_str()), 3u);
    EXPECT_STREQ(four, "quo");
}

// Blocks of bytes: hex digits and a checksum; anything else leaves the caller's bytes alone.
TEST(ProfileWin32Test, StructsRoundTripAndBadTextIsRefused) {
    const ScratchDirectory directory;
    const std::string file = directory.File("struct.ini");
    const std::uint8_t bytes[3] = {0x01, 0xAB, 0xFF};
    ASSERT_TRUE(WriteProfileStruct("Flanger", "Curve", bytes, sizeof bytes, file.c_str()));
    EXPECT_EQ(FileText(file), std::optional<std::string>("[Flanger]\r\nCurve=01ABFFAB\r\n"));
    std::uint8_t read[3] = {};
    ASSERT_TRUE(ReadProfileStruct("Flanger", "Curve", read, sizeof read, file.c_str()));
    EXPECT_EQ(std::memcmp(read, bytes, sizeof bytes), 0);

    const struct {
        const char* label;
        const char* text;
    } bad[] = {
        {"wrong checksum", "01ABFFAC"},
        {"not hex digits", "01ZZFFAB"},
        {"too short", "01ABAC"},
        {"too long", "01ABFF00AB"},
        {"empty", ""},
    };
    for (const auto& c : bad) {
        SCOPED_TRACE(c.label);
        ASSERT_TRUE(WriteProfileString("Flanger", "Curve", c.text, file.c_str()));
        std::uint8_t untouched[3] = {7, 7, 7};
        EXPECT_FALSE(ReadProfileStruct("Flanger", "Curve", untouched, 3, file.c_str()));
        EXPECT_EQ(untouched[0] + untouched[1] + untouched[2], 21);
    }
}

// A key of the test's own below HKEY_CURRENT_USER, deleted at the end.
class RegistryWin32Test : public ::testing::Test {
protected:
    void SetUp() override {
        path_ = "Software\\Flanger win32 test " + std::to_string(GetCurrentProcessId());
        ASSERT_EQ(
            CreateRegistryKey(kRegistryCurrentUser, path_.c_str(), kRegistryKeyAllAccess, &root),
            kRegistrySuccess);
    }
    void TearDown() override {
        CloseRegistryKey(root);
        RegDeleteTreeA(HKEY_CURRENT_USER, path_.c_str());
    }

    RegistryKey root = nullptr;

private:
    std::string path_;
};

// Failed queries leave the caller's buffer as it was, where the system may have written part of
// the value; values keep their type number and bytes.
TEST_F(RegistryWin32Test, QueriesThatFailLeaveTheBufferAlone) {
    const std::int32_t depth = -60;
    ASSERT_EQ(SetRegistryValue(root, "Depth", kRegistryTypeNone, &depth, sizeof depth),
              kRegistrySuccess);
    const std::uint8_t block[6] = {1, 2, 3, 4, 5, 6};
    ASSERT_EQ(SetRegistryValue(root, "Block", 0x12345678u, block, sizeof block), kRegistrySuccess);

    std::uint32_t type = 99;
    std::int32_t read = 0;
    std::uint32_t size = sizeof read;
    ASSERT_EQ(QueryRegistryValue(root, "depth", &type, &read, &size), kRegistrySuccess);
    EXPECT_EQ(type, kRegistryTypeNone);
    EXPECT_EQ(size, 4u);
    EXPECT_EQ(read, -60);

    std::uint8_t small[4] = {9, 9, 9, 9};
    size = sizeof small;
    type = 99;
    EXPECT_EQ(QueryRegistryValue(root, "Block", &type, small, &size), kRegistryMoreData);
    EXPECT_EQ(type, 0x12345678u);
    EXPECT_EQ(size, 6u);
    EXPECT_EQ(small[0] + small[1] + small[2] + small[3], 36) << "the buffer was written";

    type = 99;
    size = 4;
    EXPECT_EQ(QueryRegistryValue(root, "Missing", &type, small, &size), kRegistryFileNotFound);
    EXPECT_EQ(type, 99u);
    EXPECT_EQ(size, 4u);

    const std::string longName(kRegistryMaxValueNameLength + 1, 'n');
    EXPECT_EQ(SetRegistryValue(root, longName.c_str(), kRegistryTypeNone, &depth, 4),
              kRegistryInvalidParameter);
}

// Paths, opens of missing keys and enumeration.
TEST_F(RegistryWin32Test, KeysOpenCreateAndEnumerateAsDocumented) {
    RegistryKey key = reinterpret_cast<RegistryKey>(std::uintptr_t{1});
    EXPECT_EQ(OpenRegistryKey(root, "Missing", kRegistryKeyRead, &key), kRegistryFileNotFound);
    EXPECT_EQ(key, nullptr);
    EXPECT_EQ(CreateRegistryKey(root, "\\Leading", kRegistryKeyWrite, &key), kRegistryBadPathName);
    EXPECT_EQ(key, nullptr);
    EXPECT_EQ(CreateRegistryKey(root, "a\\\\b", kRegistryKeyWrite, &key), kRegistryBadPathName);
    EXPECT_EQ(CreateRegistryKey(root, std::string(256, 'k').c_str(), kRegistryKeyWrite, &key),
              kRegistryInvalidParameter);

    for (const char* name : {"Zeta\\Inner", "alpha", "Beta"}) {
        RegistryKey made = nullptr;
        ASSERT_EQ(CreateRegistryKey(root, name, kRegistryKeyWrite, &made), kRegistrySuccess);
        CloseRegistryKey(made);
    }
    std::string names;
    for (std::uint32_t index = 0;; ++index) {
        char name[32] = {};
        std::uint32_t size = sizeof name;
        const long result = EnumRegistrySubKey(root, index, name, &size);
        if (result == kRegistryNoMoreItems) break;
        ASSERT_EQ(result, kRegistrySuccess);
        EXPECT_EQ(size, std::strlen(name));
        names += std::string(name) + ";";
    }
    EXPECT_EQ(names, "alpha;Beta;Zeta;");

    char tiny[3] = {'#', '#', '#'};
    std::uint32_t size = sizeof tiny;
    EXPECT_EQ(EnumRegistrySubKey(root, 0, tiny, &size), kRegistryMoreData);
    EXPECT_EQ(size, 6u) << "the capacity alpha and its NUL need";
    EXPECT_EQ(tiny[0], '#');
}

}  // namespace
}  // namespace flanger::platform
