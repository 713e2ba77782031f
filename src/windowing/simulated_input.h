// A person at the mouse and keyboard, for tests and hosts that drive windows without a display.
//
// Every action is made of the window messages that the real input would produce (button down,
// moves and button up at pixel positions inside the control; key down and key up), sent to the
// control on the calling thread, so the controls answer exactly as they do to a person, and the
// same code drives the real controls on Windows. Only the windowing API is used.
#pragma once

#include "windowing/user32.h"

namespace flanger::platform {

// Presses the left button on the trackbar's thumb, moves the pointer in a few steps to the
// pixel that shows `toPosition` (the thumb follows: TB_THUMBTRACK on each change) and releases
// it (TB_THUMBPOSITION, then TB_ENDTRACK). Returns the trackbar's position afterwards, which is
// the nearest position the pixel grid reaches.
LONG DragThumb(HWND trackbar, LONG toPosition);

// Moves the pointer onto the thumb and presses and releases the button without moving: no
// change, but a release (TB_THUMBPOSITION, TB_ENDTRACK) as a real trackbar reports it.
void ClickThumb(HWND trackbar);

// Clicks in the channel beside the thumb, on the side of `towardPosition`: one page move
// (TB_PAGEUP or TB_PAGEDOWN), then TB_ENDTRACK on release. Returns the position afterwards.
LONG ClickChannel(HWND trackbar, LONG towardPosition);

// Presses and releases a key while `window` has the focus (WM_KEYDOWN, then WM_KEYUP).
void PressKey(HWND window, UINT virtualKey);

// Presses and releases the left button in the middle of a button control.
void ClickButton(HWND button);

}  // namespace flanger::platform
