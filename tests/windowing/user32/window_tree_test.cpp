// Windows as a host drives them: the tree and its walking, creation and destruction with their
// exact message sequences (also when procedures destroy windows themselves), stale handles,
// classes, subclassing, text, longs, geometry, visibility, focus and threads.
#include <algorithm>
#include <cstring>
#include <stdexcept>
#include <thread>

#include "window_test_support.h"

namespace flanger::platform::test {
namespace {

using Lines = std::vector<std::string>;

class WindowTreeTest : public WindowTest {};

TEST_F(WindowTreeTest, ChildrenAreWalkedInCreationOrder) {
    const HWND p = MakeWindow("P");
    const HWND a = MakeWindow("A", p, WS_CHILD);
    const HWND b = MakeWindow("B", p, WS_CHILD);
    const HWND c = MakeWindow("C", p, WS_CHILD);
    const HWND a1 = MakeWindow("A1", a, WS_CHILD);
    const HWND popup = MakeWindow("Q", a, WS_POPUP);  // owned by A's top-level window, P
    const struct {
        HWND window;
        UINT relation;
        HWND expected;
    } cases[] = {
        {p, GW_CHILD, a},          {a, GW_HWNDNEXT, b},        {b, GW_HWNDNEXT, c},
        {c, GW_HWNDNEXT, nullptr}, {c, GW_HWNDPREV, b},        {a, GW_HWNDPREV, nullptr},
        {b, GW_HWNDFIRST, a},      {b, GW_HWNDLAST, c},        {a, GW_CHILD, a1},
        {a1, GW_CHILD, nullptr},   {a1, GW_HWNDNEXT, nullptr}, {a, GW_OWNER, nullptr},
        {popup, GW_OWNER, p},      {popup, GW_CHILD, nullptr},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(GetWindow(c.window, c.relation), c.expected)
            << "window " << c.window << " relation " << c.relation;
    }
    EXPECT_EQ(GetParent(a), p);
    EXPECT_EQ(GetParent(a1), a);
    EXPECT_EQ(GetParent(popup), p);  // a popup answers with its owner
    EXPECT_EQ(GetParent(p), nullptr);

    char name[64];
    EXPECT_EQ(GetClassNameA(a, name, sizeof name), 22);
    EXPECT_STREQ(name, kRecordingClass);
    EXPECT_EQ(GetClassNameA(a, name, 6), 5);
    EXPECT_STREQ(name, "Flang");

    SetLastError(0);
    EXPECT_EQ(GetWindow(reinterpret_cast<HWND>(0x4), GW_CHILD), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_WINDOW_HANDLE));
}

// The windows of one destruction test: P with children A (with A1) and B.
struct Tree {
    HWND p, a, a1, b;
};

Tree MakeTree() {
    Tree tree{};
    tree.p = MakeWindow("P");
    tree.a = MakeWindow("A", tree.p, WS_CHILD);
    tree.a1 = MakeWindow("A1", tree.a, WS_CHILD);
    tree.b = MakeWindow("B", tree.p, WS_CHILD);
    return tree;
}

TEST_F(WindowTreeTest, DestructionSendsDestroyParentsFirstAndNcDestroyChildrenFirst) {
    const Tree tree = MakeTree();
    Log().clear();
    std::vector<std::string> aliveAtNcDestroy;
    SetReaction([&](HWND window, UINT message, WPARAM, LPARAM) -> std::optional<LRESULT> {
        if (message == WM_NCDESTROY && IsWindow(window)) {
            aliveAtNcDestroy.push_back(Trace({WM_NCDESTROY}).back());
        }
        return std::nullopt;
    });
    EXPECT_TRUE(DestroyWindow(tree.p));
    EXPECT_EQ(Trace({WM_DESTROY, WM_NCDESTROY}),
              (Lines{"P WM_DESTROY", "A WM_DESTROY", "A1 WM_DESTROY", "B WM_DESTROY",
                     "A1 WM_NCDESTROY", "A WM_NCDESTROY", "B WM_NCDESTROY", "P WM_NCDESTROY"}));
    EXPECT_EQ(aliveAtNcDestroy.size(), 4u);  // each handle is still valid during its last message
    for (HWND window : {tree.p, tree.a, tree.a1, tree.b}) {
        EXPECT_FALSE(IsWindow(window));
    }
}

TEST_F(WindowTreeTest, DestroyingAFocusedVisibleChildHidesItAndHandsTheFocusToItsParent) {
    const HWND p = MakeWindow("P");
    const HWND c = MakeWindow("C", p, WS_CHILD | WS_VISIBLE);
    SetFocus(c);
    Log().clear();
    EXPECT_TRUE(DestroyWindow(c));
    EXPECT_EQ(Trace({WM_SHOWWINDOW, WM_KILLFOCUS, WM_SETFOCUS, WM_DESTROY, WM_NCDESTROY}),
              (Lines{"C WM_SHOWWINDOW", "C WM_KILLFOCUS", "P WM_SETFOCUS", "C WM_DESTROY",
                     "C WM_NCDESTROY"}));
    EXPECT_EQ(GetFocus(), p);
    EXPECT_EQ(GetWindow(p, GW_CHILD), nullptr);
}

TEST_F(WindowTreeTest, ProceduresMayDestroyWindowsDuringDestruction) {
    // Each case reacts to one message of one window of the tree; the trace shows WM_DESTROY
    // (D), WM_NCDESTROY (N) and WM_USER (U) as they came.
    enum Who { kP, kA, kA1, kB };
    const struct {
        const char* what;
        Who who;
        UINT on;
        std::function<void(const Tree&)> act;
        std::vector<std::string> expected;
    } cases[] = {
        {"a child destroys its parent, whose destruction is under way",
         kA,
         WM_DESTROY,
         [](const Tree& t) { EXPECT_TRUE(DestroyWindow(t.p)); },
         {"P D", "A D", "A1 D", "B D", "A1 N", "A N", "B N", "P N"}},
        {"a window destroys itself while getting WM_DESTROY",
         kA,
         WM_DESTROY,
         [](const Tree& t) { EXPECT_TRUE(DestroyWindow(t.a)); },
         {"P D", "A D", "A1 D", "B D", "A1 N", "A N", "B N", "P N"}},
        {"the parent destroys a child before the child's WM_DESTROY",
         kP,
         WM_DESTROY,
         [](const Tree& t) { EXPECT_TRUE(DestroyWindow(t.a)); },
         {"P D", "A D", "A1 D", "A1 N", "A N", "B D", "B N", "P N"}},
        {"a child destroys its sibling",
         kA,
         WM_DESTROY,
         [](const Tree& t) { EXPECT_TRUE(DestroyWindow(t.b)); },
         {"P D", "A D", "B D", "B N", "A1 D", "A1 N", "A N", "P N"}},
        {"a dying window sends to its parent and to itself",
         kA1,
         WM_NCDESTROY,
         [](const Tree& t) {
             SendMessageA(t.p, WM_USER, 0, 0);
             SendMessageA(t.a1, WM_USER, 0, 0);
         },
         {"P D", "A D", "A1 D", "B D", "A1 N", "P U", "A1 U", "A N", "B N", "P N"}},
        {"the parent's last message finds its children gone",
         kP,
         WM_NCDESTROY,
         [](const Tree& t) {
             EXPECT_TRUE(IsWindow(t.p));
             EXPECT_EQ(GetWindow(t.p, GW_CHILD), nullptr);
             EXPECT_FALSE(IsWindow(t.a1));
         },
         {"P D", "A D", "A1 D", "B D", "A1 N", "A N", "B N", "P N"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const Tree tree = MakeTree();
        const HWND target[] = {tree.p, tree.a, tree.a1, tree.b};
        Log().clear();
        bool acted = false;
        SetReaction([&](HWND window, UINT message, WPARAM, LPARAM) -> std::optional<LRESULT> {
            if (!acted && window == target[c.who] && message == c.on) {
                acted = true;
                c.act(tree);
            }
            return std::nullopt;
        });
        EXPECT_TRUE(DestroyWindow(tree.p));
        SetReaction(nullptr);
        std::vector<std::string> trace;
        for (std::string line : Trace({WM_DESTROY, WM_NCDESTROY, WM_USER})) {
            const auto space = line.find(' ');
            const std::string message = line.substr(space + 1);
            trace.push_back(line.substr(0, space + 1) + (message == "WM_DESTROY"     ? "D"
                                                         : message == "WM_NCDESTROY" ? "N"
                                                                                     : "U"));
        }
        EXPECT_EQ(trace, c.expected);
        for (HWND window : target) {
            EXPECT_FALSE(IsWindow(window));
        }
    }
}

TEST_F(WindowTreeTest, AProcedureMayDestroyItsOwnWindowWhileHandlingAMessage) {
    const HWND p = MakeWindow("P");
    const HWND a = MakeWindow("A", p, WS_CHILD);
    SetReaction([&](HWND window, UINT message, WPARAM, LPARAM) -> std::optional<LRESULT> {
        if (window == p && message == WM_COMMAND) {
            EXPECT_TRUE(DestroyWindow(window));
            // The rest of the handler still runs with the handle gone.
            EXPECT_FALSE(IsWindow(window));
            EXPECT_EQ(SendMessageA(window, WM_USER, 0, 0), 0);
            return 42;
        }
        return std::nullopt;
    });
    EXPECT_EQ(SendMessageA(p, WM_COMMAND, 0, 0), 42);
    EXPECT_FALSE(IsWindow(p));
    EXPECT_FALSE(IsWindow(a));
}

TEST_F(WindowTreeTest, StaleHandlesFailSoftlyAndAreNeverHandedOutAgain) {
    const HWND p = MakeWindow("P");
    const HWND a = MakeWindow("A", p, WS_CHILD);
    ASSERT_TRUE(DestroyWindow(p));
    for (HWND stale : {p, a}) {
        char text[8] = "x";
        RECT rect{1, 2, 3, 4};
        const struct {
            const char* call;
            bool failed;
        } cases[] = {
            {"IsWindow", IsWindow(stale) == FALSE},
            {"GetWindowLongPtrA", GetWindowLongPtrA(stale, GWL_STYLE) == 0},
            {"SetWindowLongPtrA", SetWindowLongPtrA(stale, GWLP_USERDATA, 5) == 0},
            {"SendMessageA", SendMessageA(stale, WM_USER, 0, 0) == 0},
            {"PostMessageA", PostMessageA(stale, WM_USER, 0, 0) == FALSE},
            {"SetWindowTextA", SetWindowTextA(stale, "new") == FALSE},
            {"GetWindowTextA", GetWindowTextA(stale, text, sizeof text) == 0 && text[0] == '\0'},
            {"GetParent", GetParent(stale) == nullptr},
            {"GetWindow", GetWindow(stale, GW_HWNDNEXT) == nullptr},
            {"GetWindowRect", GetWindowRect(stale, &rect) == FALSE && rect.left == 1},
            {"ShowWindow", ShowWindow(stale, SW_SHOW) == FALSE},
            {"SetFocus", SetFocus(stale) == nullptr},
            {"DestroyWindow", DestroyWindow(stale) == FALSE},
        };
        for (const auto& c : cases) {
            EXPECT_TRUE(c.failed) << c.call;
        }
        SetLastError(0);
        EXPECT_EQ(GetWindowLongPtrA(stale, GWLP_ID), 0);
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_WINDOW_HANDLE));
    }
    for (int i = 0; i < 4; ++i) {
        const HWND fresh = MakeWindow("N");
        EXPECT_NE(fresh, p);
        EXPECT_NE(fresh, a);
    }
}

TEST_F(WindowTreeTest, CreationSendsItsMessagesAndFailsOnRefusal) {
    const struct {
        const char* what;
        DWORD style;
        std::optional<LRESULT> ncCreate, create;  // what the procedure answers, if not default
        bool created;
        std::vector<std::string> expected;
    } cases[] = {
        {"a visible child",
         WS_CHILD | WS_VISIBLE,
         std::nullopt,
         std::nullopt,
         true,
         {"W WM_NCCREATE", "W WM_CREATE", "W WM_SIZE", "W WM_MOVE", "W WM_SHOWWINDOW"}},
        {"a hidden top-level window",
         WS_OVERLAPPED,
         std::nullopt,
         std::nullopt,
         true,
         {"W WM_NCCREATE", "W WM_CREATE", "W WM_SIZE", "W WM_MOVE"}},
        {"WM_NCCREATE refuses",
         WS_CHILD,
         FALSE,
         std::nullopt,
         false,
         {"W WM_NCCREATE", "W WM_NCDESTROY"}},
        {"WM_CREATE refuses",
         WS_CHILD | WS_VISIBLE,
         std::nullopt,
         -1,
         false,
         {"W WM_NCCREATE", "W WM_CREATE", "W WM_NCDESTROY"}},
    };
    const HWND p = MakeWindow("P");
    int createParam = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Log().clear();
        CREATESTRUCTA seen{};
        SetReaction(
            [&](HWND window, UINT message, WPARAM, LPARAM lParam) -> std::optional<LRESULT> {
                Name(window, "W");
                if (message == WM_NCCREATE) {
                    seen = *reinterpret_cast<const CREATESTRUCTA*>(lParam);
                    return c.ncCreate;
                }
                return message == WM_CREATE ? c.create : std::nullopt;
            });
        const HWND parent = (c.style & WS_CHILD) != 0 ? p : nullptr;
        const HWND window =
            CreateWindowExA(WS_EX_CLIENTEDGE, kRecordingClass, "Title", c.style, 3, 4, 30, 40,
                            parent, reinterpret_cast<HMENU>(7), nullptr, &createParam);
        SetReaction(nullptr);
        EXPECT_EQ(window != nullptr, c.created);
        EXPECT_EQ(Trace({WM_NCCREATE, WM_CREATE, WM_SIZE, WM_MOVE, WM_SHOWWINDOW, WM_DESTROY,
                         WM_NCDESTROY}),
                  c.expected);
        EXPECT_EQ(seen.lpCreateParams, &createParam);
        EXPECT_EQ(seen.hwndParent, parent);
        EXPECT_EQ(seen.hMenu, reinterpret_cast<HMENU>(7));
        EXPECT_EQ(seen.x, 3);
        EXPECT_EQ(seen.y, 4);
        EXPECT_EQ(seen.cx, 30);
        EXPECT_EQ(seen.cy, 40);
        EXPECT_EQ(static_cast<DWORD>(seen.style), c.style);
        EXPECT_STREQ(seen.lpszName, "Title");
        EXPECT_STREQ(seen.lpszClass, kRecordingClass);
        EXPECT_EQ(seen.dwExStyle, static_cast<DWORD>(WS_EX_CLIENTEDGE));
        if (window != nullptr) {
            char text[16];
            EXPECT_EQ(GetWindowTextA(window, text, sizeof text), 5);
            EXPECT_STREQ(text, "Title");
            EXPECT_EQ(IsWindowVisible(window) != FALSE,
                      (c.style & WS_VISIBLE) != 0 && IsWindowVisible(p) != FALSE);
            DestroyWindow(window);
        }
        EXPECT_EQ(GetWindow(p, GW_CHILD), nullptr);
    }
}

