// The bytes a VST3 host keeps for an instance (the component's state), as the first release of
// these plug-ins wrote them, so that sessions saved then load now and the other way round.
//
// Layout: strings, each ended by a 0 byte, then the byte 0xfe and a last 0 byte:
//   "__dpf_parameters_begin__"
//   symbol, value           for each parameter in id order (vst3_parameters.h's SymbolOf; the
//                           plain value, "%d" for whole numbers, else as "%.12g" prints it)
//   "__dpf_parameters_end__"
// A reader takes the pairs by symbol, so that parameters may come in any order or be missing;
// it skips a program ("__dpf_program__", value) before them and a section of named strings
// between "__dpf_state_begin__" and "__dpf_state_end__", which these plug-ins never wrote.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "plugins/plugin_ports.h"

namespace flanger::plugins::vst3 {

inline constexpr std::size_t kStateMaxBytes = 1024;
using StateBytes = std::array<char, kStateMaxBytes>;

// The state of the port values `ports`; the bytes used.
std::size_t EncodeState(const ControlValues& ports, StateBytes& bytes);

// Reads `size` bytes of a state into `ports`, which keep their values for parameters it does not
// name. False, and `ports` untouched, where the bytes end before the 0xfe or their sections are
// out of order.
bool DecodeState(const char* bytes, std::size_t size, ControlValues& ports);

}  // namespace flanger::plugins::vst3
