// A thread's message queue: the messages posted to the thread and its windows, the quit
// request, and the thread's keyboard focus.
//
// A queue is created when its thread first needs one and shared with the windows the thread
// creates, so that any thread can post to them. All fields are guarded by LayerMutex().
#pragma once

#include <condition_variable>
#include <deque>
#include <memory>
#include <thread>

#include "flanger_user32.h"

namespace flanger::platform::user32 {

struct ThreadQueue {
    std::thread::id thread;
    std::deque<MSG> posted;  // in posting order
    bool quitPosted = false;
    int quitCode = 0;
    HWND focus = nullptr;
    std::condition_variable wake;  // signalled on every post and quit request
};

// The calling thread's queue, created on first use. Throws std::bad_alloc.
const std::shared_ptr<ThreadQueue>& CallingThreadQueue();

// Drops the messages posted to `window` (which is going away). LayerMutex() held.
void DropPostedMessages(ThreadQueue& queue, HWND window);

}  // namespace flanger::platform::user32
