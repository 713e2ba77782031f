// Reading profile entries from tricky files: how lines, names and values are recognised, what
// text, integer and struct reads make of a stored value, and files that cannot be read at all.
#include <gtest/gtest.h>
#ifndef _WIN32
#include <sys/stat.h>
#endif

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/profile_file.h"
#include "profile_test_support.h"

namespace flanger::platform {
namespace {

using test::Escaped;
using test::ScratchDirectory;
using test::WriteBytes;

enum class FileKind { Bytes, Missing, Directory, Fifo };

// The default passed to text reads; reads of absent keys give it without the trailing blanks.
constexpr const char* kDefaultText = "default \t ";
constexpr std::string_view kDefaultRead = "default";

struct TextCase {
    const char* What;
    std::string_view File;
    const char* Section;
    const char* Key;
    std::string_view Expected;
    FileKind Kind = FileKind::Bytes;
};

const std::string kUtf16Little = test::Utf16File(u"[S]\r\nK=v\r\n[T]\r\nK=w\r\n", false);
// UTF-8 is the 8-bit text of our Linux profile calls; a unit that is no character reads as
// U+FFFD. (On Windows such text passes through the ANSI code page.)
const std::string kUtf16BeyondAscii =
    test::Utf16File(u"[\u00C4]\r\nK=\u00E9\U0001F600\r\nL=a\xD800!\r\n", false);

const TextCase kTextCases[] = {
    {"plain", "[S]\nK=v\n", "S", "K", "v"},
    {"names ignore case", "[sEcTiOn]\nkEy=v\n", "SECTION", "key", "v"},
    {"blanks and tabs around everything", " \t[ S ]\t\n \t K \t= \t v w \t\n", " S\t", "\tK ",
     "v w"},
    {"double quotes removed", "[S]\nK=  \"  q  \"  \n", "S", "K", "  q  "},
    {"single quotes removed", "[S]\nK='q'\n", "S", "K", "q"},
    {"one pair only", "[S]\nK=\"\"q\"\"\n", "S", "K", "\"q\""},
    {"unmatched opening quote kept", "[S]\nK=\"abc\n", "S", "K", "\"abc"},
    {"unmatched closing quote kept", "[S]\nK=abc\"\n", "S", "K", "abc\""},
    {"mixed quotes kept", "[S]\nK=\"abc'\n", "S", "K", "\"abc'"},
    {"a lone quote kept", "[S]\nK=\"\n", "S", "K", "\""},
    {"inner quotes kept", "[S]\nK=a\"b\"\n", "S", "K", "a\"b\""},
    {"empty value is not the default", "[S]\nK=\n", "S", "K", ""},
    {"blank value is empty", "[S]\nK= \t \n", "S", "K", ""},
    {"empty quotes are empty", "[S]\nK=\"\"\n", "S", "K", ""},
    {"first of duplicate keys", "[S]\nK=first\nk=second\n", "S", "K", "first"},
    {"first of duplicate sections", "[S]\nA=1\n[T]\n[s]\nA=2\n", "S", "A", "1"},
    {"later duplicate sections not searched", "[S]\nA=1\n[T]\n[s]\nB=2\n", "S", "B", kDefaultRead},
    {"comments skipped", "[S]\n;K=c\n  \t;K=d\nK=v\n", "S", "K", "v"},
    {"commented key is absent", "[S]\n  ; K=c\n", "S", "K", kDefaultRead},
    {"a key named after a comment sign", "[S]\n;K=c\n", "S", ";K", kDefaultRead},
    {"'#' starts no comment", "[S]\n#K=v\n", "S", "#K", "v"},
    {"a line without '=' is no key", "[S]\nK\nK2=v\n", "S", "K", kDefaultRead},
    {"text after ']' ignored", "[ Name ] trailing = text\nK=v\n", "Name", "K", "v"},
#ifdef _WIN32
    // The system reads a header up to the last ']' of its line.
    {"a header with two ']' is the system's to read", "[A]B]\nK=v\n", "A", "K", kDefaultRead},
#else
    {"first ']' ends the name", "[A]B]\nK=v\n", "A", "K", "v"},
#endif
    {"'[' without ']' is no header", "[S]\n[T\nK=v\n", "S", "K", "v"},
    {"an empty header is no section", "[]\nK=v\n", "", "K", kDefaultRead},
    {"keys before any section", "K=v\n[S]\n", "S", "K", kDefaultRead},
    {"key of another section", "[S]\n[T]\nK=v\n", "S", "K", kDefaultRead},
    {"absent section", "[S]\nK=v\n", "T", "K", kDefaultRead},
    {"empty key matches nothing", "[S]\n=v\n", "S", " ", kDefaultRead},
    {"value holds '='", "[S]\nK=a=b\n", "S", "K", "a=b"},
    {"';' inside a value is text", "[S]\nK=v ; not a comment\n", "S", "K", "v ; not a comment"},
    {"byte-order mark before the first section", "\xEF\xBB\xBF[S]\nK=v\n", "S", "K", "v"},
    {"CRLF", "[S]\r\nK=v\r\n[T]\r\nK=w\r\n", "T", "K", "w"},
    {"bare CR", "[S]\rK=v\r[T]\rK=w\r", "T", "K", "w"},
    {"UTF-16 little-endian", kUtf16Little, "T", "K", "w"},
#ifndef _WIN32
    {"UTF-16 beyond ASCII", kUtf16BeyondAscii, "\xC3\x84", "K", "\xC3\xA9\xF0\x9F\x98\x80"},
    {"UTF-16 unit that is no character", kUtf16BeyondAscii, "\xC3\x84", "L", "a\xEF\xBF\xBD!"},
#endif
    {"no final newline", "[S]\nK=v", "S", "K", "v"},
    {"NUL bytes elsewhere in the file", std::string_view("[S]\n\0\nK=v\n", 9), "S", "K", "v"},
    {"empty file", "", "S", "K", kDefaultRead},
    {"null section", "[S]\nK=v\n", nullptr, "K", kDefaultRead},
    {"null key", "[S]\nK=v\n", "S", nullptr, kDefaultRead},
    {"missing file", "", "S", "K", kDefaultRead, FileKind::Missing},
    {"a directory", "", "S", "K", kDefaultRead, FileKind::Directory},
#ifndef _WIN32
    // Windows has no named pipes in the file system.
    {"a pipe, which must not block the read", "", "S", "K", kDefaultRead, FileKind::Fifo},
#endif
};

// The file of a case, made in `scratch`.
std::string MakeFile(const ScratchDirectory& scratch, FileKind kind, std::string_view bytes) {
    const std::string path = scratch / "presets.ini";
    switch (kind) {
        case FileKind::Bytes:
            WriteBytes(path, bytes);
            break;
        case FileKind::Missing:
            break;
        case FileKind::Directory:
            std::filesystem::create_directory(path);
            break;
        case FileKind::Fifo:
#ifndef _WIN32
            mkfifo(path.c_str(), 0644);
#endif
            break;
    }
    return path;
}

TEST(ProfileReadTest, ReadsTextAsStored) {
    for (const TextCase& c : kTextCases) {
        SCOPED_TRACE(c.What);
        ScratchDirectory scratch;
        const std::string path = MakeFile(scratch, c.Kind, c.File);
        char buffer[64];
        std::memset(buffer, 'x', sizeof buffer);
        const std::size_t length =
            ReadProfileString(c.Section, c.Key, kDefaultText, buffer, sizeof buffer, path.c_str());
        EXPECT_EQ(std::string_view(buffer, length), c.Expected)
            << "read: " << Escaped(std::string_view(buffer, length));
        EXPECT_EQ(buffer[length], '\0');
    }
}

TEST(ProfileReadTest, TextIsCutToTheBuffer) {
    ScratchDirectory scratch;
    const std::string path = scratch / "presets.ini";
    const std::string longValue(2000, 'v');
    WriteBytes(path, "[S]\nShort=abcdef\nQuoted=\"abcdef\"\nLong=" + longValue + "\n");

    struct CutCase {
        const char* Key;
        const char* Default;
        std::size_t Capacity;
        std::string_view Expected;
    };
    const CutCase cases[] = {
        {"Short", "", 7, "abcdef"},
        {"Short", "", 4, "abc"},
        {"Short", "", 1, ""},
        {"Absent", "defaults  ", 5, "defa"},
        {"Absent", nullptr, 5, ""},
        {"Long", "", 1024, std::string_view(longValue).substr(0, 1023)},
        // Quotes are removed before the cut; a default keeps its quotes.
        {"Quoted", "", 8, "abcdef"},
        {"Quoted", "", 7, "abcdef"},
        {"Quoted", "", 6, "abcde"},
        {"Quoted", "", 4, "abc"},
        {"Quoted", "", 2, "a"},
        {"Absent", "\"q\"", 8, "\"q\""},
        {"Absent", "'q' \t", 8, "'q'"},
        {"Absent", "'", 8, "'"},
        {"Absent", " \t ", 8, ""},
        {"Absent", "\"quoted\"", 7, "\"quote"},
    };
    for (const CutCase& c : cases) {
        SCOPED_TRACE(std::string(c.Key) + " into " + std::to_string(c.Capacity));
        std::vector<char> buffer(c.Capacity + 16, 'x');
        const std::size_t length =
            ReadProfileString("S", c.Key, c.Default, buffer.data(), c.Capacity, path.c_str());
        EXPECT_EQ(std::string_view(buffer.data(), length), c.Expected);
        EXPECT_EQ(buffer[length], '\0');
        EXPECT_EQ(std::string(buffer.begin() + c.Capacity, buffer.end()), std::string(16, 'x'))
            << "wrote past the capacity";
    }

    char untouched = 'x';
    EXPECT_EQ(ReadProfileString("S", "Short", "", &untouched, 0, path.c_str()), 0u);
    EXPECT_EQ(untouched, 'x');
    EXPECT_EQ(ReadProfileString("S", "Short", "", nullptr, 10, path.c_str()), 0u);
}

struct IntCase {
    std::string_view Stored;  // the line in section [S]; the key read is K
    std::uint32_t Expected;
};

constexpr std::int32_t kDefaultInt = -77;
constexpr auto kDefaultIntRead = static_cast<std::uint32_t>(kDefaultInt);

const IntCase kIntCases[] = {
    {"K=42", 42},
    {"K=12abc", 12},
    {"K=abc", 0},
    {"K=-10", static_cast<std::uint32_t>(-10)},
    {"K=\"  +7\"", 7},
    {"K=\t-3 apples", static_cast<std::uint32_t>(-3)},
    {"K='42'", 42},
    {"K=007", 7},
    {"K=0x10", 0},
    {"K=0b11", 0},
    {"K=0o17", 0},
    {"K=1e3", 1},
    {"K=+", 0},
    {"K=-", 0},
    {"K=- 5", 0},
    {"K=--5", 0},
    {"K=4294967295", 4294967295u},
    {"K=2147483648", 2147483648u},
    {"K=4294967297", 1},
    {"K=-2147483649", 2147483647},
    {"K=99999999999999999999", 1661992959},
    {"K=777777777777777777777777777777777777777777777777777777777777777777777777777777777777777777"
     "7777777777",
     1908874353},
    {"K=\"123456789012345678901234567890123456789012345678901234567890123\"", 2789360843u},
    {"K=", kDefaultIntRead},
    {"K=  ", kDefaultIntRead},
    {"K=\"\"", kDefaultIntRead},
    {"Other=5", kDefaultIntRead},
    {"K", kDefaultIntRead},
};

TEST(ProfileReadTest, ReadsIntegersLikeTheDecimalReader) {
    for (const IntCase& c : kIntCases) {
        SCOPED_TRACE(c.Stored);
        ScratchDirectory scratch;
        const std::string path = scratch / "presets.ini";
        WriteBytes(path, "[S]\n" + std::string(c.Stored) + "\n");
        EXPECT_EQ(ReadProfileInt("S", "K", kDefaultInt, path.c_str()), c.Expected);
    }
    ScratchDirectory scratch;
    const std::string missing = scratch / "missing.ini";
    EXPECT_EQ(ReadProfileInt("S", "K", kDefaultInt, missing.c_str()), kDefaultIntRead);
    EXPECT_EQ(ReadProfileInt("S", "K", kDefaultInt, nullptr), kDefaultIntRead);

    // A comment line is no entry, whatever the key asked for.
    const std::string commented = scratch / "commented.ini";
    WriteBytes(commented, "[S]\n;K=5\n;D=00\n");
    EXPECT_EQ(ReadProfileInt("S", ";K", kDefaultInt, commented.c_str()), kDefaultIntRead);
    std::uint8_t untouched = 0x5A;
    EXPECT_FALSE(ReadProfileStruct("S", ";D", &untouched, 0, commented.c_str()));
}

struct StructCase {
    std::string_view Stored;  // the line in section [S]; the key read is K
    std::uint32_t Size;
    std::optional<std::vector<std::uint8_t>> Expected;
};

const StructCase kStructCases[] = {
    {"K=01ABFFAB", 3, std::vector<std::uint8_t>{0x01, 0xAB, 0xFF}},
    {"K=01abffab", 3, std::vector<std::uint8_t>{0x01, 0xAB, 0xFF}},
    {"K=  01ABFFAB\t", 3, std::vector<std::uint8_t>{0x01, 0xAB, 0xFF}},
    {"K=00", 0, std::vector<std::uint8_t>{}},
    {"K=FFFF", 1, std::vector<std::uint8_t>{0xFF}},
    {"K=808000", 2, std::vector<std::uint8_t>{0x80, 0x80}},  // the checksum wraps
    {"K=FF01", 1, std::nullopt},                             // a checksum that did not wrap
    {"K=01ABFFAC", 3, std::nullopt},                         // checksum off by one
    {"K=01ABFFA", 3, std::nullopt},                          // odd length
    {"K=01ABFFAB", 2, std::nullopt},                         // longer than asked
    {"K=01ABFFAB", 4, std::nullopt},                         // shorter than asked
    {"K=01ABFGAB", 3, std::nullopt},                         // not a hex digit
    {"K=01AB FFAB", 3, std::nullopt},
    {"K=+1ABFFAB", 3, std::nullopt},
    {"K=", 0, std::nullopt},
    {"K=0", 0, std::nullopt},
    {"Other=00", 0, std::nullopt},
};

TEST(ProfileReadTest, ReadsStructsOnlyWhenLengthAndChecksumFit) {
    for (const StructCase& c : kStructCases) {
        SCOPED_TRACE(std::string(c.Stored) + " as " + std::to_string(c.Size) + " bytes");
        ScratchDirectory scratch;
        const std::string path = scratch / "presets.ini";
        WriteBytes(path, "[S]\n" + std::string(c.Stored) + "\n");
        std::vector<std::uint8_t> buffer(c.Size + 1, 0x5A);
        const bool read = ReadProfileStruct("S", "K", buffer.data(), c.Size, path.c_str());
        EXPECT_EQ(read, c.Expected.has_value());
        std::vector<std::uint8_t> expected = c.Expected.value_or(std::vector<std::uint8_t>());
        if (!c.Expected) expected.assign(c.Size, 0x5A);
        expected.push_back(0x5A);
        EXPECT_EQ(buffer, expected);
    }
}

}  // namespace
}  // namespace flanger::platform