TEST_F(WindowTreeTest, ClassesAreFoundWithoutRegardToCaseAndRegisteredOnce) {
    EXPECT_NE(CreateWindowExA(0, "flangerrecordingWINDOW", "", 0, 0, 0, 1, 1, nullptr, nullptr,
                              nullptr, nullptr),
              nullptr);
    WNDCLASSA windowClass{};
    windowClass.lpfnWndProc = RecordingProcedure;
    const struct {
        const char* name;
        int extraBytes;
        DWORD error;
    } refused[] = {
        {"FLANGERRECORDINGWINDOW", 0, ERROR_CLASS_ALREADY_EXISTS},
        {"", 0, ERROR_INVALID_PARAMETER},
        {nullptr, 0, ERROR_INVALID_PARAMETER},
        {"FlangerNegativeExtra", -1, ERROR_INVALID_PARAMETER},
    };
    for (const auto& c : refused) {
        windowClass.lpszClassName = c.name;
        windowClass.cbWndExtra = c.extraBytes;
        SetLastError(0);
        EXPECT_EQ(RegisterClassA(&windowClass), 0) << (c.name ? c.name : "null");
        EXPECT_EQ(GetLastError(), c.error) << (c.name ? c.name : "null");
    }

    windowClass.lpszClassName = "FlangerTemporaryClass";
    windowClass.cbWndExtra = 0;
    const ATOM atom = RegisterClassA(&windowClass);
    ASSERT_NE(atom, 0);
    const HWND window = CreateWindowExA(0, MAKEINTRESOURCEA(atom), "", 0, 0, 0, 1, 1, nullptr,
                                        nullptr, nullptr, nullptr);
    ASSERT_NE(window, nullptr);
    EXPECT_FALSE(UnregisterClassA("flangertemporaryclass", nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_CLASS_HAS_WINDOWS));
    DestroyWindow(window);
    EXPECT_TRUE(UnregisterClassA("flangertemporaryclass", nullptr));
    SetLastError(0);
    EXPECT_EQ(CreateWindowExA(0, "FlangerTemporaryClass", "", 0, 0, 0, 1, 1, nullptr, nullptr,
                              nullptr, nullptr),
              nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_CANNOT_FIND_WND_CLASS));
    EXPECT_EQ(CreateWindowExA(0, kRecordingClass, "", WS_CHILD, 0, 0, 1, 1, nullptr, nullptr,
                              nullptr, nullptr),
              nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_TLW_WITH_WSCHILD));
}

