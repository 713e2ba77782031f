// A fresh directory for one test, removed with everything in it when the test ends.
#pragma once

#include <string>
#include <vector>

namespace flanger::tool::test {

class ScratchDirectory {
public:
    ScratchDirectory();
    ~ScratchDirectory();
    ScratchDirectory(const ScratchDirectory&) = delete;
    ScratchDirectory& operator=(const ScratchDirectory&) = delete;

    const std::string& Path() const { return Root; }
    // `name` inside the directory.
    std::string operator/(const std::string& name) const { return Root + "/" + name; }
    // The names in the directory, sorted, hidden ones included.
    std::vector<std::string> Entries() const;

private:
    std::string Root;
};

// The bytes of a file; empty when it cannot be read.
std::string ReadBytes(const std::string& path);
void WriteBytes(const std::string& path, const std::string& bytes);

}  // namespace flanger::tool::test
