#include "program_module_state.h"

#include "ui/own_resources.h"
#include "windowing/framework/module_startup.h"

namespace flanger::test {

void StartProgramAsTheModule() {
    static const bool started = [] {
        framework::AfxInitializeModule(ui::OwnResourceModule());
        return true;
    }();
    (void)started;
}

}  // namespace flanger::test