WNDPROC SubclassedProcedure = nullptr;

// Puts brackets round every text set, and answers a private message itself.
LRESULT BracketingProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_SETTEXT) {
        const std::string bracketed =
            "[" + std::string(reinterpret_cast<const char*>(lParam)) + "]";
        return CallWindowProcA(SubclassedProcedure, window, message, wParam,
                               reinterpret_cast<LPARAM>(bracketed.c_str()));
    }
    if (message == WM_USER + 7) {
        return 77;
    }
    return CallWindowProcA(SubclassedProcedure, window, message, wParam, lParam);
}

TEST_F(WindowTreeTest, SubclassingReplacesTheProcedureAndSeesTextMessages) {
    const HWND window = MakeWindow("W");
    SubclassedProcedure = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrA(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(BracketingProcedure)));
    EXPECT_EQ(SubclassedProcedure, RecordingProcedure);
    EXPECT_EQ(GetWindowLongPtrA(window, GWLP_WNDPROC),
              reinterpret_cast<LONG_PTR>(BracketingProcedure));
    Log().clear();
    std::string textSeen;
    SetReaction([&](HWND, UINT message, WPARAM, LPARAM lParam) -> std::optional<LRESULT> {
        if (message == WM_SETTEXT) {
            textSeen = reinterpret_cast<const char*>(lParam);
        }
        return std::nullopt;
    });
    EXPECT_TRUE(SetWindowTextA(window, "abc"));
    char text[16];
    EXPECT_EQ(GetWindowTextA(window, text, sizeof text), 5);
    EXPECT_STREQ(text, "[abc]");
    EXPECT_EQ(SendMessageA(window, WM_USER + 7, 0, 0), 77);
    // The class procedure saw the bracketed text and the text requests, not the private message.
    EXPECT_EQ(Trace({WM_SETTEXT, WM_GETTEXT, WM_USER + 7}),
              (Lines{"W WM_SETTEXT", "W WM_GETTEXT"}));
    EXPECT_EQ(textSeen, "[abc]");
    SetWindowLongPtrA(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(SubclassedProcedure));
    SetWindowTextA(window, "plain");
    EXPECT_EQ(GetWindowTextA(window, text, sizeof text), 5);
    EXPECT_STREQ(text, "plain");
}

