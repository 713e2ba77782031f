// Fonts of dialogs and controls, with the nominal metrics the layer derives from them.
//
// There is no font rasteriser: a font is its face name and point size, and its dialog base
// units follow the metrics Windows has at 96 dpi for "MS Sans Serif" 8 pt (6 by 13 pixels),
// scaled with the point size (MulDiv(6, points, 8) by MulDiv(13, points, 8)) whatever the face.
// The system font is "System" 10 pt with base units of 8 by 16, which is what
// GetDialogBaseUnits answers. Font handles live as long as the process.
#pragma once

#include <string>
#include <string_view>

#include "flanger_user32.h"

namespace flanger::platform::user32 {

struct FontInfo {
    std::string faceName;
    int pointSize = 0;
    int baseUnitX = 0;
    int baseUnitY = 0;
};

constexpr int kSystemBaseUnitX = 8;
constexpr int kSystemBaseUnitY = 16;

// The longest face name kept, as LOGFONT's LF_FACESIZE less its NUL.
constexpr std::size_t kMaxFaceNameLength = 31;

// The handle of the font with this face and size (the same handle for the same font; the face
// compares without regard to ASCII case). A size of 0 or less gives the system font's base
// units. LayerMutex() held; throws std::bad_alloc.
HFONT FindOrAddFont(std::string_view faceName, int pointSize);

// The system font's handle. LayerMutex() held; throws std::bad_alloc.
HFONT SystemFont();

// The font behind a handle; false for a handle that is none. LayerMutex() held.
bool DescribeFont(HFONT font, FontInfo& info);

// The font a window keeps from WM_SETFONT (controls and dialogs store it here, so that painters
// find it without sending a message). Take the lock themselves; never throw.
void StoreWindowFont(HWND window, HFONT font) noexcept;
HFONT StoredWindowFont(HWND window) noexcept;

// Windows' MulDiv: a * b / c rounded half away from zero, -1 when c is 0 or on overflow.
int MulDiv(int a, int b, int c);

}  // namespace flanger::platform::user32
