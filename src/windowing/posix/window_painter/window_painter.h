// Draws a window and its descendants as Windows draws them in the classic look: light grey
// faces, sunken frames, check boxes with a tick, trackbar channels and thumbs.
//
// The windowing layer keeps its windows in memory and draws nothing, so this painter reads
// everything it draws from the window tree through the layer's API: the children in window
// order, each one's class, text, style and rectangle, a trackbar's channel, thumb and position, a
// check box's state and the dialog font. Painting onto a cairo context is kept apart from writing
// a PNG file, so that an on-screen backend can paint its windows with the same code.
#pragma once

#include <cstdint>
#include <string>

#include "windowing/user32.h"

// cairo's context type, declared as cairo.h declares it; only the painter includes cairo.h.
typedef struct _cairo cairo_t;

namespace flanger::platform {

// The classic system colours the painter uses, as 0xRRGGBB.
namespace classic_colour {
inline constexpr std::uint32_t kFace = 0xD4D0C8;        // dialogs, controls, thumbs
inline constexpr std::uint32_t kHighlight = 0xFFFFFF;   // lit edges
inline constexpr std::uint32_t kLight = 0xD4D0C8;       // inner lit edges
inline constexpr std::uint32_t kShadow = 0x808080;      // shaded edges, disabled text
inline constexpr std::uint32_t kDarkShadow = 0x404040;  // outer shaded edges of raised parts
inline constexpr std::uint32_t kWindow = 0xFFFFFF;      // inside a check box
inline constexpr std::uint32_t kText = 0x000000;        // text and ticks
}  // namespace classic_colour

// Paints `window` and its visible descendants onto `context`, with the window's client area's
// top-left corner at the context's origin and one unit per pixel. The window itself is painted
// whether or not it is visible; a descendant whose WS_VISIBLE style is clear is skipped with its
// own descendants. Children are clipped to their parent. Does nothing for an invalid window.
void PaintWindowTree(cairo_t* context, HWND window);

// Paints the window tree into an image of the window's client size and writes it as a PNG to
// the open file `descriptor` (which stays open). False with the reason in `error` when the
// window is invalid or has an empty client area, or when the image cannot be made or written.
bool WriteWindowPng(HWND window, int descriptor, std::string& error);

// Releases the font caches that painting text fills for the life of the process (cairo's and
// fontconfig's), so that a memory checker finds nothing left at exit. For the end of a program,
// after its last paint, with no cairo object left; painting afterwards fills them again.
void ReleaseFontCaches();

}  // namespace flanger::platform
