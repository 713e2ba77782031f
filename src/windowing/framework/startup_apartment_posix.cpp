// The start-up's COM apartment on Linux: none is needed (see startup_apartment.h).
#include "windowing/framework/startup_apartment.h"

namespace flanger::framework {

void RunInStartupApartment(void (*work)() noexcept) noexcept { work(); }

}  // namespace flanger::framework
