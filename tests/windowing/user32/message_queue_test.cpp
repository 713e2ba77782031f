// Posted messages: filters by window and range, leaving messages in the queue, WM_QUIT after
// the rest, dispatching, posting from another thread, and messages for windows that are gone.
#include <chrono>
#include <thread>

#include "window_test_support.h"

namespace flanger::platform::test {
namespace {

using Lines = std::vector<std::string>;
const HWND kThreadMessagesOnly = reinterpret_cast<HWND>(static_cast<intptr_t>(-1));

class MessageQueueTest : public WindowTest {
protected:
    // Removes the messages that pass the filters, as "name offset-from-WM_USER" lines; thread
    // messages are named T.
    Lines Drain(HWND filter, UINT first, UINT last) {
        Lines taken;
        MSG message{};
        while (PeekMessageA(&message, filter, first, last, PM_REMOVE)) {
            const std::string name = message.hwnd == nullptr ? "T"
                                     : message.hwnd == p     ? "P"
                                     : message.hwnd == a     ? "A"
                                                             : "Q";
            taken.push_back(name + " " + std::to_string(message.message - WM_USER));
        }
        return taken;
    }

    HWND p = nullptr, a = nullptr, q = nullptr;
};

TEST_F(MessageQueueTest, FiltersTakeTheirMessagesInPostingOrder) {
    p = MakeWindow("P");
    a = MakeWindow("A", p, WS_CHILD);
    q = MakeWindow("Q");
    const struct {
        const char* what;
        HWND filter;
        UINT first, last;
        Lines expected;
    } cases[] = {
        {"everything", nullptr, 0, 0, {"P 1", "A 2", "Q 3", "T 4", "P 5"}},
        {"a window and its child", p, 0, 0, {"P 1", "A 2", "P 5"}},
        {"the child alone", a, 0, 0, {"A 2"}},
        {"thread messages", kThreadMessagesOnly, 0, 0, {"T 4"}},
        {"a range", nullptr, WM_USER + 2, WM_USER + 4, {"A 2", "Q 3", "T 4"}},
        {"a window and a range", p, WM_USER + 2, WM_USER + 5, {"A 2", "P 5"}},
        {"an empty range", nullptr, WM_USER + 9, WM_USER + 9, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Drain(nullptr, 0, 0);
        ASSERT_TRUE(PostMessageA(p, WM_USER + 1, 0, 0));
        ASSERT_TRUE(PostMessageA(a, WM_USER + 2, 0, 0));
        ASSERT_TRUE(PostMessageA(q, WM_USER + 3, 0, 0));
        ASSERT_TRUE(PostMessageA(nullptr, WM_USER + 4, 0, 0));
        ASSERT_TRUE(PostMessageA(p, WM_USER + 5, 0, 0));
        EXPECT_EQ(Drain(c.filter, c.first, c.last), c.expected);
    }
}

TEST_F(MessageQueueTest, PeekingWithoutRemovingLeavesTheMessage) {
    p = MakeWindow("P");
    ASSERT_TRUE(PostMessageA(p, WM_USER, 11, 22));
    MSG message{};
    for (int i = 0; i < 2; ++i) {
        ASSERT_TRUE(PeekMessageA(&message, nullptr, 0, 0, PM_NOREMOVE));
        EXPECT_EQ(message.hwnd, p);
        EXPECT_EQ(message.wParam, 11u);
    }
    EXPECT_EQ(GetMessageA(&message, nullptr, 0, 0), TRUE);
    EXPECT_EQ(message.lParam, 22);
    EXPECT_FALSE(PeekMessageA(&message, nullptr, 0, 0, PM_NOREMOVE));
}

TEST_F(MessageQueueTest, QuitComesAfterThePostedMessagesWhateverTheFilter) {
    p = MakeWindow("P");
    PostQuitMessage(7);
    ASSERT_TRUE(PostMessageA(p, WM_USER, 0, 0));
    MSG message{};
    EXPECT_EQ(GetMessageA(&message, nullptr, 0, 0), TRUE);
    EXPECT_EQ(message.message, static_cast<UINT>(WM_USER));
    // WM_QUIT passes any filter and stays until removed.
    ASSERT_TRUE(PeekMessageA(&message, p, WM_USER + 5, WM_USER + 6, PM_NOREMOVE));
    EXPECT_EQ(message.message, static_cast<UINT>(WM_QUIT));
    EXPECT_EQ(GetMessageA(&message, nullptr, 0, 0), FALSE);
    EXPECT_EQ(message.message, static_cast<UINT>(WM_QUIT));
    EXPECT_EQ(message.wParam, 7u);
    EXPECT_EQ(message.hwnd, nullptr);
    EXPECT_FALSE(PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE));
}

TEST_F(MessageQueueTest, DispatchCallsTheWindowsProcedure) {
    p = MakeWindow("P");
    SetReaction(
        [&](HWND window, UINT message, WPARAM wParam, LPARAM lParam) -> std::optional<LRESULT> {
            if (window == p && message == WM_USER) {
                return static_cast<LRESULT>(wParam + lParam);
            }
            return std::nullopt;
        });
    ASSERT_TRUE(PostMessageA(p, WM_USER, 40, 2));
    ASSERT_TRUE(PostMessageA(nullptr, WM_USER, 1, 1));
    MSG message{};
    ASSERT_EQ(GetMessageA(&message, nullptr, 0, 0), TRUE);
    EXPECT_FALSE(TranslateMessage(&message));
    EXPECT_EQ(DispatchMessageA(&message), 42);
    ASSERT_EQ(GetMessageA(&message, nullptr, 0, 0), TRUE);
    EXPECT_EQ(DispatchMessageA(&message), 0);  // a thread message has no procedure
    EXPECT_EQ(Trace({WM_USER}), (Lines{"P WM_USER"}));
}

TEST_F(MessageQueueTest, APostFromAnotherThreadWakesGetMessage) {
    p = MakeWindow("P");
    std::thread poster([window = p] {
        // Gives the owner time to block in GetMessageA; the result does not depend on it.
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        EXPECT_TRUE(PostMessageA(window, WM_USER + 3, 5, 6));
    });
    MSG message{};
    EXPECT_EQ(GetMessageA(&message, nullptr, 0, 0), TRUE);
    poster.join();
    EXPECT_EQ(message.hwnd, p);
    EXPECT_EQ(message.message, static_cast<UINT>(WM_USER + 3));
    EXPECT_EQ(message.wParam, 5u);
    EXPECT_EQ(message.lParam, 6);
}

TEST_F(MessageQueueTest, MessagesForDestroyedWindowsAreDropped) {
    p = MakeWindow("P");
    a = MakeWindow("A", p, WS_CHILD);
    ASSERT_TRUE(PostMessageA(a, WM_USER + 1, 0, 0));
    ASSERT_TRUE(PostMessageA(p, WM_USER + 2, 0, 0));
    ASSERT_TRUE(PostMessageA(a, WM_USER + 3, 0, 0));
    const HWND child = a;
    ASSERT_TRUE(DestroyWindow(child));
    EXPECT_EQ(Drain(nullptr, 0, 0), (Lines{"P 2"}));
    SetLastError(0);
    EXPECT_FALSE(PostMessageA(child, WM_USER, 0, 0));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_WINDOW_HANDLE));
    MSG message{};
    EXPECT_EQ(GetMessageA(&message, child, 0, 0), -1);
    EXPECT_EQ(GetMessageA(nullptr, nullptr, 0, 0), -1);
}

}  // namespace
}  // namespace flanger::platform::test
