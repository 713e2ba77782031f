// Message maps: each window class of the framework binds window messages to member handlers in
// a static table, chained to its base class's table.
//
// An entry is made by a function template over the handler's member-function pointer, so the
// handler's signature is checked by the compiler (no casts between handler types):
//
//   const MessageMap* MyDialog::GetMessageMap() const {
//       static constexpr MessageMapEntry kEntries[] = {
//           OnWmVScroll<&MyDialog::OnVScroll>(),
//           OnBnClicked<&MyDialog::OnCheckClicked>(IDC_CHECK),
//       };
//       static constexpr MessageMap kMap = {&CDialog::GetThisMessageMap, kEntries,
//                                           std::size(kEntries)};
//       return &kMap;
//   }
//
// The window procedure walks the object's map, then its base's, and so on, and calls the first
// entry that matches; a message that no entry takes gets the window's default handling.
#pragma once

#include <cstddef>
#include <type_traits>

#include "windowing/framework/wnd.h"
#include "windowing/user32.h"

namespace flanger::framework {

struct MessageMapEntry {
    UINT message;
    UINT notifyCode;  // WM_COMMAND only: the notification code, wParam's high word
    UINT controlId;   // WM_COMMAND only: the sending control's id, wParam's low word
    LRESULT (*invoke)(CWnd& target, WPARAM wParam, LPARAM lParam);
};

struct MessageMap {
    const MessageMap* (*base)();  // the base class's map; null ends the chain
    const MessageMapEntry* entries;
    std::size_t count;
};

// The first entry in the chain starting at `map` that takes the message, or null.
const MessageMapEntry* FindMessageMapEntry(const MessageMap* map, UINT message, WPARAM wParam);

namespace message_map_detail {

template <typename Handler>
struct HandlerTraits;

template <typename Class, typename Signature>
struct HandlerTraits<Signature Class::*> {
    using Target = Class;
    using Type = Signature;
};

template <auto handler, typename Signature>
struct CheckedTarget {
    using Traits = HandlerTraits<decltype(handler)>;
    static_assert(std::is_same_v<typename Traits::Type, Signature>,
                  "the handler's signature does not fit the message");
    static_assert(std::is_base_of_v<CWnd, typename Traits::Target>,
                  "message handlers are members of window classes");
    using Type = typename Traits::Target;
};

// The map of a class is only ever consulted for objects of that class (GetMessageMap is
// virtual), so the downcast is exact.
template <auto handler>
LRESULT InvokeScroll(CWnd& target, WPARAM wParam, LPARAM lParam) {
    using Target = typename CheckedTarget<handler, void(UINT, UINT, CWnd*)>::Type;
    // The position is the signed high word, as the scroll message carries it.
    (static_cast<Target&>(target).*handler)(LOWORD(wParam),
                                            static_cast<UINT>(static_cast<short>(HIWORD(wParam))),
                                            CWnd::FromHandle(reinterpret_cast<HWND>(lParam)));
    return 0;
}

template <auto handler>
LRESULT InvokeNoArguments(CWnd& target, WPARAM, LPARAM) {
    using Target = typename CheckedTarget<handler, void()>::Type;
    (static_cast<Target&>(target).*handler)();
    return 0;
}

}  // namespace message_map_detail

// WM_VSCROLL: handler(notification code, thumb position, sending control).
template <auto handler>
constexpr MessageMapEntry OnWmVScroll() {
    return {WM_VSCROLL, 0, 0, &message_map_detail::InvokeScroll<handler>};
}

// WM_HSCROLL: handler(notification code, thumb position, sending control).
template <auto handler>
constexpr MessageMapEntry OnWmHScroll() {
    return {WM_HSCROLL, 0, 0, &message_map_detail::InvokeScroll<handler>};
}

// WM_DESTROY: handler().
template <auto handler>
constexpr MessageMapEntry OnWmDestroy() {
    return {WM_DESTROY, 0, 0, &message_map_detail::InvokeNoArguments<handler>};
}

// WM_COMMAND with BN_CLICKED from the button `controlId`: handler().
template <auto handler>
constexpr MessageMapEntry OnBnClicked(UINT controlId) {
    return {WM_COMMAND, BN_CLICKED, controlId, &message_map_detail::InvokeNoArguments<handler>};
}

}  // namespace flanger::framework
