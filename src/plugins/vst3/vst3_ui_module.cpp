// The framework's VST3 editor (its view, the messages between view and controller, the host's
// run-loop timer), built from Debian's dpf-source with this folder's DistrhoPluginInfo.h. It is
// included as a system file: its warnings are not ours to fix.
#include <DistrhoUIMain.cpp>
