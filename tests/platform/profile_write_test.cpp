// Writing profile entries: what reads give after writes, entries refused because they would not
// read back as written, stored structs read back, and (for our own writer) the exact bytes of
// written files (golden files in tests/data/profile and small inline cases for line-ending
// corners).
#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/profile_entry_writes.h"
#include "platform/profile_file.h"
#include "profile_test_support.h"

namespace flanger::platform {
namespace {

using test::Escaped;
using test::GoldenBytes;
using test::ReadBytes;
using test::ScratchDirectory;
using test::WriteBytes;

// One write call: text, or (with IsStruct) the bytes of Value stored as a struct.
struct Write {
    const char* Section;
    const char* Key;
    std::string_view Value;
    bool IsStruct = false;
};

bool Apply(const Write& write, const std::string& path) {
    if (write.IsStruct) {
        return WriteProfileStruct(write.Section, write.Key, write.Value.data(),
                                  static_cast<std::uint32_t>(write.Value.size()), path.c_str());
    }
    return WriteProfileString(write.Section, write.Key, std::string(write.Value).c_str(),
                              path.c_str());
}

// An entry as a text read gives it after the writes.
struct Entry {
    const char* Section;
    const char* Key;
    std::string_view Value;
};

struct ReadBackCase {
    const char* What;
    const char* Golden;  // golden file the test starts from, or null
    const char* Before;  // else the file's bytes; null for a missing file
    std::vector<Write> Writes;
    std::vector<Entry> Reads;
    std::vector<std::string_view> Comments;  // the comment lines the file holds after, in order
};

const std::vector<ReadBackCase> kReadBackCases = {
    {"a preset with a negative value in a new file",
     nullptr,
     nullptr,
     {{"Flanger", "Depth", "90"},
      {"Flanger", "Delay", "50"},
      {"Flanger", "Width", "50"},
      {"Flanger", "Sine", "0"},
      {"Flanger", "Feedback", "-10"},
      {"Flanger", "Speed", "10"}},
     {{"Flanger", "Depth", "90"},
      {"Flanger", "Delay", "50"},
      {"Flanger", "Width", "50"},
      {"Flanger", "Sine", "0"},
      {"Flanger", "Feedback", "-10"},
      {"Flanger", "Speed", "10"}},
     {}},
    {"replaced in place in another spelling, a new key and a new section",
     "update_crlf.input.ini",
     nullptr,
     {{"flanger", "key", "new value"},
      {" Flanger\t", "DELAY", "-10"},
      {"FLANGER", "Speed", "7"},
      {"New", "Depth", "1"}},
     {{"Other", "KeY", "other section keeps its value"},
      {"Flanger", "KeY", "new value"},
      {"Flanger", "Delay", "-10"},
      {"Flanger", "Width", "50"},
      {"Flanger", "Speed", "7"},
      {"Last", "Speed", "10"},
      {"New", "Depth", "1"}},
     {"; Presets of the flanger", "; Depth in percent"}},
    {"new keys in a section closed by comments and in one without entries",
     "new_key.input.ini",
     nullptr,
     {{"Flanger", "Width", "50"}, {"empty", "Sine", "0"}},
     {{"Flanger", "Depth", "90"},
      {"Flanger", "Delay", "50"},
      {"Flanger", "Width", "50"},
      {"Empty", "Sine", "0"},
      {"Pitch", "Speed", "10"}},
     {"; Pitch settings below", "; nothing here yet"}},
    {"a new section after closing comments",
     "new_section.input.ini",
     nullptr,
     {{"Pitch", "Speed", "10"}, {"Pitch", "Sine", "0"}},
     {{"Flanger", "Depth", "90"}, {"Pitch", "Speed", "10"}, {"Pitch", "Sine", "0"}},
     {"; Presets", "; end of the presets"}},
    {"struct entries store hex digits and a checksum",
     nullptr,
     nullptr,
     {{"Flanger", "SIZE_LSS_Curve", "3"},
      {"Flanger", "DATA_LSS_Curve", "\x01\xAB\xFF", true},
      {"Flanger", "SIZE_LSS_Empty", "0"},
      {"Flanger", "DATA_LSS_Empty", "", true}},
     {{"Flanger", "SIZE_LSS_Curve", "3"},
      {"Flanger", "DATA_LSS_Curve", "01ABFFAB"},
      {"Flanger", "SIZE_LSS_Empty", "0"},
      {"Flanger", "DATA_LSS_Empty", "00"}},
     {}},
    {"an empty file", nullptr, "", {{"A", "K", "v"}}, {{"A", "K", "v"}}, {}},
    {"a last line without newline",
     nullptr,
     "[A]\nK=v",
     {{"B", "X", "1"}, {"A", "Y", "2"}},
     {{"A", "K", "v"}, {"A", "Y", "2"}, {"B", "X", "1"}},
     {}},
    {"replacing a last line without newline",
     nullptr,
     "[A]\nK=v",
     {{"a", "k", "w"}},
     {{"A", "K", "w"}},
     {}},
    {"CRLF and mixed line ends",
     nullptr,
     "[A]\r\nK=v\r\n[B]\nL=w\n",
     {{"B", "X", "1"}, {"C", "Y", "2"}},
     {{"A", "K", "v"}, {"B", "L", "w"}, {"B", "X", "1"}, {"C", "Y", "2"}},
     {}},
    {"a byte-order mark",
     nullptr,
     "\xEF\xBB\xBF[A]\nK=v\n",
     {{"A", "K", "w"}, {"A", "X", "1"}},
     {{"A", "K", "w"}, {"A", "X", "1"}},
     {}},
    {"only a byte-order mark", nullptr, "\xEF\xBB\xBF", {{"A", "K", "v"}}, {{"A", "K", "v"}}, {}},
    {"only the first of duplicate sections",
     nullptr,
     "[A]\nK=1\n[B]\n[a]\nX=2\n",
     {{"A", "X", "3"}},
     {{"A", "K", "1"}, {"A", "X", "3"}},
     {}},
    {"the first of duplicate keys",
     nullptr,
     "[A]\nK=1\nk=2\n",
     {{"A", "K", "3"}},
     {{"A", "K", "3"}},
     {}},
    {"a commented key is not an entry",
     nullptr,
     "[A]\n;K=1\n",
     {{"A", "K", "2"}},
     {{"A", "K", "2"}},
     {";K=1"}},
    {"a line without '=' is not an entry",
     nullptr,
     "[A]\nK\n",
     {{"A", "K", "1"}},
     {{"A", "K", "1"}},
     {}},
    {"'[' without ']' is not a header",
     nullptr,
     "[A\nK=v\n",
     {{"A", "K", "w"}},
     {{"A", "K", "w"}},
     {}},
    {"entries before any section belong to none",
     nullptr,
     "K=top\n",
     {{"A", "K", "v"}},
     {{"A", "K", "v"}},
     {}},
    {"names are trimmed",
     nullptr,
     nullptr,
     {{" A\t", "\tK ", " v "}, {"A", " L\t", "w"}},
     {{"A", "K", "v"}, {" A ", "\tK", "v"}, {"a", "l", "w"}},
     {}},
    {"an empty value is no absent key",
     nullptr,
     "[A]\nK=v\n",
     {{"A", "K", ""}},
     {{"A", "K", ""}},
     {}},
    {"quotes and semicolons are stored as given",
     nullptr,
     nullptr,
     {{"A", "K", "\"q\" ; x"}},
     {{"A", "K", "\"q\" ; x"}},
     {}},
    {"bytes are not converted",
     nullptr,
     nullptr,
     {{"\xC3\xA9t\xC3\xA9", "K", "\xFF\x01"}},
     {{"\xC3\xA9t\xC3\xA9", "K", "\xFF\x01"}},
     {}},
};

// The comment lines of a file's bytes, without their leading blanks and line ends.
std::vector<std::string> CommentLines(std::string_view bytes) {
    std::vector<std::string> comments;
    while (!bytes.empty()) {
        const std::size_t end = bytes.find('\n');
        std::string_view line = bytes.substr(0, end);
        bytes.remove_prefix(end == std::string_view::npos ? bytes.size() : end + 1);
        while (!line.empty() && (line.front() == ' ' || line.front() == '\t'))
            line.remove_prefix(1);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        if (line.starts_with(";")) comments.emplace_back(line);
    }
    return comments;
}

// The layout of a written file is the platform's (on Windows the system's); what holds
// everywhere is what reads give afterwards and that the user's comments stay.
TEST(ProfileWriteTest, WrittenEntriesReadBackAndOthersKeepTheirValues) {
    for (const ReadBackCase& c : kReadBackCases) {
        SCOPED_TRACE(c.What);
        ScratchDirectory scratch;
        const std::string path = scratch / "presets.ini";
        if (c.Golden != nullptr) {
            WriteBytes(path, GoldenBytes(c.Golden));
        } else if (c.Before != nullptr) {
            WriteBytes(path, c.Before);
        }
        for (const Write& write : c.Writes) {
            EXPECT_TRUE(Apply(write, path)) << write.Section << "/" << write.Key;
        }
        for (const Entry& entry : c.Reads) {
            char buffer[256];
            const std::size_t length = ReadProfileString(entry.Section, entry.Key, "<absent>",
                                                         buffer, sizeof buffer, path.c_str());
            EXPECT_EQ(std::string_view(buffer, length), entry.Value)
                << entry.Section << "/" << entry.Key;
        }
        const std::string written = ReadBytes(path);
        EXPECT_EQ(CommentLines(written),
                  std::vector<std::string>(c.Comments.begin(), c.Comments.end()))
            << Escaped(written);
        EXPECT_EQ(scratch.Entries(), std::vector<std::string>{"presets.ini"});
    }
}

#ifndef _WIN32
// The exact bytes are our own writer's; on Windows the system lays out the file.
struct GoldenCase {
    const char* Input;  // golden file the test starts from; null for a missing file
    std::vector<Write> Writes;
    const char* Expected;
};

const std::vector<GoldenCase> kGoldenCases = {
    {nullptr, {{"Flanger", "Depth", "90"}}, "new_file.expected.ini"},
    // The effect's defaults, saved one parameter after the other.
    {nullptr,
     {{"Flanger", "Depth", "90"},
      {"Flanger", "Delay", "50"},
      {"Flanger", "Width", "50"},
      {"Flanger", "Sine", "0"},
      {"Flanger", "Feedback", "10"},
      {"Flanger", "Speed", "10"}},
     "defaults_preset.expected.ini"},
    // In place, keeping the stored key spelling; a new key and a new section in CRLF.
    {"update_crlf.input.ini",
     {{"flanger", "key", "new value"},
      {" Flanger\t", "DELAY", "-10"},
      {"FLANGER", "Speed", "7"},
      {"New", "Depth", "1"}},
     "update_crlf.expected.ini"},
    // After the section's last entry, ahead of its closing blank line and comment; after the
    // header of a section without entries.
    {"new_key.input.ini",
     {{"Flanger", "Width", "50"}, {"empty", "Sine", "0"}},
     "new_key.expected.ini"},
    {"new_section.input.ini",
     {{"Pitch", "Speed", "10"}, {"Pitch", "Sine", "0"}},
     "new_section.expected.ini"},
    {nullptr,
     {{"Flanger", "SIZE_LSS_Curve", "3"},
      {"Flanger", "DATA_LSS_Curve", "\x01\xAB\xFF", true},
      {"Flanger", "SIZE_LSS_Empty", "0"},
      {"Flanger", "DATA_LSS_Empty", "", true}},
     "lss_entries.expected.ini"},
};

TEST(ProfileWriteTest, WritesTheGoldenBytes) {
    for (const GoldenCase& c : kGoldenCases) {
        SCOPED_TRACE(c.Expected);
        ScratchDirectory scratch;
        const std::string path = scratch / "presets.ini";
        if (c.Input != nullptr) WriteBytes(path, GoldenBytes(c.Input));
        for (const Write& write : c.Writes) {
            EXPECT_TRUE(Apply(write, path)) << write.Section << "/" << write.Key;
        }
        const std::string expected = GoldenBytes(c.Expected);
        const std::string written = ReadBytes(path);
        EXPECT_EQ(written, expected) << "written:\n"
                                     << Escaped(written) << "\nexpected:\n"
                                     << Escaped(expected);
        EXPECT_EQ(scratch.Entries(), std::vector<std::string>{"presets.ini"});
    }
}

struct EditCase {
    const char* What;
    std::string_view Before;
    Write Edit;
    std::string_view After;
    bool Refused = false;
};

constexpr std::string_view kBom = "\xEF\xBB\xBF";

// UTF-16 files stay UTF-16 in their byte order, with every unit not replaced, an unpaired
// surrogate and an odd last byte included; new text comes in as UTF-8.
const std::string kUtf16Before = test::Utf16File(u"[A]\r\nK=v\r\n", false);
const std::string kUtf16After = test::Utf16File(u"[A]\r\nK=v\r\n[\u00C4]\r\nY=2\r\n", false);
const std::string kUtf16OddBefore = test::Utf16File(u"[A]\nK=\xD800\nL=\u00E9\n", true) + "\x01";
const std::string kUtf16OddAfter =
    test::Utf16File(u"[A]\nK=\xD800\nL=\u00FC\u20AC\U0001F600\n", true) + "\x01";

const EditCase kEditCases[] = {
    {"empty file", "", {"A", "K", "v"}, "[A]\nK=v\n"},
    {"new section after a last line without newline",
     "[A]\nK=v",
     {"B", "X", "1"},
     "[A]\nK=v\n[B]\nX=1\n"},
    {"new key after a last line without newline", "[A]\nK=v", {"A", "X", "1"}, "[A]\nK=v\nX=1\n"},
    {"replacing the last line keeps it without newline", "[A]\nK=v", {"a", "k", "w"}, "[A]\nK=w"},
    {"CRLF new section", "[A]\r\nK=v\r\n", {"B", "X", "1"}, "[A]\r\nK=v\r\n[B]\r\nX=1\r\n"},
    {"CRLF header as last line without newline",
     "[A]\r\n[B]",
     {"B", "X", "1"},
     "[A]\r\n[B]\r\nX=1\r\n"},
    {"bare CR replaced in place", "[A]\rK=v\rL=w", {"A", "K", "x"}, "[A]\rK=x\rL=w"},
    {"bare CR after a last line without one", "[A]\rK=v", {"B", "X", "1"}, "[A]\rK=v\r[B]\rX=1\r"},
    {"mixed endings follow the first line",
     "[A]\nK=v\r\n",
     {"B", "X", "1"},
     "[A]\nK=v\r\n[B]\nX=1\n"},
    {"byte-order mark kept on replace",
     "\xEF\xBB\xBF[A]\nK=v\n",
     {"A", "K", "w"},
     "\xEF\xBB\xBF[A]\nK=w\n"},
    {"byte-order mark kept on insert",
     "\xEF\xBB\xBF[A]\n",
     {"A", "X", "1"},
     "\xEF\xBB\xBF[A]\nX=1\n"},
    {"only a byte-order mark", kBom, {"A", "K", "v"}, "\xEF\xBB\xBF\n[A]\nK=v\n"},
    {"only the first of duplicate sections",
     "[A]\nK=1\n[B]\n[a]\nX=2\n",
     {"A", "X", "3"},
     "[A]\nK=1\nX=3\n[B]\n[a]\nX=2\n"},
    {"the first of duplicate keys", "[A]\nK=1\nk=2\n", {"A", "K", "3"}, "[A]\nK=3\nk=2\n"},
    {"a commented key is not an entry", "[A]\n;K=1\n", {"A", "K", "2"}, "[A]\nK=2\n;K=1\n"},
    {"a line without '=' is not an entry", "[A]\nK\n", {"A", "K", "1"}, "[A]\nK\nK=1\n"},
    {"'[' without ']' is not a header", "[A\nK=v\n", {"A", "K", "w"}, "[A\nK=v\n[A]\nK=w\n"},
    {"entries before any section belong to none", "K=top\n", {"A", "K", "v"}, "K=top\n[A]\nK=v\n"},
    {"names written trimmed, the value as given", "", {" A\t", "\tK ", " v "}, "[A]\nK= v \n"},
    {"empty value", "[A]\nK=v\n", {"A", "K", ""}, "[A]\nK=\n"},
    {"an unchanged value leaves the bytes", "[A]\n  K = v\n", {"A", "K", "v"}, "[A]\n  K = v\n"},
    {"quotes and semicolons are stored as given",
     "",
     {"A", "K", "\"q\" ; x"},
     "[A]\nK=\"q\" ; x\n"},
    {"bytes are not converted",
     "",
     {"\xC3\xA9t\xC3\xA9", "K", "\xFF\x01"},
     "[\xC3\xA9t\xC3\xA9]\nK=\xFF\x01\n"},
    {"UTF-16 little-endian new section", kUtf16Before, {"\xC3\x84", "Y", "2"}, kUtf16After},
    {"UTF-16 big-endian replaced in place",
     kUtf16OddBefore,
     {"A", "L", "\xC3\xBC\xE2\x82\xAC\xF0\x9F\x98\x80"},
     kUtf16OddAfter},
    // Into UTF-16 our Linux calls take UTF-8 only: other bytes would not read back as written.
    {"UTF-16 refuses a stray byte", kUtf16Before, {"A", "K", "\xFF"}, kUtf16Before, true},
    {"UTF-16 refuses a surrogate", kUtf16Before, {"A", "\xED\xA0\x80", "v"}, kUtf16Before, true},
};

TEST(ProfileWriteTest, EditsKeepEveryOtherByte) {
    for (const EditCase& c : kEditCases) {
        SCOPED_TRACE(c.What);
        ScratchDirectory scratch;
        const std::string path = scratch / "presets.ini";
        WriteBytes(path, c.Before);
        EXPECT_EQ(Apply(c.Edit, path), !c.Refused);
        const std::string written = ReadBytes(path);
        EXPECT_EQ(written, c.After) << "written:\n"
                                    << Escaped(written) << "\nexpected:\n"
                                    << Escaped(c.After);
    }
}
#endif

struct RefusedCase {
    const char* What;
    const char* Section;
    const char* Key;
    const char* Value;
};

// Entries that would read back as something else, or not at all.
const RefusedCase kRefusedCases[] = {
    {"newline in the value", "A", "K", "one\ntwo"},
    {"carriage return in the value", "A", "K", "one\rtwo"},
    {"newline in the key", "A", "K\nX", "v"},
    {"newline in the section", "A\nB", "K", "v"},
    {"']' in the section", "A]B", "K", "v"},
    {"'=' in the key", "A", "K=X", "v"},
    {"key read as a comment", "A", " ;K", "v"},
    {"key read as a header", "A", "[K]", "v"},
    {"empty section", " \t", "K", "v"},
    {"empty key", "A", "", "v"},
    {"null section", nullptr, "K", "v"},
    {"null key", "A", nullptr, "v"},
    {"null value", "A", "K", nullptr},
};

TEST(ProfileWriteTest, RefusesEntriesThatWouldNotReadBack) {
    const std::string before = "[A]\nK=old\n";
    for (const RefusedCase& c : kRefusedCases) {
        SCOPED_TRACE(c.What);
        ScratchDirectory scratch;
        const std::string existing = scratch / "presets.ini";
        const std::string missing = scratch / "missing.ini";
        WriteBytes(existing, before);
        EXPECT_FALSE(WriteProfileString(c.Section, c.Key, c.Value, existing.c_str()));
        EXPECT_FALSE(WriteProfileString(c.Section, c.Key, c.Value, missing.c_str()));
        EXPECT_EQ(ReadBytes(existing), before);
        EXPECT_EQ(scratch.Entries(), std::vector<std::string>{"presets.ini"});
    }
    EXPECT_FALSE(WriteProfileString("A", "K", "v", nullptr));
    EXPECT_FALSE(WriteProfileStruct("A", "K", nullptr, 1, "unused.ini"));
}

// A relative path starts at the current directory. On Linux a bare name does too; on Windows the
// system looks a bare name up in the Windows folder (tests/windows covers it), so the name gets
// a directory part there.
#ifdef _WIN32
constexpr char kNameInCurrentDirectory[] = "./presets.ini";
#else
constexpr char kNameInCurrentDirectory[] = "presets.ini";
#endif

TEST(ProfileWriteTest, RelativePathsStartAtTheCurrentDirectory) {
    ScratchDirectory scratch;
    std::filesystem::create_directory(scratch / "sub");
    const std::filesystem::path savedDirectory = std::filesystem::current_path();
    std::filesystem::current_path(scratch.Path());
    for (const char* path : {kNameInCurrentDirectory, "sub/presets.ini", "./sub/../other.ini"}) {
        EXPECT_TRUE(WriteProfileString("A", "K", "new", path)) << path;
        EXPECT_EQ(ReadProfileInt("A", "Missing", 5, path), 5u) << path;
        char buffer[8];
        EXPECT_EQ(ReadProfileString("A", "K", "", buffer, sizeof buffer, path), 3u) << path;
    }
    std::filesystem::current_path(savedDirectory);
    for (const char* name : {"presets.ini", "sub/presets.ini", "other.ini"}) {
        const std::string path = scratch / name;
        char buffer[8];
        EXPECT_EQ(std::string_view(
                      buffer, ReadProfileString("A", "K", "", buffer, sizeof buffer, path.c_str())),
                  "new")
            << name;
    }
    EXPECT_EQ(scratch.Entries(), (std::vector<std::string>{"other.ini", "presets.ini", "sub"}));
    EXPECT_EQ(scratch.Entries("sub"), std::vector<std::string>{"presets.ini"});
}

// Places where no file can be written: the write fails and leaves everything as it was.
TEST(ProfileWriteTest, PlacesThatCannotHoldTheFileRefuseTheWrite) {
    const struct {
        const char* What;
        const char* Path;  // in scratch, which holds presets.ini and dir/
    } cases[] = {
        {"missing directory", "none/presets.ini"},
        {"a directory", "dir"},
        {"below a regular file", "presets.ini/x.ini"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.What);
        ScratchDirectory scratch;
        std::filesystem::create_directory(scratch / "dir");
        WriteBytes(scratch / "presets.ini", "[A]\nK=old\n");
        const std::string path = scratch / c.Path;
        EXPECT_FALSE(WriteProfileString("A", "K", "new", path.c_str()));
        const std::uint8_t bytes[2] = {1, 2};
        EXPECT_FALSE(WriteProfileStruct("A", "K", bytes, sizeof bytes, path.c_str()));
        EXPECT_EQ(ReadBytes(scratch / "presets.ini"), "[A]\nK=old\n");
        EXPECT_EQ(scratch.Entries(), (std::vector<std::string>{"dir", "presets.ini"}));
        EXPECT_EQ(scratch.Entries("dir"), std::vector<std::string>{});
    }
}

// Where a section's entries are written one call at a time (Windows), a call that fails puts
// back the entries written before it, so the section holds what it held before. A key written
// twice shows that they are put back the last one first.
TEST(ProfileWriteTest, AFailedCallPutsBackTheEntriesWrittenBeforeIt) {
    using Section = std::map<std::string, std::string>;
    const std::vector<ProfileEntry> entries = {
        {"Depth", "20"}, {"Delay", "30"}, {"Depth", "40"}, {"Speed", "60"}};
    const Section before = {{"Delay", "50"}, {"Other", "1"}};
    const Section after = {{"Delay", "30"}, {"Depth", "40"}, {"Other", "1"}, {"Speed", "60"}};
    for (std::size_t failing = 0; failing <= entries.size(); ++failing) {
        SCOPED_TRACE("failing call " + std::to_string(failing + 1));  // past the last: none
        Section stored = before;
        std::size_t calls = 0;
        const ProfileEntryCalls section{
            .StoredText = [&](const std::string& key) -> std::optional<std::string> {
                return stored.contains(key) ? std::optional(stored.at(key)) : std::nullopt;
            },
            .Write =
                [&](const ProfileEntry& entry) {
                    if (calls++ == failing) return false;
                    stored[entry.key] = entry.value;
                    return true;
                },
            .Restore =
                [&](const std::string& key, const std::optional<std::string>& text) {
                    text ? void(stored[key] = *text) : void(stored.erase(key));
                },
        };
        EXPECT_EQ(WriteEntriesOrNone(entries, section), failing == entries.size());
        EXPECT_EQ(stored, failing == entries.size() ? after : before);
    }
}

TEST(ProfileWriteTest, StructsReadBackOnlyAtTheirOwnSize) {
    ScratchDirectory scratch;
    const std::string path = scratch / "presets.ini";
    for (const std::size_t size : {0u, 1u, 3u, 255u, 256u, 1000u}) {
        SCOPED_TRACE(size);
        std::vector<std::uint8_t> bytes(size);
        for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<std::uint8_t>(i * 37 + 11);
        const std::string key = "Data" + std::to_string(size);
        ASSERT_TRUE(WriteProfileStruct("S", key.c_str(), bytes.data(),
                                       static_cast<std::uint32_t>(size), path.c_str()));

        std::vector<std::uint8_t> read(size + 1, 0x5A);
        EXPECT_TRUE(ReadProfileStruct("S", key.c_str(), read.data(),
                                      static_cast<std::uint32_t>(size), path.c_str()));
        EXPECT_EQ(std::vector<std::uint8_t>(read.begin(), read.begin() + size), bytes);
        EXPECT_EQ(read[size], 0x5A) << "wrote past the requested size";

        std::vector<std::uint8_t> untouched(size + 2, 0x5A);
        EXPECT_FALSE(ReadProfileStruct("S", key.c_str(), untouched.data(),
                                       static_cast<std::uint32_t>(size + 1), path.c_str()));
        if (size > 0) {
            EXPECT_FALSE(ReadProfileStruct("S", key.c_str(), untouched.data(),
                                           static_cast<std::uint32_t>(size - 1), path.c_str()));
        }
        EXPECT_EQ(untouched, std::vector<std::uint8_t>(size + 2, 0x5A));
    }
}

}  // namespace
}  // namespace flanger::platform
