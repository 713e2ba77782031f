// The framework's VST3 module (its entry points, factory, processor and controller), built from
// Debian's dpf-source with this folder's DistrhoPluginInfo.h. It is included as a system file:
// its warnings are not ours to fix.
#include <DistrhoPluginMain.cpp>
