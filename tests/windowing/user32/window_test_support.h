// What the windowing layer's tests share: a window class whose procedure records every message
// it gets (with a name for each window, so that a sequence reads "P WM_DESTROY") and then runs
// the test's reaction, and a fixture that registers it and cleans up after each test.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "windowing/user32.h"

namespace flanger::platform::test {

constexpr const char* kRecordingClass = "FlangerRecordingWindow";

struct LoggedMessage {
    HWND window;
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
};

// What a test does with a message before the default handling; a value ends the handling with
// that result, nullopt goes on to DefWindowProcA.
using Reaction = std::function<std::optional<LRESULT>(HWND, UINT, WPARAM, LPARAM)>;

// The procedure of kRecordingClass; also usable as a dialog procedure's recorder.
LRESULT RecordingProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// A dialog procedure that records like RecordingProcedure; a reaction's value is its result,
// otherwise FALSE.
INT_PTR RecordingDialogProcedure(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

// The log of the calling thread's test.
std::vector<LoggedMessage>& Log();
void SetReaction(Reaction reaction);
void Name(HWND window, const std::string& name);

// The logged messages of the given kinds as "name MESSAGE" lines, in order.
std::vector<std::string> Trace(std::initializer_list<UINT> kinds);

// The symbolic name of a message (for the traces), or its number in hex.
std::string MessageName(UINT message);

// A recording window: a child of `parent` with WS_CHILD, otherwise top-level.
HWND MakeWindow(const std::string& name, HWND parent = nullptr, DWORD style = 0, int x = 0,
                int y = 0, int width = 100, int height = 50, int id = 0);

class WindowTest : public ::testing::Test {
protected:
    void SetUp() override;
    // Destroys the top-level windows the test left behind and clears log and reaction.
    void TearDown() override;
};

}  // namespace flanger::platform::test
