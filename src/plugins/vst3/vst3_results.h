// The format's results as the v3_result its calls return. On Windows its error codes are COM's
// (0x80004002 and the like), which the enum holds above INT32_MAX: they are converted here once.
#pragma once

#include <travesty/base.h>

namespace flanger::plugins::vst3 {

inline constexpr v3_result kOk = V3_OK;
inline constexpr v3_result kFalse = V3_FALSE;
inline constexpr v3_result kNoInterface = static_cast<v3_result>(V3_NO_INTERFACE);
inline constexpr v3_result kInvalidArgument = static_cast<v3_result>(V3_INVALID_ARG);
inline constexpr v3_result kNotImplemented = static_cast<v3_result>(V3_NOT_IMPLEMENTED);
inline constexpr v3_result kInternalError = static_cast<v3_result>(V3_INTERNAL_ERR);
inline constexpr v3_result kNotInitialized = static_cast<v3_result>(V3_NOT_INITIALIZED);
inline constexpr v3_result kOutOfMemory = static_cast<v3_result>(V3_NOMEM);

}  // namespace flanger::plugins::vst3
