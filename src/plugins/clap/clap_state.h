// The bytes a CLAP host keeps for an instance (clap.state): the control values, tagged with their
// parameter ids so that a state saved before a control was added still loads.
//
// Layout, every number little-endian:
//   "VFLS"                  4 bytes, the format's mark
//   version                 uint32, kClapStateVersion
//   count                   uint32, the pairs that follow, at most kControlCount
//   count x (id, value)     uint32 parameter id (the control's index in kControls), then the
//                           control's port value as the bits of an IEEE float
// Nothing may follow the pairs. A newer version is refused rather than guessed at.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "effect/effect_controls.h"
#include "plugins/plugin_ports.h"

namespace flanger::plugins {

inline constexpr std::uint32_t kClapStateVersion = 1;
inline constexpr std::size_t kClapStateHeaderBytes = 12;
inline constexpr std::size_t kClapStateMaxBytes = kClapStateHeaderBytes + 8 * kControlCount;

using ClapStateBytes = std::array<std::uint8_t, kClapStateMaxBytes>;

// The state of the controls a plug-in with `channels` channels has; the bytes used.
std::size_t EncodeClapState(std::uint32_t channels, const ControlValues& values,
                            ClapStateBytes& bytes);

// Reads a state written by EncodeClapState. The controls it does not name take their defaults.
// False, and `values` untouched, for anything else: a wrong mark or version, a length that does
// not match the count, an id the plug-in does not have or that comes twice, a value that is not
// a finite number.
bool DecodeClapState(std::uint32_t channels, const std::uint8_t* bytes, std::size_t size,
                     ControlValues& values);

}  // namespace flanger::plugins
