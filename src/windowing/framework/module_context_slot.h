// The per-thread slot that holds the current module context.
//
// Every module of the process that is written in this framework puts its own module state here
// while its code runs (see ModuleStateScope). On Linux the slot is the windowing layer's, which
// every module and the host share, so a host can see and set it; on Windows each module keeps
// its own slot in a thread-local variable. Exactly one of module_context_slot_*.cpp is built.
#pragma once

namespace flanger::framework {

// The context current on the calling thread (null until someone sets one).
void* GetCurrentModuleContext() noexcept;

// Makes `context` current on the calling thread and returns the previous one.
void* ExchangeCurrentModuleContext(void* context) noexcept;

}  // namespace flanger::framework
