// The flanger command's exit statuses besides 0 (success) and 130 (interrupted).
#pragma once

namespace flanger::tool {

inline constexpr int kExitFailure = 1;
inline constexpr int kExitUsage = 2;

}  // namespace flanger::tool
