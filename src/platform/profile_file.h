// Private-profile files: INI text files of [sections] holding key=value lines, read and written
// one entry at a time, with the behaviour Windows programs and their users rely on.
//
// The preset storage calls these; on Windows they are the platform's GetPrivateProfile* and
// WritePrivateProfile* functions, elsewhere our own implementation (platform/posix). Lines end
// in LF, CR LF or a bare CR. Sections and keys are matched without regard to (ASCII) case and
// trimmed of blanks (spaces and tabs); an empty name matches nothing. Lines starting with ';'
// are comments; of duplicate sections only the first is searched, of duplicate keys the first
// wins. A relative path is relative to the current directory, except on Windows for a bare name
// without a directory part ("Flanger.ini"), which the system looks up in the Windows folder.
//
// Names and values are 8-bit text, taken as bytes in a file of 8-bit text. A file in UTF-16 with
// a byte order mark (either byte order) is read and updated in its encoding: on Windows its text
// passes through the ANSI code page; on Linux through UTF-8, which holds every character (a
// surrogate without its partner, which is none, reads as U+FFFD), and a write whose section,
// key or value is not well-formed UTF-8 is refused (false, the file as it was) rather than
// stored as something else. An update keeps the byte order mark, the line endings and every
// unit it does not replace.
//
// On Linux every write updates the file under an advisory lock, so concurrent writers lose no
// update, waiting at most five seconds for another writer's lock (then it fails). Where that
// changes nothing but the bytes (the folder is writable, the file has one link and belongs to
// the writer) a new file is renamed over the old one, so a crash never leaves a torn file;
// otherwise the file is rewritten in place, as the system's functions write it on Windows,
// keeping its links and owner (a failure puts the old text back; a crash between writing the
// new text and cutting the file to its length leaves the new text followed by the end of the
// old). Reads take no lock and treat a missing or unreadable file, or a path naming a
// directory, as a file without entries. A null section,
// key or file name makes a read give its default (or false) and a write return false. All
// calls may be made from any thread; none throws.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// <windows.h> names the system's WriteProfileString (of WIN.INI) with a macro; a file that
// includes it before this header still declares, defines and calls this header's function under
// its own name, as every other file does.
#ifdef WriteProfileString
#undef WriteProfileString
#endif

namespace flanger::platform {

// The value of `key` in `section` as a decimal integer (optional sign, leading blanks skipped,
// reading stops at the first non-digit, "abc" is 0, wrapping modulo 2^32); `defaultValue` when
// the key is absent or its value empty or the file cannot be read.
std::uint32_t ReadProfileInt(const char* section, const char* key, std::int32_t defaultValue,
                             const char* fileName);

// Copies the value of `key` (trimmed, one pair of matching outer quotes removed) into `buffer`,
// at most capacity - 1 characters and a NUL; `defaultValue` (null counts as empty) without
// trailing blanks when the key is absent. A key present with an empty value gives the empty
// text. Returns the number of characters copied. A null buffer or a capacity of 0 copies
// nothing and returns 0.
std::size_t ReadProfileString(const char* section, const char* key, const char* defaultValue,
                              char* buffer, std::size_t capacity, const char* fileName);

// Fills exactly `size` bytes of `data` from a value written by WriteProfileStruct (hex digits
// of either case). Returns false, with `data` untouched, when the key is absent or its length,
// digits or checksum do not fit.
bool ReadProfileStruct(const char* section, const char* key, void* data, std::uint32_t size,
                       const char* fileName);

// Creates or replaces the value of `key` in `section`, creating the file (0666 less the umask)
// and the section as needed and keeping every other byte of the file:
// - an existing entry keeps the position of its line and the stored spelling of its key; the
//   line becomes `Key=value` with its old line ending;
// - a new key goes right after the last entry of the first matching section, ahead of the
//   comments and blank lines that close it (right after the header of a section without
//   entries); a new section goes at the end of the file;
// - new lines take the file's line ending (that of its first line; LF in a new file).
// A symbolic link stays a link to the updated file; permissions are kept. Returns false, with
// the old file left as it was, when the file cannot be written (on Linux also when another
// writer holds its lock past the wait), for a null value, and for text
// that would not read back as written: a value or name holding CR or LF, a section name holding
// ']', a key holding '=' or starting with ';' or '[', or an empty name.
bool WriteProfileString(const char* section, const char* key, const char* value,
                        const char* fileName);

// Stores `size` bytes as two upper-case hex digits per byte followed by a checksum byte (the
// sum of the bytes modulo 256), as WriteProfileString stores text: 01 AB FF is "01ABFFAB", no
// bytes is "00". A null `data` is allowed only with a size of 0.
bool WriteProfileStruct(const char* section, const char* key, const void* data, std::uint32_t size,
                        const char* fileName);

// One entry of a section that WriteProfileSection writes: a text, as WriteProfileString stores
// it, or bytes, as WriteProfileStruct stores them.
struct ProfileEntry {
    std::string key;
    std::string value;  // the text, or the bytes of a struct
    bool isStruct = false;
};

// Writes the entries into `section` as WriteProfileString and WriteProfileStruct would one after
// the other, but all of them or none: entries those calls would refuse are left out, and a
// failure to write leaves the section as it was. On Linux that is one update of the file (a kill
// leaves what an update leaves, see above). On Windows the system's profile functions write the
// entries one by one, and when one of them fails, those written before it get their old texts
// back (or are removed again where they were new). Returns false when the update did not reach
// the file: it could not be written, or every entry was refused.
bool WriteProfileSection(const char* section, const std::vector<ProfileEntry>& entries,
                         const char* fileName);

}  // namespace flanger::platform