TEST_F(WindowTreeTest, TextIsCutOnlyBetweenWholeCharacters) {
    const HWND window = MakeWindow("Grüße");  // 7 bytes: G r C3 BC C3 9F e
    EXPECT_EQ(GetWindowTextLengthA(window), 7);
    const struct {
        int size;
        const char* expected;
    } cases[] = {{1, ""}, {3, "Gr"}, {4, "Gr"}, {5, "Grü"}, {6, "Grü"}, {7, "Grüß"}, {8, "Grüße"}};
    for (const auto& c : cases) {
        char text[16];
        std::fill(std::begin(text), std::end(text), 'x');
        EXPECT_EQ(GetWindowTextA(window, text, c.size), static_cast<int>(std::strlen(c.expected)))
            << c.size;
        EXPECT_STREQ(text, c.expected) << c.size;
    }
}

TEST_F(WindowTreeTest, LongsKeepTheirValuesAndExtraBytesAreBounded) {
    WNDCLASSA windowClass{};
    windowClass.lpfnWndProc = DefWindowProcA;
    windowClass.lpszClassName = "FlangerExtraBytes";
    windowClass.cbWndExtra = 2 * sizeof(LONG_PTR);
    static const ATOM atom = RegisterClassA(&windowClass);
    ASSERT_NE(atom, 0);
    const HWND window = CreateWindowExA(0, "FlangerExtraBytes", "", WS_POPUP, 0, 0, 1, 1, nullptr,
                                        reinterpret_cast<HMENU>(0), nullptr, nullptr);
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(SetWindowLongPtrA(window, GWLP_USERDATA, 1234), 0);
    EXPECT_EQ(SetWindowLongPtrA(window, GWLP_USERDATA, 99), 1234);
    EXPECT_EQ(GetWindowLongPtrA(window, GWLP_USERDATA), 99);
    EXPECT_EQ(GetWindowLongA(window, GWL_STYLE), static_cast<LONG>(WS_POPUP));
    EXPECT_EQ(SetWindowLongPtrA(window, sizeof(LONG_PTR), -5), 0);
    EXPECT_EQ(GetWindowLongPtrA(window, sizeof(LONG_PTR)), -5);
    EXPECT_EQ(SetWindowLongA(window, 0, 0x12345678), 0);
    EXPECT_EQ(GetWindowLongA(window, 0), 0x12345678);
    const int outside[] = {static_cast<int>(sizeof(LONG_PTR)) + 1,
                           static_cast<int>(2 * sizeof(LONG_PTR)), 100000, -3};
    for (const int index : outside) {
        SetLastError(0);
        EXPECT_EQ(GetWindowLongPtrA(window, index), 0) << index;
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_INDEX)) << index;
    }
    // The last four bytes are in reach of the 32-bit call.
    const int lastLong = static_cast<int>(2 * sizeof(LONG_PTR)) - 4;
    SetLastError(0);
    SetWindowLongA(window, lastLong, 77);
    EXPECT_EQ(GetWindowLongA(window, lastLong), 77);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SUCCESS));
    DestroyWindow(window);
}

