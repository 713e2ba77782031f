// What the plug-in framework behind the VST3 plug-ins asks of a plug-in at compile time. One
// library is built per channel count (FLANGER_VST3_CHANNELS, 1 or 2): the framework's VST3
// module carries one plug-in.
#pragma once

#if FLANGER_VST3_CHANNELS == 1
#define DISTRHO_PLUGIN_NAME "Flanger"
#define DISTRHO_PLUGIN_URI "urn:vornak:flanger:mono"
#else
#define DISTRHO_PLUGIN_NAME "Flanger (stereo)"
#define DISTRHO_PLUGIN_URI "urn:vornak:flanger:stereo"
#endif
#define DISTRHO_PLUGIN_BRAND "Vornak"
#define DISTRHO_PLUGIN_NUM_INPUTS FLANGER_VST3_CHANNELS
#define DISTRHO_PLUGIN_NUM_OUTPUTS FLANGER_VST3_CHANNELS
// The editor, where the plug-ins' window is built (FLANGER_VST3_EDITOR): an external window to
// the framework, the view embedding it in the host's X11 window or HWND. The UI and
// the processor stay one object (direct access), so that the plug-in is one class, as without
// the editor, and the UI reaches the plug-in through the framework's messages only.
#if FLANGER_VST3_EDITOR
#define DISTRHO_PLUGIN_HAS_UI 1
#define DISTRHO_PLUGIN_HAS_EXTERNAL_UI 1
#define DISTRHO_PLUGIN_HAS_EMBED_UI 1
#define DISTRHO_PLUGIN_WANT_DIRECT_ACCESS 1
#else
#define DISTRHO_PLUGIN_HAS_UI 0
#endif
#define DISTRHO_PLUGIN_IS_RT_SAFE 1
#define DISTRHO_PLUGIN_IS_SYNTH 0
#define DISTRHO_PLUGIN_WANT_PROGRAMS 0
#define DISTRHO_PLUGIN_WANT_STATE 0
#define DISTRHO_PLUGIN_VST3_CATEGORIES "Fx|Modulation"
