// Helpers of the registry tests.
#include "registry_test_support.h"

#include <gtest/gtest.h>
#ifdef _WIN32
#include <windows.h>
#else
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>

namespace flanger::platform::test {

#ifdef _WIN32
RegistryScratch::RegistryScratch() {
    // A random name, so that programs running at once never share a key.
    std::random_device seed;
    Path = "Software\\Flanger tests\\platform " + std::to_string(GetCurrentProcessId()) + " " +
           std::to_string(std::mt19937_64(seed())());
    HKEY key = nullptr;
    DWORD disposition = 0;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, Path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                        KEY_ALL_ACCESS, nullptr, &key, &disposition) != ERROR_SUCCESS ||
        disposition != REG_CREATED_NEW_KEY) {
        ADD_FAILURE() << "cannot create the test's registry key " << Path;
        if (key != nullptr) RegCloseKey(key);
        return;
    }
    Key = key;
    if (RegOverridePredefKey(HKEY_CURRENT_USER, key) != ERROR_SUCCESS) {
        ADD_FAILURE() << "cannot redirect HKEY_CURRENT_USER to " << Path;
    }
}

RegistryScratch::~RegistryScratch() {
    if (Key == nullptr) return;
    RegOverridePredefKey(HKEY_CURRENT_USER, nullptr);
    RegCloseKey(static_cast<HKEY>(Key));
    EXPECT_EQ(RegDeleteTreeA(HKEY_CURRENT_USER, Path.c_str()), ERROR_SUCCESS) << Path;
    // The common parent goes with the last test's key; while other programs' keys are in it, the
    // system refuses.
    RegDeleteKeyA(HKEY_CURRENT_USER, "Software\\Flanger tests");
}
#else
ScopedEnvironment::~ScopedEnvironment() {
    // Newest first, so a variable set twice gets its original value back.
    for (auto saved = Saved.rbegin(); saved != Saved.rend(); ++saved) {
        if (saved->second) {
            setenv(saved->first.c_str(), saved->second->c_str(), 1);
        } else {
            unsetenv(saved->first.c_str());
        }
    }
}

void ScopedEnvironment::Set(const std::string& name, const char* value) {
    const char* old = std::getenv(name.c_str());
    Saved.emplace_back(name, old != nullptr ? std::optional<std::string>(old) : std::nullopt);
    if (value != nullptr) {
        setenv(name.c_str(), value, 1);
    } else {
        unsetenv(name.c_str());
    }
}

RegistryScratch::RegistryScratch() {
    std::string pattern = (std::filesystem::temp_directory_path() / "flanger-registry-XXXXXX");
    if (mkdtemp(pattern.data()) == nullptr) {
        ADD_FAILURE() << "cannot make a scratch folder";
    }
    Root = pattern;
    Variables.Set("FLANGER_REGISTRY", Database().c_str());
}

RegistryScratch::~RegistryScratch() {
    // Tests make folders read-only; give the owner the rights back so the tree can go.
    std::error_code ignored;
    for (auto entry = std::filesystem::recursive_directory_iterator(Root, ignored);
         entry != std::filesystem::recursive_directory_iterator(); entry.increment(ignored)) {
        if (entry->is_directory(ignored)) {
            std::filesystem::permissions(entry->path(), std::filesystem::perms::owner_all,
                                         std::filesystem::perm_options::add, ignored);
        }
    }
    std::filesystem::remove_all(Root, ignored);
}
#endif

QueriedValue QueryWhole(RegistryKey key, const char* name) {
    QueriedValue value;
    std::uint32_t size = 0;
    value.result = QueryRegistryValue(key, name, &value.type, nullptr, &size);
    if (value.result != kRegistrySuccess) {
        return value;
    }
    // One byte more than asked for, so a size that grows between the two calls shows.
    value.data.assign(size + 1, 0);
    std::uint32_t capacity = size + 1;
    value.result = QueryRegistryValue(key, name, &value.type, value.data.data(), &capacity);
    value.data.resize(capacity);
    return value;
}

long SaveValues(RegistryKey root, const char* path,
                const std::vector<std::pair<std::string, Bytes>>& values, std::uint32_t type) {
    RegistryKey key = nullptr;
    long result = CreateRegistryKey(root, path, kRegistryKeyWrite, &key);
    if (result != kRegistrySuccess) {
        return result;
    }
    for (const auto& [name, bytes] : values) {
        const long set = SetRegistryValue(key, name.c_str(), type, bytes.data(),
                                          static_cast<std::uint32_t>(bytes.size()));
        if (result == kRegistrySuccess) {
            result = set;
        }
    }
    const long closed = CloseRegistryKey(key);
    return result != kRegistrySuccess ? result : closed;
}

Bytes Int32Bytes(std::int32_t value) {
    const auto bits = static_cast<std::uint32_t>(value);
    return {static_cast<unsigned char>(bits), static_cast<unsigned char>(bits >> 8),
            static_cast<unsigned char>(bits >> 16), static_cast<unsigned char>(bits >> 24)};
}

#ifndef _WIN32
std::string ReadFileBytes(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

void WriteFile(const std::string& path, const std::string& bytes) {
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file << bytes;
    EXPECT_TRUE(file.good()) << path;
}

pid_t StartChild(const std::function<int()>& body) {
    const pid_t child = fork();
    if (child == 0) {
        int status = 99;
        try {
            status = body();
        } catch (...) {
            status = 98;
        }
        // _exit: the child must not run the parent's test framework teardown or atexit work.
        _exit(status);
    }
    return child;
}

int ChildStatus(pid_t child) {
    if (child < 0) {
        return -1;
    }
    int status = 0;
    while (waitpid(child, &status, 0) < 0) {
        if (errno != EINTR) {
            return -1;
        }
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

int RunUnprivileged(const std::function<int()>& body) {
    return ChildStatus(StartChild([&] {
        if (geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0)) {
            return 97;
        }
        return body();
    }));
}

ProcessSignal::ProcessSignal() {
    if (pipe(Ends) != 0) {
        ADD_FAILURE() << "cannot make a pipe";
    }
}

ProcessSignal::~ProcessSignal() {
    for (const int end : Ends) {
        if (end >= 0) {
            close(end);
        }
    }
}

void ProcessSignal::BecomeNotifier() {
    close(Ends[0]);
    Ends[0] = -1;
}

void ProcessSignal::BecomeWaiter() {
    close(Ends[1]);
    Ends[1] = -1;
}

void ProcessSignal::Notify() {
    const char byte = 1;
    while (write(Ends[1], &byte, 1) < 0 && errno == EINTR) {
    }
}

bool ProcessSignal::Wait() {
    char byte = 0;
    ssize_t count = 0;
    while ((count = read(Ends[0], &byte, 1)) < 0 && errno == EINTR) {
    }
    return count == 1;
}

#endif

}  // namespace flanger::platform::test
