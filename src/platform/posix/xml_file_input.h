// The bytes of one XML file, handed to libxml2 through a read callback of our own.
//
// libxml2 can open files itself, but its file layer reports I/O failures (a directory, a read
// error) to the process-wide error handler, which prints to stderr or reaches a host's own
// handler; it also routes the file through a host's entity loader and input callbacks, unpacks
// gzip and unescapes URI syntax in the path. Opening the file here keeps a path a path and a
// failure a quiet false.
#pragma once

#include <string>

#include "platform/posix/xml_shape_limits.h"

namespace flanger::platform {

class XmlFileInput {
public:
    // Opens `path` for reading. Only a regular file (after symbolic links) opens: a FIFO or a
    // terminal would block the reader and a device such as /dev/zero never ends.
    explicit XmlFileInput(const char* path);
    ~XmlFileInput();
    XmlFileInput(const XmlFileInput&) = delete;
    XmlFileInput& operator=(const XmlFileInput&) = delete;

    bool IsOpen() const { return descriptor_ >= 0; }

    // True once a read has failed, or the bytes passed a limit of what a settings file may
    // hold. libxml2 sees such a failure as the end of the input, so a document cut short at the
    // right place could still look complete.
    bool ReadFailed() const { return readFailed_; }
    // The limit the file passed; empty when none.
    const std::string& ShapeProblem() const { return shape_.Problem(); }

    // libxml2's xmlInputReadCallback, with an XmlFileInput as `context`: up to `length` bytes
    // into `buffer`; the number read, 0 at the end, -1 on failure.
    static int Read(void* context, char* buffer, int length);

private:
    int descriptor_ = -1;
    bool readFailed_ = false;
    XmlShapeCheck shape_;
};

}  // namespace flanger::platform
