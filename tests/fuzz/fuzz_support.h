// What every fuzz target shares: the input taken apart into fields, a scratch folder of the
// process's own for the files a target writes, and whole-file reads and writes.
//
// A violated invariant ends the run with Require, which prints what broke and aborts, so that
// libFuzzer keeps the input as a crash.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace flanger::fuzz {

// Reads the input front to back: NUL-terminated fields first, then whatever is left.
class FuzzInput {
public:
    FuzzInput(const std::uint8_t* data, std::size_t size)
        : rest_(reinterpret_cast<const char*>(data), size) {}

    // The bytes up to the next NUL (or to the end), at most `limit` of them.
    std::string Field(std::size_t limit = 256);
    // One byte, 0 once the input is used up.
    std::uint8_t Byte();
    std::int32_t Int32();
    std::string Rest() const { return std::string(rest_); }
    bool Empty() const { return rest_.empty(); }

private:
    std::string_view rest_;
};

// `name` inside a folder made for this process and removed when it ends.
std::string ScratchPath(const char* name);

std::optional<std::string> ReadFile(const std::string& path);
void WriteFile(const std::string& path, std::string_view bytes);

// Aborts with `what` when `condition` is false.
void Require(bool condition, const char* what);

}  // namespace flanger::fuzz
