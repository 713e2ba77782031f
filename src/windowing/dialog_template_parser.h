// Reading a binary dialog template (DLGTEMPLATE and its items) into plain values.
//
// CreateDialogIndirectParamA has no size argument, so every read is checked against what is
// known of the template's extent: the rest of the resource it lies in when it came from
// LockResource, otherwise nothing (the caller vouches for a complete template). On top of that
// every string must end within kMaxTemplateString units and a template may hold at most
// kMaxTemplateItems controls, so a damaged template is refused rather than read without end.
// Extended templates (DLGTEMPLATEEX, starting with 0x0001 0xFFFF) are refused.
//
// Items start on 4-byte boundaries counted from the template's start (the same as Windows'
// absolute alignment for the 4-byte aligned templates that resources are). Creation data is
// skipped as USER32 skips it: the size word, then size / 2 further words.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "windowing/user32.h"

namespace flanger::platform {

constexpr std::size_t kMaxTemplateString = 4096;  // UTF-16 units, without the terminator
constexpr std::size_t kMaxTemplateItems = 1024;

struct TemplateItem {
    DWORD style = 0;
    DWORD exStyle = 0;
    short x = 0, y = 0, cx = 0, cy = 0;
    WORD id = 0;
    // UTF-8; a predefined atom is turned into its class name ("Button", "Edit", "Static",
    // "ListBox", "ScrollBar", "ComboBox"); an unknown atom leaves it empty.
    std::string className;
    std::string text;                    // UTF-8; a resource ordinal gives empty text
    const void* creationData = nullptr;  // the size word of the creation data, or null
};

struct DialogTemplate {
    DWORD style = 0;
    DWORD exStyle = 0;
    short x = 0, y = 0, cx = 0, cy = 0;
    WORD classAtom = 0;     // a class given as an ordinal
    std::string className;  // a class given as a string; both empty: the dialog class
    std::string caption;
    bool hasFont = false;
    int pointSize = 0;  // 0x7FFF: the message font
    std::string faceName;
    std::vector<TemplateItem> items;
};

enum class TemplateProblem { None, Extended, Truncated, BadString, TooManyItems };

// Parses the template at `data`, of which `available` bytes may be read (SIZE_MAX when the
// extent is unknown). Throws std::bad_alloc.
TemplateProblem ParseDialogTemplate(const unsigned char* data, std::size_t available,
                                    DialogTemplate& result);

}  // namespace flanger::platform
