// The fuzz targets' shared helpers.
#include "fuzz_support.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace flanger::fuzz {

std::string FuzzInput::Field(std::size_t limit) {
    const std::size_t end = std::min(rest_.find('\0'), rest_.size());
    std::string field(rest_.substr(0, std::min(end, limit)));
    rest_.remove_prefix(std::min(end + 1, rest_.size()));
    return field;
}

std::uint8_t FuzzInput::Byte() {
    if (rest_.empty()) return 0;
    const auto byte = static_cast<std::uint8_t>(rest_.front());
    rest_.remove_prefix(1);
    return byte;
}

std::int32_t FuzzInput::Int32() {
    std::uint32_t value = 0;
    for (int k = 0; k < 4; ++k) value = value << 8 | Byte();
    return static_cast<std::int32_t>(value);
}

namespace {

const std::string& ScratchFolder() {
    static const std::string folder = [] {
        std::string pattern = (std::filesystem::temp_directory_path() / "flanger-fuzz-XXXXXX");
        if (mkdtemp(pattern.data()) == nullptr) {
            std::perror("flanger fuzz: mkdtemp");
            std::abort();
        }
        static std::string removed;
        removed = pattern;
        std::atexit([] {
            std::error_code ignored;
            std::filesystem::remove_all(removed, ignored);
        });
        return pattern;
    }();
    return folder;
}

}  // namespace

std::string ScratchPath(const char* name) { return ScratchFolder() + "/" + name; }

std::optional<std::string> ReadFile(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    if (!file) return std::nullopt;
    std::ostringstream bytes;
    bytes << file.rdbuf();
    return bytes.str();
}

void WriteFile(const std::string& path, std::string_view bytes) {
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    Require(static_cast<bool>(file), "the scratch file could not be written");
}

void Require(bool condition, const char* what) {
    if (condition) return;
    std::fprintf(stderr, "flanger fuzz: invariant broken: %s\n", what);
    std::abort();
}

}  // namespace flanger::fuzz
