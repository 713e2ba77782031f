// Opening and reading an XML file for libxml2; see xml_file_input.h.
#include "platform/posix/xml_file_input.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace flanger::platform {

XmlFileInput::XmlFileInput(const char* path) {
    if (path == nullptr) {
        return;
    }
    // O_NONBLOCK so that opening a FIFO without a writer returns at once; the type check below
    // then refuses it. For a regular file the flag changes nothing.
    const int descriptor = open(path, O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (descriptor < 0) {
        return;
    }
    struct stat status {};
    if (fstat(descriptor, &status) != 0 || !S_ISREG(status.st_mode)) {
        close(descriptor);
        return;
    }
    descriptor_ = descriptor;
}

XmlFileInput::~XmlFileInput() {
    if (descriptor_ >= 0) {
        close(descriptor_);
    }
}

int XmlFileInput::Read(void* context, char* buffer, int length) {
    auto* const input = static_cast<XmlFileInput*>(context);
    if (input->descriptor_ < 0 || input->readFailed_ || length < 0) {
        input->readFailed_ = true;
        return -1;
    }
    for (;;) {
        const ssize_t count = read(input->descriptor_, buffer, static_cast<size_t>(length));
        if (count >= 0) {
            if (!input->shape_.Feed(buffer, static_cast<std::size_t>(count))) {
                input->readFailed_ = true;
                return -1;
            }
            return static_cast<int>(count);
        }
        if (errno != EINTR) {
            input->readFailed_ = true;
            return -1;
        }
    }
}

}  // namespace flanger::platform
