// The text of a profile file, read as lines of [sections] and key=value entries, and edited one
// entry at a time so that every byte the edit does not concern stays as it was.
//
// Lines end in LF, CR LF or a bare CR (old Mac text). After leading blanks, a line starting with
// ';' is a comment, one starting with '[' and holding a ']' is a section header (the name between
// them, trimmed; anything after the ']' ignored), and one holding a '=' is an entry (key before the
// first '=', value after it, both trimmed). Other lines, including a '[' without ']', are kept but
// mean nothing. Names compare without regard to ASCII letter case; of duplicate sections only the
// first is searched, of duplicate keys in it the first wins. A UTF-8 byte-order mark in front
// of the first line is kept and skipped.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace flanger::platform::posix {

class IniText {
public:
    explicit IniText(std::string bytes);
    // Its lines are views of its own bytes, which a copy or a move would leave behind.
    IniText(const IniText&) = delete;
    IniText& operator=(const IniText&) = delete;

    // The value of `key` in `section`, trimmed of blanks and still quoted as stored; nothing
    // when the section or the key is absent. Names are trimmed before matching; an empty name
    // matches nothing. The view lives until the next Set.
    std::optional<std::string_view> Find(std::string_view section, std::string_view key) const;

    // Stores `value` under `key` in `section`. An existing entry keeps its line: it becomes the
    // stored key, '=' and the value, with its old line ending (and stays as it is when it
    // already holds exactly this value). A new key goes right after the last entry (or other
    // text) of the first matching section, ahead of the comments and blank lines that end the
    // section, or right after the header of a section holding none; a new section goes at the
    // end of the file. New lines take the line ending of the file's first line (LF for a file
    // without any), and a last line lacking one gets it before text is added after it. Returns
    // false, changing nothing, for names or values that could not be read back as written (see
    // CanStore).
    bool Set(std::string_view section, std::string_view key, std::string_view value);

    // Whether Set accepts these: the trimmed section name is non-empty and holds no ']' (which
    // would end the header early); the trimmed key is non-empty, holds no '=' and does not start
    // with ';' or '[' (it would read as a comment or a header); no text holds CR or LF, which
    // would split the line. Values are stored as given, so blanks around them and outer quotes
    // are lost on reading, as on the platform this mirrors.
    static bool CanStore(std::string_view section, std::string_view key, std::string_view value);

    const std::string& Bytes() const { return Text; }

private:
    enum class LineKind { Blank, Comment, Section, Entry, Other };

    struct Line {
        std::size_t Begin;       // first byte of the line's text (after a byte-order mark)
        std::size_t ContentEnd;  // where the line ending starts
        std::size_t End;         // after the line ending; ContentEnd for a last line lacking one
        LineKind Kind;
        std::string_view Name;   // section name or key, trimmed
        std::string_view Value;  // entry value, trimmed
    };

    // The lines of the first section named `section`: [header index, end index).
    struct SectionRange {
        std::size_t Header;
        std::size_t End;
    };

    void Parse();
    std::optional<SectionRange> FindSection(std::string_view name) const;
    std::optional<std::size_t> FindEntry(const SectionRange& range, std::string_view key) const;
    std::string_view LineEnding() const;

    std::string Text;
    std::vector<Line> Lines;
};

}  // namespace flanger::platform::posix
