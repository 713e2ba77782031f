// The current directory, taken once while the module loads and used later (see the header).
#include <optional>
#include <string>

#include "platform/win32/current_directory.h"
#include "platform/win32/windows_api.h"

namespace flanger::platform {
namespace {

// A path from a system call that reports the length it needs when the buffer is too small;
// asked again when the answer changed in between (another thread moved the directory).
template <typename Query>
std::wstring QueryPath(Query query) {
    std::wstring path(MAX_PATH, L'\0');
    for (int attempt = 0; attempt < 3; ++attempt) {
        const DWORD length = query(path.data(), static_cast<DWORD>(path.size()));
        if (length == 0) return std::wstring();
        if (length < path.size()) {
            path.resize(length);
            return path;
        }
        path.resize(length);
    }
    return std::wstring();
}

// The text in the ANSI code page, with whether it converts back to the same UTF-16 text. What the
// code page lacks becomes its default character ('?', which no file name holds) rather than a
// look-alike that could name another directory.
struct AnsiSpelling {
    std::string Text;
    bool Exact = false;
};

AnsiSpelling SpellInAnsi(const std::wstring& text) {
    AnsiSpelling spelling;
    const auto length = static_cast<int>(text.size());
    // UTF-8 as the ANSI code page spells everything and takes no flags.
    const DWORD flags = GetACP() == CP_UTF8 ? 0 : WC_NO_BEST_FIT_CHARS;
    const int size =
        WideCharToMultiByte(CP_ACP, flags, text.data(), length, nullptr, 0, nullptr, nullptr);
    if (size <= 0) return spelling;
    spelling.Text.resize(static_cast<std::size_t>(size));
    WideCharToMultiByte(CP_ACP, flags, text.data(), length, spelling.Text.data(), size, nullptr,
                        nullptr);
    std::wstring back(text.size() + 1, L'\0');
    const int backLength = MultiByteToWideChar(CP_ACP, 0, spelling.Text.data(), size, back.data(),
                                               static_cast<int>(back.size()));
    spelling.Exact = backLength == length && back.compare(0, text.size(), text) == 0;
    return spelling;
}

}  // namespace

std::string CurrentDirectoryPath() noexcept {
    try {
        std::wstring directory = QueryPath(
            [](wchar_t* buffer, DWORD size) { return GetCurrentDirectoryW(size, buffer); });
        if (directory.empty()) return std::string();
        // Ended here, in UTF-16: a trail byte of a double-byte character may equal '\\'.
        if (directory.back() != L'\\' && directory.back() != L'/') directory += L'\\';
        AnsiSpelling spelling = SpellInAnsi(directory);
        if (!spelling.Exact) {
            const std::wstring shortForm = QueryPath([&](wchar_t* buffer, DWORD size) {
                return GetShortPathNameW(directory.c_str(), buffer, size);
            });
            AnsiSpelling shortSpelling = SpellInAnsi(shortForm);
            if (shortSpelling.Exact) spelling = std::move(shortSpelling);
        }
        return std::move(spelling.Text);
    } catch (...) {
        return std::string();
    }
}

}  // namespace flanger::platform
