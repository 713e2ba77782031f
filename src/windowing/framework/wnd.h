// CWnd: the framework's object for a window.
//
// A CWnd is attached to at most one window and a window to at most one permanent CWnd (the
// thread's handle map records the pairs). Attach only records the pair; SubclassWindow also
// routes the window's messages through the framework's window procedure, which makes the
// module's state current, looks the object up, offers the message to its message map and
// otherwise passes it to the window's original procedure. On the window's last message
// (WM_NCDESTROY) the object is detached and PostNcDestroy is called; from then on the window's
// messages never reach it.
//
// FromHandle gives the permanent object of a window or, for a window the module has none for,
// a temporary one, which is released when the module's code returns to its caller (the end of
// the outermost ModuleStateScope on the thread).
//
// Threading: a window and its object belong to the thread that created the window.
#pragma once

#include "windowing/user32.h"

namespace flanger::framework {

class CDataExchange;
struct MessageMap;

class CWnd {
public:
    HWND m_hWnd = nullptr;

    CWnd() noexcept = default;
    // Detaches from a window still attached (and gives it back its original procedure); the
    // window itself is left alone.
    virtual ~CWnd();
    CWnd(const CWnd&) = delete;
    CWnd& operator=(const CWnd&) = delete;

    // The permanent object of `window`, else a temporary one; null for a null handle.
    static CWnd* FromHandle(HWND window);
    // The permanent object of `window`, or null.
    static CWnd* FromHandlePermanent(HWND window) noexcept;

    // Records the pair. FALSE for a null handle, an object already attached or a window that
    // already has a permanent object.
    BOOL Attach(HWND window);
    // Forgets the pair and returns the window (null when there was none).
    HWND Detach() noexcept;
    // Attach, then routes the window's messages through the framework's window procedure.
    BOOL SubclassWindow(HWND window);
    // Gives the window back its original procedure and detaches.
    HWND UnsubclassWindow() noexcept;

    CWnd* GetDlgItem(int id) const;
    CWnd* GetParent() const;

    // Runs DoDataExchange in the given direction: TRUE reads the controls into the members,
    // FALSE loads the members into the controls. A failed exchange (a control missing or of the
    // wrong kind) raises DataExchangeError.
    BOOL UpdateData(BOOL saveAndValidate = TRUE);

    // The window class that windows of this kind of object must have (compared without regard
    // to case), or null for any class.
    virtual LPCSTR GetRequiredClassName() const noexcept;

    virtual const MessageMap* GetMessageMap() const;
    static const MessageMap* GetThisMessageMap();

    // Called for every message of an attached window whose procedure is the framework's:
    // the message map first, then DefWindowProc.
    virtual LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam);

protected:
    virtual void DoDataExchange(CDataExchange* exchange);
    // After the window's last message, once the object is detached. The default does nothing;
    // an object that owns itself deletes itself here.
    virtual void PostNcDestroy();

    // The window's original procedure with the given message.
    LRESULT DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam);
    // The window's original procedure with the message being handled now.
    LRESULT Default();

    // Default handlers, for derived classes that handle a message and want the default too.
    void OnDestroy();
    void OnVScroll(UINT code, UINT position, CWnd* scrollBar);
    void OnHScroll(UINT code, UINT position, CWnd* scrollBar);

private:
    friend LRESULT CALLBACK FrameworkWindowProc(HWND, UINT, WPARAM, LPARAM) noexcept;

    // The window's last message: default handling, detach, PostNcDestroy. Never throws.
    LRESULT HandleNcDestroy(WPARAM wParam, LPARAM lParam) noexcept;

    WNDPROC m_superProc = nullptr;  // the original procedure while subclassed
};

}  // namespace flanger::framework
