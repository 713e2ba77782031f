// Writing OUT safely: the audio goes to a temporary file next to the file it will replace, which
// is renamed over it only when everything succeeded. A failure or an interruption removes the
// temporary file and leaves an existing OUT as it was.
#pragma once

#include <memory>
#include <optional>
#include <string>

namespace flanger::tool {

// The file that writing `path` replaces: `path` itself, or the end of its chain of symbolic
// links (which need not exist yet), so that the links stay links. Nullopt with the reason in
// `error` for a chain that does not end or a link that cannot be read.
std::optional<std::string> ResolveOutputTarget(const std::string& path, std::string& error);

// The folder part of a path ("." for a bare name) and its last name.
std::string DirectoryOf(const std::string& path);
std::string BaseNameOf(const std::string& path);

// True when both names exist and denote one file (same device and inode), however spelled.
bool SameFile(const std::string& a, const std::string& b);
// True when `path` exists and is the file standard input reads ("< in.wav").
bool IsStandardInput(const std::string& path);

class PendingOutput {
public:
    // Creates the temporary file in the target's directory with the permission bits the result
    // should have: those of an existing target, else 0666 less the umask, and first removes the
    // target's temporaries whose writers are gone (see temporary_files.h). A replaced target's
    // owner and group go to the temporary where this process may set them. Null with the reason
    // in `error` when the target is not a regular file, exists but is not writable for the
    // effective user ("cannot write 'out.wav': Permission denied"), or the directory is not
    // writable.
    static std::unique_ptr<PendingOutput> Create(const std::string& target, std::string& error);
    // Removes the temporary file unless Commit succeeded.
    ~PendingOutput();
    PendingOutput(const PendingOutput&) = delete;
    PendingOutput& operator=(const PendingOutput&) = delete;

    // The temporary file, open for reading and writing.
    int Descriptor() const { return File; }
    const std::string& TemporaryPath() const { return Temporary; }

    // Flushes the file to disk, closes it and renames it over the target.
    bool Commit(std::string& error);

private:
    PendingOutput(std::string target, std::string temporary, int file);
    std::string Target;
    std::string Temporary;
    int File;
    int WriterLock = -1;  // held until the temporary is renamed or removed
    bool Committed = false;
};

}  // namespace flanger::tool
