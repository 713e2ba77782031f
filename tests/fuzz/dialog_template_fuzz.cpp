// Dialog templates as a resource library supplies them: any bytes through the template parser,
// and those it takes through dialog creation on the headless windowing backend.
//
// The input is the resource's bytes (copied to a buffer of exactly that size, so that reading
// past it shows). Invariants: the parser reads within the bytes it is given; a template it takes
// makes a dialog with one child per item (fewer with DS_NOFAILCREATE), or none at all (a
// control that cannot be created);
// destroying the dialog leaves no window behind.
#include <cstring>
#include <memory>

#include "flanger_user32.h"
#include "fuzz_support.h"
#include "windowing/dialog_template_parser.h"

namespace {

INT_PTR CALLBACK Procedure(HWND, UINT, WPARAM, LPARAM) { return FALSE; }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // Resources are 4-byte aligned; so is the buffer new[] gives.
    const std::unique_ptr<std::uint8_t[]> bytes(new std::uint8_t[size]);
    std::memcpy(bytes.get(), data, size);
    flanger::platform::DialogTemplate parsed;
    if (flanger::platform::ParseDialogTemplate(bytes.get(), size, parsed) !=
        flanger::platform::TemplateProblem::None) {
        return 0;
    }
    // A top-level dialog gets no parent; a child dialog a parent window of its own.
    HWND parent = nullptr;
    if ((parsed.style & WS_CHILD) != 0) {
        parent = CreateWindowExA(0, "Static", "parent", WS_OVERLAPPED, 0, 0, 400, 300, nullptr,
                                 nullptr, nullptr, nullptr);
    }
    const HWND dialog = CreateDialogIndirectParamA(
        nullptr, reinterpret_cast<LPCDLGTEMPLATEA>(bytes.get()), parent, Procedure, 0);
    if (dialog != nullptr) {
        std::size_t children = 0;
        for (HWND child = GetWindow(dialog, GW_CHILD); child;
             child = GetWindow(child, GW_HWNDNEXT)) {
            ++children;
        }
        // DS_NOFAILCREATE lets a dialog go without the controls that could not be made.
        const bool allMade = (parsed.style & DS_NOFAILCREATE) == 0;
        flanger::fuzz::Require(
            allMade ? children == parsed.items.size() : children <= parsed.items.size(),
            "a created dialog lacks controls of its template");
        DestroyWindow(dialog);
        flanger::fuzz::Require(!IsWindow(dialog), "a destroyed dialog lives on");
    }
    if (parent != nullptr) DestroyWindow(parent);
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&message);
    return 0;
}
