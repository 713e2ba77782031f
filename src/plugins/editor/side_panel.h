// The plug-in's controls that the module's record does not hold (the kControls rows of
// ControlHome::Live: invert feedback, mix, stereo spread, level, enabled), shown beside the
// module's settings dialog in the plug-in's window.
//
// Made from the table alone, so that a row added later appears without code here: a check box
// for a switch; for a number its label, a horizontal trackbar over the control's grid (1/Scale
// steps from Minimum to Maximum) and the value as text. The panel holds no values of its own:
// the editor hands it the port values to show and asks it what a notification changed.
//
// Threading: the thread that owns the parent window (the host's UI thread).
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "effect/effect_controls.h"
#include "plugins/plugin_ports.h"
#include "windowing/user32.h"

namespace flanger::plugins {

class SidePanel {
public:
    struct Size {
        int Width;
        int Height;
    };

    // Makes the controls of a plug-in with `channels` channels as children of `parent`, `left`
    // pixels from its left edge, laid out in the dialog units and drawn in the font of
    // `dialog`. Returns the panel's size in pixels; {0, 0} when a control could not be made
    // (whatever was made stays with `parent`).
    Size Create(HWND parent, HWND dialog, std::uint32_t channels, int left);

    // Shows `values`: each clamped into its range and onto its grid, a switch on above 0.
    void Show(const ControlValues& values);

    // A WM_COMMAND or WM_HSCROLL that `child` sent to the parent: when it is one of the panel's
    // controls, its control index and value go to `control` and `value` and the value's text
    // follows; false for anyone else's window.
    bool Read(HWND child, std::uint32_t& control, float& value);

private:
    struct Row {
        std::uint32_t Control;
        HWND Input;   // the check box or the trackbar
        HWND Number;  // the value's text; null for a switch
    };

    void ShowNumber(const Row& row, LONG position);

    std::vector<Row> Rows;
};

}  // namespace flanger::plugins
