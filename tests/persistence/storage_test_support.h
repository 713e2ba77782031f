// Scaffolding for tests that store presets in real files and a real registry database: a
// private temporary directory, an environment variable set for one test, and whole-file reads
// and writes for golden comparisons.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace flanger::test {

// Names the registry's database file; each test points it at a database of its own.
inline constexpr const char* kRegistryDatabaseVariable = "FLANGER_REGISTRY";

// A new, empty directory below the test's temporary directory, removed with its content.
class TemporaryDirectory {
public:
    TemporaryDirectory();
    ~TemporaryDirectory();
    TemporaryDirectory(const TemporaryDirectory&) = delete;
    TemporaryDirectory& operator=(const TemporaryDirectory&) = delete;

    // The path of `name` inside the directory.
    std::string File(std::string_view name) const;

private:
    std::filesystem::path path_;
};

// Sets an environment variable for the lifetime of the object, then restores the earlier value
// (or its absence).
class ScopedEnvironment {
public:
    ScopedEnvironment(const char* name, const std::string& value);
    ~ScopedEnvironment();
    ScopedEnvironment(const ScopedEnvironment&) = delete;
    ScopedEnvironment& operator=(const ScopedEnvironment&) = delete;

private:
    std::string name_;
    std::optional<std::string> previous_;
};

// The file's bytes; nothing when it cannot be read.
std::optional<std::string> ReadFileBytes(const std::string& path);

// Replaces the file with exactly `bytes`.
void WriteFileBytes(const std::string& path, std::string_view bytes);

// The bytes of a golden file in tests/data/presets; a test failure when it is missing.
std::string GoldenPreset(std::string_view name);

}  // namespace flanger::test
