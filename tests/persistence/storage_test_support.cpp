// Temporary directories, environment variables and file bytes for the storage tests.
#include "storage_test_support.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#ifdef _WIN32
#include <windows.h>
#endif

#include <fstream>
#include <iterator>
#include <random>
#include <system_error>
#include <vector>

namespace flanger::test {
namespace {

#ifdef _WIN32
void SetVariable(const char* name, const char* value) { _putenv_s(name, value); }
// An empty value removes the variable from the environment.
void RemoveVariable(const char* name) { _putenv_s(name, ""); }
#else
void SetVariable(const char* name, const char* value) { setenv(name, value, 1); }
void RemoveVariable(const char* name) { unsetenv(name); }
#endif

}  // namespace

TemporaryDirectory::TemporaryDirectory() {
    // create_directory says whether it made the directory, so a name taken by another process
    // (tests run in parallel) is never shared.
    std::random_device seed;
    std::mt19937_64 names(seed());
    const std::filesystem::path base = ::testing::TempDir();
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::filesystem::path candidate = base / ("flanger-storage-" + std::to_string(names()));
        std::error_code error;
        if (std::filesystem::create_directory(candidate, error)) {
            path_ = std::move(candidate);
            return;
        }
    }
    ADD_FAILURE() << "cannot make a temporary directory in " << base;
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
    SetVariable(name, value.c_str());
}

ScopedEnvironment::~ScopedEnvironment() {
    if (previous_) {
        SetVariable(name_.c_str(), previous_->c_str());
    } else {
        RemoveVariable(name_.c_str());
    }
}

#ifdef _WIN32
PrivateRegistry::PrivateRegistry(const TemporaryDirectory& directory) {
    path_ = "Software\\Flanger tests\\" +
            std::filesystem::path(directory.File("")).parent_path().filename().string();
    HKEY key = nullptr;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, path_.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                        KEY_ALL_ACCESS, nullptr, &key, nullptr) != ERROR_SUCCESS) {
        ADD_FAILURE() << "cannot create the test's registry key " << path_;
        return;
    }
    key_ = key;
    if (RegOverridePredefKey(HKEY_CURRENT_USER, key) != ERROR_SUCCESS) {
        ADD_FAILURE() << "cannot redirect HKEY_CURRENT_USER to " << path_;
    }
}

PrivateRegistry::~PrivateRegistry() {
    if (key_ == nullptr) return;
    RegOverridePredefKey(HKEY_CURRENT_USER, nullptr);
    RegCloseKey(static_cast<HKEY>(key_));
    RegDeleteTreeA(HKEY_CURRENT_USER, path_.c_str());
}
#else
PrivateRegistry::PrivateRegistry(const TemporaryDirectory& directory)
    : database_(kRegistryDatabaseVariable, directory.File("registry.sqlite3")) {}

PrivateRegistry::~PrivateRegistry() = default;
#endif

std::string ProfileText(std::string_view text) {
#ifdef _WIN32
    std::string lines;
    for (const char c : text) {
        if (c == '\n') lines += '\r';
        lines += c;
    }
    return lines;
#else
    return std::string(text);
#endif
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
    return ProfileText(bytes.value_or(std::string()));
}

}  // namespace flanger::test
