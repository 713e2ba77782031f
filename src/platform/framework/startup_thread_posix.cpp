// The start-up thread on Linux: none is needed (see startup_thread.h).
#include "platform/framework/startup_thread.h"

namespace flanger::framework {

void RunOnStartupThread(void (*work)() noexcept) noexcept { work(); }

}  // namespace flanger::framework