TEST_F(WindowTreeTest, GeometryIsInPixelsRelativeToTheParentsClientArea) {
    const HWND p = MakeWindow("P", nullptr, 0, 10, 20, 200, 100);
    const HWND a = MakeWindow("A", p, WS_CHILD, 5, 7, 50, 30);
    const HWND a1 = MakeWindow("A1", a, WS_CHILD, 1, 2, 10, 10);
    RECT rect{};
    ASSERT_TRUE(GetWindowRect(a1, &rect));
    EXPECT_EQ(rect.left, 16);
    EXPECT_EQ(rect.top, 29);
    EXPECT_EQ(rect.right, 26);
    EXPECT_EQ(rect.bottom, 39);
    ASSERT_TRUE(GetClientRect(a, &rect));
    EXPECT_EQ(rect.left, 0);
    EXPECT_EQ(rect.top, 0);
    EXPECT_EQ(rect.right, 50);
    EXPECT_EQ(rect.bottom, 30);
    POINT points[2] = {{0, 0}, {3, 4}};
    EXPECT_EQ(MapWindowPoints(a1, p, points, 2), MAKELONG(6, 9));
    EXPECT_EQ(points[1].x, 9);
    EXPECT_EQ(points[1].y, 13);
    POINT screen{16, 27};
    EXPECT_EQ(MapWindowPoints(nullptr, a, &screen, 1), MAKELONG(-15, -27));
    EXPECT_EQ(screen.x, 1);
    EXPECT_EQ(screen.y, 0);

    Log().clear();
    EXPECT_TRUE(MoveWindow(a, 5, 7, 50, 40, TRUE));
    EXPECT_TRUE(MoveWindow(a, 5, 7, 50, 40, TRUE));  // no change, no message
    ASSERT_EQ(Log().size(), 1u);
    EXPECT_EQ(Log()[0].message, static_cast<UINT>(WM_SIZE));
    EXPECT_EQ(Log()[0].lParam, MAKELPARAM(50, 40));
    Log().clear();
    EXPECT_TRUE(MoveWindow(a, 8, 9, 50, 40, FALSE));
    EXPECT_EQ(Trace({WM_MOVE, WM_SIZE}), (Lines{"A WM_MOVE"}));
    EXPECT_EQ(Log()[0].lParam, MAKELPARAM(8, 9));
    Log().clear();
    EXPECT_TRUE(MoveWindow(a, 1, 2, 3, 4, FALSE));
    EXPECT_EQ(Trace({WM_MOVE, WM_SIZE}), (Lines{"A WM_MOVE", "A WM_SIZE"}));
    ASSERT_TRUE(GetWindowRect(a, &rect));
    EXPECT_EQ(rect.left, 11);
    EXPECT_EQ(rect.bottom, 26);
}

