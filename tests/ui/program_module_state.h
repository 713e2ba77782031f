// For test programs that link the settings window's code directly: starts this program up as
// the module starts up (its own resources entered, no application object), once.
#pragma once

namespace flanger::test {

void StartProgramAsTheModule();

}  // namespace flanger::test
