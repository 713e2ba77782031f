// Posted messages: each thread's queue, PostMessageA from any thread, and GetMessageA and
// PeekMessageA on the owner's thread.
//
// As on Windows: a window filter takes the window's and its descendants' messages (-1 takes
// only the thread's own messages, posted with a null window); a range filter of 0, 0 takes
// every message; WM_QUIT from PostQuitMessage comes when no other message matches, whatever the
// filters. Messages for windows destroyed since they were posted are dropped.
//
// A display backend's events become posted messages when a thread looks at its queue: both
// calls let the backend poll first, and GetMessageA then waits in short slices, polling again.
#include <chrono>
#include <iterator>
#include <mutex>

#include "windowing/posix/user32/api_guard.h"
#include "windowing/posix/user32/thread_queue.h"
#include "windowing/posix/user32/window_backend.h"
#include "windowing/posix/user32/window_table.h"

namespace flanger::platform::user32 {
namespace {

// The filter of GetMessageA and PeekMessageA for the thread's own messages.
const HWND kThreadMessagesOnly = reinterpret_cast<HWND>(static_cast<intptr_t>(-1));

DWORD MessageTime() {
    const auto now = std::chrono::steady_clock::now().time_since_epoch();
    return static_cast<DWORD>(std::chrono::duration_cast<std::chrono::milliseconds>(now).count());
}

bool InRange(UINT message, UINT first, UINT last) {
    if (first == 0 && last == 0) {
        return true;
    }
    return message >= first && message <= last;
}

// LayerMutex() held.
bool MatchesWindow(HWND target, HWND filter) {
    if (filter == nullptr) {
        return true;
    }
    if (filter == kThreadMessagesOnly) {
        return target == nullptr;
    }
    for (HWND current = target; current != nullptr;) {
        if (current == filter) {
            return true;
        }
        const Window* window = Windows().Find(current);
        current = window != nullptr ? window->parent : nullptr;
    }
    return false;
}

enum class Retrieved { Nothing, Message };

// Takes (or with `remove` false, copies) the first message that passes the filters.
// LayerMutex() held.
Retrieved Retrieve(ThreadQueue& queue, MSG& message, HWND filter, UINT first, UINT last,
                   bool remove) {
    for (auto it = queue.posted.begin(); it != queue.posted.end();) {
        if (it->hwnd != nullptr && Windows().Find(it->hwnd) == nullptr) {
            it = queue.posted.erase(it);
            continue;
        }
        if (MatchesWindow(it->hwnd, filter) && InRange(it->message, first, last)) {
            message = *it;
            if (remove) {
                queue.posted.erase(it);
            }
            return Retrieved::Message;
        }
        ++it;
    }
    if (queue.quitPosted) {
        message = MSG{};
        message.message = WM_QUIT;
        message.wParam = static_cast<WPARAM>(queue.quitCode);
        message.time = MessageTime();
        if (remove) {
            queue.quitPosted = false;
        }
        return Retrieved::Message;
    }
    return Retrieved::Nothing;
}

// A window filter must be a window of the calling thread (or null, or -1). LayerMutex() held.
bool IsUsableFilter(HWND filter) {
    if (filter == nullptr || filter == kThreadMessagesOnly) {
        return true;
    }
    const Window* window = Windows().Find(filter);
    return window != nullptr && window->thread == std::this_thread::get_id();
}

}  // namespace

const std::shared_ptr<ThreadQueue>& CallingThreadQueue() {
    thread_local std::shared_ptr<ThreadQueue> queue;
    if (queue == nullptr) {
        queue = std::make_shared<ThreadQueue>();
        queue->thread = std::this_thread::get_id();
    }
    return queue;
}

void DropPostedMessages(ThreadQueue& queue, HWND window) {
    std::erase_if(queue.posted, [window](const MSG& message) { return message.hwnd == window; });
}

}  // namespace flanger::platform::user32

using namespace flanger::platform::user32;

extern "C" {

BOOL PostMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    BOOL posted = FALSE;
    RunGuarded([&] {
        MSG queued{window, message, wParam, lParam, MessageTime(), {0, 0}};
        std::shared_ptr<ThreadQueue> queue;
        if (window == nullptr) {
            queue = CallingThreadQueue();
        }
        std::lock_guard lock(LayerMutex());
        if (window != nullptr) {
            const Window* target = Windows().Find(window);
            if (target == nullptr) {
                SetLastError(ERROR_INVALID_WINDOW_HANDLE);
                return;
            }
            queue = target->queue;
        }
        queue->posted.push_back(queued);
        queue->wake.notify_all();
        posted = TRUE;
    });
    return posted;
}

void PostQuitMessage(int exitCode) {
    RunGuarded([&] {
        const std::shared_ptr<ThreadQueue>& queue = CallingThreadQueue();
        std::lock_guard lock(LayerMutex());
        queue->quitPosted = true;
        queue->quitCode = exitCode;
        queue->wake.notify_all();
    });
}

BOOL GetMessageA(LPMSG message, HWND window, UINT filterMin, UINT filterMax) {
    if (message == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return -1;
    }
    BOOL result = -1;
    RunGuarded([&] {
        const std::shared_ptr<ThreadQueue>& queue = CallingThreadQueue();
        WindowBackend& backend = Backend();
        backend.Poll();
        std::unique_lock lock(LayerMutex());
        for (;;) {
            // Checked on every wake-up: the filter window may be destroyed meanwhile.
            if (!IsUsableFilter(window)) {
                SetLastError(ERROR_INVALID_WINDOW_HANDLE);
                return;
            }
            if (Retrieve(*queue, *message, window, filterMin, filterMax, true) ==
                Retrieved::Message) {
                result = message->message == WM_QUIT ? FALSE : TRUE;
                return;
            }
            if (!backend.Polls()) {
                queue->wake.wait(lock);
                continue;
            }
            // The display is gone: no event will come again, so waiting would never end.
            if (backend.Lost()) {
                SetLastError(ERROR_INVALID_WINDOW_HANDLE);
                return;
            }
            // Short enough for a pointer drag to follow the hand.
            queue->wake.wait_for(lock, std::chrono::milliseconds(5));
            lock.unlock();
            backend.Poll();
            lock.lock();
        }
    });
    return result;
}

BOOL PeekMessageA(LPMSG message, HWND window, UINT filterMin, UINT filterMax, UINT removeFlags) {
    if (message == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    BOOL found = FALSE;
    RunGuarded([&] {
        const std::shared_ptr<ThreadQueue>& queue = CallingThreadQueue();
        Backend().Poll();
        std::lock_guard lock(LayerMutex());
        if (!IsUsableFilter(window)) {
            SetLastError(ERROR_INVALID_WINDOW_HANDLE);
            return;
        }
        found = Retrieve(*queue, *message, window, filterMin, filterMax,
                         (removeFlags & PM_REMOVE) != 0) == Retrieved::Message;
    });
    return found;
}

BOOL TranslateMessage(const MSG* message) {
    // No character messages are made (there is no keyboard layout); the result is what
    // Windows answers for key messages, whether or not it made one.
    return message != nullptr && (message->message == WM_KEYDOWN || message->message == WM_KEYUP)
               ? TRUE
               : FALSE;
}

}  // extern "C"
