// Helpers of the registry tests: a scratch store per test, reading whole values, and (on Linux)
// environment changes that are undone and child processes that report through their exit
// status.
#pragma once

#ifndef _WIN32
#include <sys/types.h>
#endif

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "platform/registry.h"

namespace flanger::platform::test {

using Bytes = std::vector<unsigned char>;

#ifndef _WIN32
// Sets or clears environment variables for one test and restores their old values at the end.
class ScopedEnvironment {
public:
    ScopedEnvironment() = default;
    ~ScopedEnvironment();
    ScopedEnvironment(const ScopedEnvironment&) = delete;
    ScopedEnvironment& operator=(const ScopedEnvironment&) = delete;

    // A null value clears the variable.
    void Set(const std::string& name, const char* value);

private:
    std::vector<std::pair<std::string, std::optional<std::string>>> Saved;
};

// A fresh folder for one test, with FLANGER_REGISTRY naming a database file inside it; the
// folder and everything in it go when the test ends.
class RegistryScratch {
public:
    RegistryScratch();
    ~RegistryScratch();
    RegistryScratch(const RegistryScratch&) = delete;
    RegistryScratch& operator=(const RegistryScratch&) = delete;

    const std::string& Folder() const { return Root; }
    std::string Database() const { return Root + "/registry.sqlite3"; }

    ScopedEnvironment& Environment() { return Variables; }

private:
    std::string Root;
    ScopedEnvironment Variables;
};
#else
// A fresh, empty HKEY_CURRENT_USER for one test: the whole process's HKEY_CURRENT_USER is
// redirected to a new key below the real one, which is deleted with everything in it when the
// test ends. The other roots stay the system's.
class RegistryScratch {
public:
    RegistryScratch();
    ~RegistryScratch();
    RegistryScratch(const RegistryScratch&) = delete;
    RegistryScratch& operator=(const RegistryScratch&) = delete;

private:
    void* Key = nullptr;  // the HKEY that stands in for HKEY_CURRENT_USER
    std::string Path;     // its path below the real HKEY_CURRENT_USER
};
#endif

// One value as QueryRegistryValue reports it: the result, and type and bytes on success.
struct QueriedValue {
    long result = -1;
    std::uint32_t type = 0;
    Bytes data;
};

// Reads the whole value `name` of `key`: its size first, then its bytes.
QueriedValue QueryWhole(RegistryKey key, const char* name);

// Creates `path` below `root` with KEY_WRITE, sets the values and closes the key: one preset
// save. Returns the first result that is not success.
long SaveValues(RegistryKey root, const char* path,
                const std::vector<std::pair<std::string, Bytes>>& values,
                std::uint32_t type = kRegistryTypeNone);

// The 4 bytes of `value`, least significant first: how presets store integers.
Bytes Int32Bytes(std::int32_t value);

#ifndef _WIN32
// The bytes of a file; empty when it cannot be read.
std::string ReadFileBytes(const std::string& path);
void WriteFile(const std::string& path, const std::string& bytes);

// Runs `body` in a forked child, which exits with the number `body` returns (0: success).
pid_t StartChild(const std::function<int()>& body);
// Waits for a child; its exit status, or -1 when it did not exit normally.
int ChildStatus(pid_t child);

// Runs `body` in a child as user and group 65534 when the tests run as root, so that
// permission bits apply; its exit status as ChildStatus gives it.
int RunUnprivileged(const std::function<int()>& body);

// A one-way signal between processes (a pipe), made before the fork. After it, one process
// calls BecomeNotifier and Notify, the other BecomeWaiter and Wait; each closes the end it does
// not use, so a waiter learns of a notifier that ended instead of waiting for ever.
class ProcessSignal {
public:
    ProcessSignal();
    ~ProcessSignal();
    ProcessSignal(const ProcessSignal&) = delete;
    ProcessSignal& operator=(const ProcessSignal&) = delete;

    void BecomeNotifier();
    void BecomeWaiter();
    void Notify();
    // False when the notifier ended without notifying.
    bool Wait();

private:
    int Ends[2] = {-1, -1};
};
#endif

}  // namespace flanger::platform::test
