/*
 * flanger_resource_library.h - how to build a translated resource library for the plug-in.
 *
 * At load time the plug-in reads "Language.xml" from the host's current directory. When its
 * root element has an attribute "Path" (the name compares without regard to case), the plug-in
 * loads the library it names and looks up its settings window (dialog 22802) there first; where
 * the library has no such dialog, the plug-in's own window is used. The library stays loaded
 * until the process ends.
 *
 *   <Language Path="/usr/lib/flanger/Plugin_de.so"/>
 *
 * The path goes to the system's loader as written, so an absolute one is safest. On Linux a
 * relative path with a slash is taken from the host's current directory, and a bare file name is
 * searched for along the library path (LD_LIBRARY_PATH and the system's directories), not in the
 * current directory.
 *
 * On Windows a resource library is a resource-only DLL holding DIALOG 22802. On Linux it is a
 * shared object that exports one C function:
 *
 *   const void* FlangerFindResource(uint32_t type, uint32_t name, uint32_t* size);
 *
 * It returns the bytes of resource `name` of resource type `type` (5 for a dialog) and stores
 * their count in *size, or returns null when it has no such resource. The bytes must stay valid
 * and unchanged while the library is loaded and must be aligned to 4 bytes. A dialog resource is
 * a dialog template in the binary layout of Windows (DLGTEMPLATE, UTF-16LE texts, see
 * flanger_user32.h), exactly what a resource compiler writes for a DIALOG statement. This
 * project's German library (src/ui/german) has its template written as a resource script, which
 * cmake/FlangerDialogTable.cmake reads into a table, and has flanger::platform::BuildDialogTemplate
 * (src/windowing/dialog_template.h) make the bytes from the table.
 *
 * A replacement for dialog 22802 must contain the controls the plug-in binds, with the same
 * kinds: trackbars ("msctls_trackbar32") 22805 Delay, 22806 Width, 22809 Speed, 22812 Depth,
 * 22815 Feedback; static value labels 22807, 22808, 22810, 22816, 22817 (in that order of
 * trackbars); automatic check boxes 22818 "Sine" and 22819 "Feedback". Captions, other texts,
 * the font, positions and sizes may differ. A template that lacks one of these controls gives no
 * settings window (CreateSettingsWindow returns null).
 */
#ifndef FLANGER_RESOURCE_LIBRARY_H
#define FLANGER_RESOURCE_LIBRARY_H

#include <stdint.h>

/* The entry point's name, for dlsym. */
#define FLANGER_FIND_RESOURCE_ENTRY "FlangerFindResource"
/* Resource types and the settings window's dialog. */
#define FLANGER_RESOURCE_TYPE_DIALOG 5u
#define FLANGER_SETTINGS_DIALOG_ID 22802u

#ifdef __cplusplus
extern "C" {
#endif

typedef const void* (*FlangerFindResourceFunction)(uint32_t type, uint32_t name, uint32_t* size);

#ifdef __cplusplus
}
#endif

#endif /* FLANGER_RESOURCE_LIBRARY_H */
