// The nameless temporary file behind "-" as OUT, and the copy to standard output.
#include "audio/standard_output.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace flanger::tool {
namespace {

std::string TemporaryFolder() {
    const char* const folder = std::getenv("TMPDIR");
    return folder != nullptr && *folder != '\0' ? folder : "/tmp";
}

}  // namespace

std::unique_ptr<SpooledOutput> SpooledOutput::Create(std::string& error) {
    const std::string folder = TemporaryFolder();
    int file = -1;
#if defined(O_TMPFILE)
    file = open(folder.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
#endif
    // File systems without O_TMPFILE: a named file, removed at once.
    if (file < 0) {
        std::string pattern = folder + "/flanger-stdout-XXXXXX";
        file = mkostemp(pattern.data(), O_CLOEXEC);
        if (file >= 0) unlink(pattern.c_str());
    }
    if (file < 0) {
        error = "cannot create a temporary file in '" + folder +
                "' for standard output: " + std::strerror(errno);
        return nullptr;
    }
    return std::unique_ptr<SpooledOutput>(new SpooledOutput(file));
}

SpooledOutput::~SpooledOutput() { close(File); }

bool SpooledOutput::CopyTo(int target, std::string& error) {
    if (lseek(File, 0, SEEK_SET) != 0) {
        error = std::string("cannot read back the output: ") + std::strerror(errno);
        return false;
    }
    std::vector<char> block(1 << 16);
    while (true) {
        const ssize_t got = read(File, block.data(), block.size());
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) {
            error = std::string("cannot read back the output: ") + std::strerror(errno);
            return false;
        }
        if (got == 0) return true;
        for (ssize_t done = 0; done < got;) {
            const ssize_t put =
                write(target, block.data() + done, static_cast<std::size_t>(got - done));
            if (put < 0 && errno == EINTR) continue;
            if (put < 0) {
                error = std::string("cannot write to standard output: ") + std::strerror(errno);
                return false;
            }
            done += put;
        }
    }
}

bool StandardOutputIsTerminal() { return isatty(STDOUT_FILENO) == 1; }

}  // namespace flanger::tool
