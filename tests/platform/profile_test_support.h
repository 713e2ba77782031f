// Helpers of the profile-file tests: scratch directories, raw file bytes, golden files, and
// (on Linux) child processes for the tests that need several writers, a kill or a user without
// privileges.
#pragma once

#ifndef _WIN32
#include <sys/types.h>
#endif

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace flanger::platform::test {

// A fresh directory for one test, removed with everything in it when the test ends. On Windows
// it lies in the user's temporary folder.
class ScratchDirectory {
public:
    ScratchDirectory();
    ~ScratchDirectory();
    ScratchDirectory(const ScratchDirectory&) = delete;
    ScratchDirectory& operator=(const ScratchDirectory&) = delete;

    const std::string& Path() const { return Root; }
    // `name` inside the directory.
    std::string operator/(std::string_view name) const { return Root + "/" + std::string(name); }
    // The names in `subdirectory` (the directory itself when empty), sorted, hidden ones included.
    std::vector<std::string> Entries(std::string_view subdirectory = {}) const;

private:
    std::string Root;
};

// The bytes of a file; empty when it cannot be read.
std::string ReadBytes(const std::string& path);
void WriteBytes(const std::string& path, std::string_view bytes);

// The bytes of tests/data/profile/<name>.
std::string GoldenBytes(std::string_view name);

// The bytes of a UTF-16 file holding `text`: the byte order mark, then the units in the byte
// order asked for.
std::string Utf16File(std::u16string_view text, bool bigEndian);

// `bytes` with control characters spelled out (\r, \n, \t, \xNN), for failure messages.
std::string Escaped(std::string_view bytes);

// Whether `entry` is named like the temporary that an update of the file `name` writes.
bool IsTemporaryName(std::string_view entry, std::string_view name);

#ifndef _WIN32
// Runs `body` in a forked child that exits with 0 when it returns true, 1 otherwise.
pid_t StartChild(const std::function<bool()>& body);
// Waits for a child; true when it exited with status 0.
bool ChildSucceeded(pid_t child);

// Runs `body` in a child without privileges (user and group 65534 when the tests run as root,
// so that permission bits apply) and returns its result; nothing when the child could not give
// up its privileges or did not end normally.
std::optional<bool> RunUnprivileged(const std::function<bool()>& body);

// The user id RunUnprivileged runs as.
uid_t UnprivilegedUser();
#endif

}  // namespace flanger::platform::test
