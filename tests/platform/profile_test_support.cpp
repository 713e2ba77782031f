// Helpers of the profile-file tests; see profile_test_support.h.
#include "profile_test_support.h"

#ifndef _WIN32
#include <grp.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <stdexcept>

namespace flanger::platform::test {

#ifdef _WIN32
ScratchDirectory::ScratchDirectory() {
    // create_directory tells whether it made the directory, so a name another process took is
    // never shared.
    const std::filesystem::path base = std::filesystem::temp_directory_path();
    std::random_device seed;
    std::mt19937_64 names(seed());
    for (int attempt = 0; attempt < 100; ++attempt) {
        const std::filesystem::path candidate =
            base / ("flanger-profile-test-" + std::to_string(names()));
        std::error_code error;
        if (std::filesystem::create_directory(candidate, error)) {
            Root = candidate.string();
            return;
        }
    }
    throw std::runtime_error("cannot make a scratch directory in " + base.string());
}
#else
namespace {

// "nobody" on Debian; any id without rights on the scratch files would do.
constexpr uid_t kUnprivilegedId = 65534;

}  // namespace

ScratchDirectory::ScratchDirectory() {
    const char* const base = std::getenv("TMPDIR");
    std::string pattern = std::string(base != nullptr && *base != '\0' ? base : "/tmp") +
                          "/flanger-profile-test-XXXXXX";
    if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
    Root = pattern;
}
#endif

ScratchDirectory::~ScratchDirectory() {
    std::error_code ignored;
    std::filesystem::remove_all(Root, ignored);
}

std::vector<std::string> ScratchDirectory::Entries(std::string_view subdirectory) const {
    std::vector<std::string> names;
    const std::string directory = subdirectory.empty() ? Root : *this / subdirectory;
    for (const auto& entry : std::filesystem::directory_iterator(directory)) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

std::string ReadBytes(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

void WriteBytes(const std::string& path, std::string_view bytes) {
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::string GoldenBytes(std::string_view name) {
    const std::string path = std::string(FLANGER_PROFILE_TEST_DATA) + "/" + std::string(name);
    if (!std::filesystem::is_regular_file(path)) throw std::runtime_error("no golden " + path);
    return ReadBytes(path);
}

std::string Utf16File(std::u16string_view text, bool bigEndian) {
    std::string bytes = bigEndian ? "\xFE\xFF" : "\xFF\xFE";
    for (const char16_t unit : text) {
        const char high = static_cast<char>(unit >> 8);
        const char low = static_cast<char>(unit & 0xFF);
        bytes += bigEndian ? std::string{high, low} : std::string{low, high};
    }
    return bytes;
}

std::string Escaped(std::string_view bytes) {
    std::string text;
    for (const char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '\n') {
            text += "\\n\n";  // keep the lines apart in the message
        } else if (c == '\r') {
            text += "\\r";
        } else if (c == '\t') {
            text += "\\t";
        } else if (byte < 0x20 || byte >= 0x7F) {
            char hex[8];
            std::snprintf(hex, sizeof hex, "\\x%02X", byte);
            text += hex;
        } else {
            text += c;
        }
    }
    return text;
}

bool IsTemporaryName(std::string_view entry, std::string_view name) {
    // ".<name>.XXXXXX.tmp"
    return entry.size() == name.size() + 12 && entry.starts_with("." + std::string(name) + ".") &&
           entry.ends_with(".tmp");
}

#ifndef _WIN32
pid_t StartChild(const std::function<bool()>& body) {
    const pid_t child = fork();
    if (child == 0) {
        bool succeeded = false;
        try {
            succeeded = body();
        } catch (...) {
        }
        // _exit: the child must not run the test framework's or the sanitizers' exit work
        // a second time.
        _exit(succeeded ? 0 : 1);
    }
    if (child < 0) throw std::runtime_error("fork failed");
    return child;
}

bool ChildSucceeded(pid_t child) {
    int status = 0;
    while (waitpid(child, &status, 0) < 0) {
        if (errno != EINTR) return false;
    }
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

uid_t UnprivilegedUser() { return geteuid() == 0 ? kUnprivilegedId : geteuid(); }

std::optional<bool> RunUnprivileged(const std::function<bool()>& body) {
    constexpr int kBodyTrue = 0;
    constexpr int kBodyFalse = 1;
    constexpr int kNoPrivilegeDrop = 2;
    const pid_t child = fork();
    if (child == 0) {
        if (geteuid() == 0 && (setgroups(0, nullptr) != 0 || setgid(kUnprivilegedId) != 0 ||
                               setuid(kUnprivilegedId) != 0)) {
            _exit(kNoPrivilegeDrop);
        }
        _exit(body() ? kBodyTrue : kBodyFalse);
    }
    if (child < 0) return std::nullopt;
    int status = 0;
    while (waitpid(child, &status, 0) < 0) {
        if (errno != EINTR) return std::nullopt;
    }
    if (!WIFEXITED(status) || WEXITSTATUS(status) == kNoPrivilegeDrop) return std::nullopt;
    return WEXITSTATUS(status) == kBodyTrue;
}
#endif

}  // namespace flanger::platform::test
