// Temporary directories, environment variables and file bytes for the storage tests.
#include "storage_test_support.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <fstream>
#include <iterator>
#include <system_error>
#include <vector>

namespace flanger::test {

TemporaryDirectory::TemporaryDirectory() {
    std::string pattern = ::testing::TempDir() + "flanger-storage-XXXXXX";
    std::vector<char> buffer(pattern.begin(), pattern.end());
    buffer.push_back('\0');
    if (mkdtemp(buffer.data()) == nullptr) {
        ADD_FAILURE() << "cannot make a temporary directory from " << pattern;
        return;
    }
    path_ = buffer.data();
}

TemporaryDirectory::~TemporaryDirectory() {
    if (!path_.empty()) {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
}

std::string TemporaryDirectory::File(std::string_view name) const {
    return (path_ / name).string();
}

ScopedEnvironment::ScopedEnvironment(const char* name, const std::string& value) : name_(name) {
    if (const char* previous = getenv(name)) {
        previous_ = previous;
    }
    setenv(name, value.c_str(), 1);
}

ScopedEnvironment::~ScopedEnvironment() {
    if (previous_) {
        setenv(name_.c_str(), previous_->c_str(), 1);
    } else {
        unsetenv(name_.c_str());
    }
}

std::optional<std::string> ReadFileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        return std::nullopt;
    }
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteFileBytes(const std::string& path, std::string_view bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    ASSERT_TRUE(out.good()) << "cannot write " << path;
}

std::string GoldenPreset(std::string_view name) {
    const std::string path = std::string(FLANGER_TEST_DATA_DIR "/presets/") + std::string(name);
    std::optional<std::string> bytes = ReadFileBytes(path);
    EXPECT_TRUE(bytes.has_value()) << "missing golden file " << path;
    return bytes.value_or(std::string());
}

}  // namespace flanger::test
