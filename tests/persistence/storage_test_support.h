// Scaffolding for tests that store presets in real files and a real registry: a private
// temporary directory, a registry of the test's own, an environment variable set for one test,
// and whole-file reads and writes for golden comparisons.
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

// A registry of the test's own for as long as the object lives. On Linux a database in the given
// directory, named by FLANGER_REGISTRY. On Windows HKEY_CURRENT_USER of the whole process (the
// module's calls included) is redirected to a new, empty key, which is deleted at the end.
class PrivateRegistry {
public:
    explicit PrivateRegistry(const TemporaryDirectory& directory);
    ~PrivateRegistry();
    PrivateRegistry(const PrivateRegistry&) = delete;
    PrivateRegistry& operator=(const PrivateRegistry&) = delete;

private:
#ifdef _WIN32
    void* key_ = nullptr;  // the HKEY that stands in for HKEY_CURRENT_USER
    std::string path_;     // its path below the real HKEY_CURRENT_USER
#else
    ScopedEnvironment database_;
#endif
};

// A profile file's text as the platform writes it: Windows ends its lines with CR LF, our Linux
// profile functions with LF alone. `text` is written with LF.
std::string ProfileText(std::string_view text);

// The file's bytes; nothing when it cannot be read.
std::optional<std::string> ReadFileBytes(const std::string& path);

// Replaces the file with exactly `bytes`.
void WriteFileBytes(const std::string& path, std::string_view bytes);

// The bytes of a golden file in tests/data/presets, with the platform's line ends (ProfileText);
// a test failure when it is missing.
std::string GoldenPreset(std::string_view name);

}  // namespace flanger::test