TEST_F(WindowTreeTest, VisibilityEnablingAndFocusFollowUser32) {
    const HWND p = MakeWindow("P");
    const HWND a = MakeWindow("A", p, WS_CHILD | WS_VISIBLE);
    const HWND b = MakeWindow("B", p, WS_CHILD | WS_VISIBLE);
    EXPECT_FALSE(IsWindowVisible(a));  // its parent is hidden
    Log().clear();
    EXPECT_FALSE(ShowWindow(p, SW_SHOW));
    EXPECT_TRUE(ShowWindow(p, SW_SHOW));
    EXPECT_EQ(Trace({WM_SHOWWINDOW}), (Lines{"P WM_SHOWWINDOW"}));
    EXPECT_TRUE(IsWindowVisible(a));

    EXPECT_EQ(SetFocus(b), nullptr);
    Log().clear();
    EXPECT_EQ(SetFocus(a), b);
    EXPECT_EQ(Trace({WM_KILLFOCUS, WM_SETFOCUS}), (Lines{"B WM_KILLFOCUS", "A WM_SETFOCUS"}));
    EXPECT_EQ(Log()[0].wParam, reinterpret_cast<WPARAM>(a));
    EXPECT_EQ(Log()[1].wParam, reinterpret_cast<WPARAM>(b));
    EXPECT_EQ(SetFocus(a), a);  // no change, no message
    EXPECT_EQ(Log().size(), 2u);

    Log().clear();
    EXPECT_FALSE(EnableWindow(a, FALSE));  // it was enabled
    EXPECT_TRUE(EnableWindow(a, FALSE));
    EXPECT_EQ(Trace({WM_KILLFOCUS, WM_ENABLE}), (Lines{"A WM_KILLFOCUS", "A WM_ENABLE"}));
    EXPECT_EQ(GetFocus(), nullptr);
    EXPECT_FALSE(IsWindowEnabled(a));
    EXPECT_EQ(SetFocus(a), nullptr);  // refused
    EXPECT_EQ(GetFocus(), nullptr);
    EXPECT_TRUE(EnableWindow(a, TRUE));
    EXPECT_TRUE(IsWindowEnabled(a));

    Log().clear();
    EXPECT_TRUE(ShowWindow(b, SW_HIDE));
    EXPECT_FALSE(IsWindowVisible(b));
    EXPECT_EQ(Trace({WM_SHOWWINDOW}), (Lines{"B WM_SHOWWINDOW"}));
    EXPECT_EQ(Log()[0].wParam, static_cast<WPARAM>(FALSE));
}

