// Font handles, their nominal metrics, and FlangerGetWindowFont.
#include "windowing/posix/user32/font_table.h"

#include <algorithm>
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

#include "windowing/posix/user32/api_guard.h"
#include "windowing/posix/user32/text_conversion.h"
#include "windowing/posix/user32/window_table.h"

namespace flanger::platform::user32 {
namespace {

// Handles are 1-based indices into the list, shifted so they never look like null.
constexpr std::uintptr_t kFirstFontHandle = 0x7F000000u;

std::vector<FontInfo>& Fonts() {
    static auto* fonts = new std::vector<FontInfo>;
    return *fonts;
}

}  // namespace

int MulDiv(int a, int b, int c) {
    if (c == 0) {
        return -1;
    }
    std::int64_t product = static_cast<std::int64_t>(a) * b;
    std::int64_t divisor = c;
    if (divisor < 0) {
        product = -product;
        divisor = -divisor;
    }
    const std::int64_t result =
        product >= 0 ? (product + divisor / 2) / divisor : (product - divisor / 2) / divisor;
    if (result > 2147483647 || result < -2147483647) {
        return -1;
    }
    return static_cast<int>(result);
}

HFONT FindOrAddFont(std::string_view faceName, int pointSize) {
    faceName = faceName.substr(0, kMaxFaceNameLength);
    std::vector<FontInfo>& fonts = Fonts();
    for (std::size_t i = 0; i < fonts.size(); ++i) {
        if (fonts[i].pointSize == pointSize &&
            EqualsIgnoringAsciiCase(fonts[i].faceName, faceName)) {
            return reinterpret_cast<HFONT>(kFirstFontHandle + i);
        }
    }
    FontInfo font;
    font.faceName.assign(faceName);
    font.pointSize = pointSize;
    if (pointSize > 0) {
        font.baseUnitX = std::max(MulDiv(6, pointSize, 8), 1);
        font.baseUnitY = std::max(MulDiv(13, pointSize, 8), 1);
    } else {
        font.baseUnitX = kSystemBaseUnitX;
        font.baseUnitY = kSystemBaseUnitY;
    }
    fonts.push_back(std::move(font));
    return reinterpret_cast<HFONT>(kFirstFontHandle + fonts.size() - 1);
}

HFONT SystemFont() {
    static HFONT system = nullptr;
    if (system == nullptr) {
        system = FindOrAddFont("System", 10);
    }
    return system;
}

bool DescribeFont(HFONT font, FontInfo& info) {
    const auto number = reinterpret_cast<std::uintptr_t>(font);
    const std::vector<FontInfo>& fonts = Fonts();
    if (number < kFirstFontHandle || number - kFirstFontHandle >= fonts.size()) {
        return false;
    }
    info = fonts[number - kFirstFontHandle];
    return true;
}

void StoreWindowFont(HWND window, HFONT font) noexcept {
    RunGuarded([&] {
        std::lock_guard lock(LayerMutex());
        if (Window* current = Windows().Find(window)) {
            current->font = font;
        }
    });
}

HFONT StoredWindowFont(HWND window) noexcept {
    HFONT font = nullptr;
    RunGuarded([&] {
        std::lock_guard lock(LayerMutex());
        if (const Window* current = Windows().Find(window)) {
            font = current->font;
        }
    });
    return font;
}

}  // namespace flanger::platform::user32

using namespace flanger::platform::user32;

extern "C" {

LONG GetDialogBaseUnits(void) { return MAKELONG(kSystemBaseUnitX, kSystemBaseUnitY); }

BOOL FlangerGetWindowFont(HWND window, LPSTR faceName, int maxCount, int* pointSize, int* baseUnitX,
                          int* baseUnitY) {
    BOOL found = FALSE;
    RunGuarded([&] {
        std::lock_guard lock(LayerMutex());
        const Window* current = Windows().Find(window);
        if (current == nullptr) {
            SetLastError(ERROR_INVALID_WINDOW_HANDLE);
            return;
        }
        FontInfo font;
        if (!DescribeFont(current->font, font) && !DescribeFont(SystemFont(), font)) {
            return;
        }
        CopyTextOut(font.faceName, faceName, maxCount);
        if (pointSize != nullptr) {
            *pointSize = font.pointSize;
        }
        if (baseUnitX != nullptr) {
            *baseUnitX = font.baseUnitX;
        }
        if (baseUnitY != nullptr) {
            *baseUnitY = font.baseUnitY;
        }
        found = TRUE;
    });
    return found;
}

}  // extern "C"
