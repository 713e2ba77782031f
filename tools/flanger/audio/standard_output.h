// Audio for standard output ("-" as OUT) in formats that cannot be streamed. libsndfile
// finishes most containers by going back to their header (lengths, seek tables), which a pipe
// cannot do. So the output is written whole into a nameless temporary file and copied to
// standard output once complete: a reader down the pipe gets a finished file with every length
// right, and nothing reaches standard output when the run fails. (WAV, AU and raw samples go
// down a pipe as they are made; see SoundWriter::OpenStream.)
#pragma once

#include <memory>
#include <string>

namespace flanger::tool {

class SpooledOutput {
public:
    // A temporary file in $TMPDIR (else /tmp) with no name, so that nothing is left behind
    // whatever ends the process. Null with the reason in `error` when none can be made.
    static std::unique_ptr<SpooledOutput> Create(std::string& error);
    ~SpooledOutput();
    SpooledOutput(const SpooledOutput&) = delete;
    SpooledOutput& operator=(const SpooledOutput&) = delete;

    // The temporary file, open for reading and writing.
    int Descriptor() const { return File; }

    // Copies the whole file to `target` (standard output); false with the reason in `error`.
    bool CopyTo(int target, std::string& error);

private:
    explicit SpooledOutput(int file) : File(file) {}
    int File;
};

// Whether audio must not go to standard output because it is a terminal.
bool StandardOutputIsTerminal();

}  // namespace flanger::tool
