// The ids hosts know the plug-in's class by, kept in their sessions: the first release's, four
// 32-bit words in the machine's byte order, 'DPF ', then 'clas' for the class and 'ctrl' for its
// controller (the same object), the plug-in's own word, and 0.
#pragma once

#include <cstdint>

#include "plugins/vst3/vst3_parameters.h"

namespace flanger::plugins::vst3 {

constexpr std::uint32_t IdWord(char a, char b, char c, char d) {
    return static_cast<std::uint32_t>(a) << 24 | static_cast<std::uint32_t>(b) << 16 |
           static_cast<std::uint32_t>(c) << 8 | static_cast<std::uint32_t>(d);
}
inline constexpr std::uint32_t kPluginWord =
    kChannels == 1 ? IdWord('V', 'F', 'l', 'm') : IdWord('V', 'F', 'l', 's');
inline constexpr std::uint32_t kClassWords[4] = {IdWord('D', 'P', 'F', ' '),
                                                 IdWord('c', 'l', 'a', 's'), kPluginWord, 0};
inline constexpr std::uint32_t kControllerWords[4] = {IdWord('D', 'P', 'F', ' '),
                                                      IdWord('c', 't', 'r', 'l'), kPluginWord, 0};
static_assert(sizeof kClassWords == 16, "a class id is 16 bytes");

}  // namespace flanger::plugins::vst3