TEST_F(WindowTreeTest, AnExceptionFromAProcedureReachesTheCallerAndLeavesNoWindowBehind) {
    const HWND p = MakeWindow("P");
    SetReaction([](HWND, UINT message, WPARAM, LPARAM) -> std::optional<LRESULT> {
        if (message == WM_CREATE || message == WM_USER) {
            throw std::runtime_error("from the procedure");
        }
        return std::nullopt;
    });
    EXPECT_THROW(
        CreateWindowExA(0, kRecordingClass, "", WS_CHILD, 0, 0, 1, 1, p, nullptr, nullptr, nullptr),
        std::runtime_error);
    EXPECT_EQ(GetWindow(p, GW_CHILD), nullptr);
    EXPECT_THROW(SendMessageA(p, WM_USER, 0, 0), std::runtime_error);
    EXPECT_TRUE(IsWindow(p));

    SetReaction(nullptr);
    const HWND a = MakeWindow("A", p, WS_CHILD);
    SetReaction([&](HWND window, UINT message, WPARAM, LPARAM) -> std::optional<LRESULT> {
        if (window == a && message == WM_DESTROY) {
            throw std::runtime_error("while dying");
        }
        return std::nullopt;
    });
    EXPECT_THROW(DestroyWindow(p), std::runtime_error);
    EXPECT_FALSE(IsWindow(p));
    EXPECT_FALSE(IsWindow(a));
}

TEST_F(WindowTreeTest, OtherThreadsMayPostAndLookButNotSendOrDestroy) {
    const HWND p = MakeWindow("P");
    SetWindowTextA(p, "owner's");
    std::thread other([p] {
        SetLastError(0);
        EXPECT_EQ(SendMessageA(p, WM_USER, 0, 0), 0);
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
        EXPECT_FALSE(DestroyWindow(p));
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
        EXPECT_EQ(GetWindowTextLengthA(p), 0);
        EXPECT_TRUE(IsWindow(p));
        EXPECT_EQ(GetWindowLongPtrA(p, GWL_STYLE), 0);
        EXPECT_TRUE(PostMessageA(p, WM_USER + 1, 2, 3));
    });
    other.join();
    EXPECT_TRUE(Log().empty() || Trace({WM_USER}).empty());
    MSG message{};
    ASSERT_TRUE(PeekMessageA(&message, p, 0, 0, PM_REMOVE));
    EXPECT_EQ(message.message, static_cast<UINT>(WM_USER + 1));
    EXPECT_EQ(message.wParam, 2u);
    EXPECT_EQ(message.lParam, 3);
}

}  // namespace
}  // namespace flanger::platform::test
