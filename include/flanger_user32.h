/*
 * flanger_user32.h - the windowing layer that the module and its hosts share on Linux.
 *
 * Linux has no USER32, so this project brings the small part of it that a settings window needs,
 * with the same names, types, messages, notification codes and constants as Windows: a host
 * written against this header creates its parent window and drains its message queue exactly as
 * it would on Windows, and the module's dialog code compiles unchanged against either. On
 * Windows this header is not used; <windows.h> and <commctrl.h> stand in its place.
 *
 * The layer lives in one shared library (libflanger_user32.so) that the module and the host both
 * link, so both see one set of windows, one message queue per thread and one current module
 * context per thread. The default backend keeps everything in memory (no display is needed);
 * geometry follows the dialog fonts' nominal metrics (see GetDialogBaseUnits).
 *
 * Text is 8-bit in the system code page, which is UTF-8 on Linux; dialog templates carry UTF-16
 * as on Windows and are converted when their controls are created.
 *
 * Threading: every window belongs to the thread that created it. Its messages are sent and
 * dispatched on that thread; PostMessageA may be called from any thread and queues the message
 * for the owner's thread. SendMessageA from another thread is refused (returns 0 and sets
 * ERROR_ACCESS_DENIED): the layer does not marshal sends between threads.
 *
 * Handles are never reused: a destroyed window's handle stays invalid (IsWindow is FALSE and
 * every call with it fails softly) for the life of the process.
 */
#ifndef FLANGER_USER32_H
#define FLANGER_USER32_H

#ifdef _WIN32
#error "On Windows include <windows.h> and <commctrl.h> instead of this header."
#endif

#include <stddef.h>
#include <stdint.h>

#include "flanger_resource_library.h"

#if defined(__GNUC__)
#define FLANGER_USER32_API __attribute__((visibility("default")))
#else
#define FLANGER_USER32_API
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* ---- Types ------------------------------------------------------------------------------- */

typedef int BOOL;
typedef unsigned char BYTE;
typedef uint16_t WORD;
typedef uint32_t DWORD;
typedef int32_t LONG;
typedef unsigned int UINT;
typedef intptr_t INT_PTR;
typedef uintptr_t UINT_PTR;
typedef intptr_t LONG_PTR;
typedef uintptr_t ULONG_PTR;
typedef ULONG_PTR DWORD_PTR;
typedef UINT_PTR WPARAM;
typedef LONG_PTR LPARAM;
typedef LONG_PTR LRESULT;
typedef WORD ATOM;
typedef char CHAR;
typedef CHAR* LPSTR;
typedef const CHAR* LPCSTR;
typedef void* LPVOID;
typedef const void* LPCVOID;
typedef uint16_t WCHAR;

typedef struct HWND__* HWND;
typedef struct HINSTANCE__* HINSTANCE;
typedef HINSTANCE HMODULE;
typedef struct HRSRC__* HRSRC;
typedef void* HGLOBAL;
typedef struct HMENU__* HMENU;
typedef struct HFONT__* HFONT;
typedef struct HICON__* HICON;
typedef struct HCURSOR__* HCURSOR;
typedef struct HBRUSH__* HBRUSH;

#ifndef TRUE
#define TRUE 1
#endif
#ifndef FALSE
#define FALSE 0
#endif
#ifndef CALLBACK
#define CALLBACK
#endif
#ifndef WINAPI
#define WINAPI
#endif

typedef LRESULT (*WNDPROC)(HWND, UINT, WPARAM, LPARAM);
typedef INT_PTR (*DLGPROC)(HWND, UINT, WPARAM, LPARAM);

typedef struct tagRECT {
    LONG left;
    LONG top;
    LONG right;
    LONG bottom;
} RECT, *LPRECT;

typedef struct tagPOINT {
    LONG x;
    LONG y;
} POINT, *LPPOINT;

typedef struct tagMSG {
    HWND hwnd;
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
    DWORD time;
    POINT pt;
} MSG, *LPMSG;

typedef struct tagWNDCLASSA {
    UINT style;
    WNDPROC lpfnWndProc;
    int cbClsExtra;
    int cbWndExtra;
    HINSTANCE hInstance;
    HICON hIcon;
    HCURSOR hCursor;
    HBRUSH hbrBackground;
    LPCSTR lpszMenuName;
    LPCSTR lpszClassName;
} WNDCLASSA;

/* Dialog templates in the binary layout of Windows (2-byte packing, UTF-16 strings, items on
 * 4-byte boundaries): a DLGTEMPLATE header, then menu, class and caption (each 0x0000, 0xFFFF and
 * an ordinal, or a NUL-terminated UTF-16 string), with DS_SETFONT the point size and the face
 * name, then cdit items, each a DLGITEMTEMPLATE followed by class, text and the count of
 * creation-data bytes. Extended (DLGTEMPLATEEX) templates are not accepted. */
#pragma pack(push, 2)
typedef struct DLGTEMPLATE {
    DWORD style;
    DWORD dwExtendedStyle;
    WORD cdit;
    short x;
    short y;
    short cx;
    short cy;
} DLGTEMPLATE;
typedef struct DLGITEMTEMPLATE {
    DWORD style;
    DWORD dwExtendedStyle;
    short x;
    short y;
    short cx;
    short cy;
    WORD id;
} DLGITEMTEMPLATE;
#pragma pack(pop)
typedef const DLGTEMPLATE* LPCDLGTEMPLATEA;

/* What WM_NCCREATE and WM_CREATE carry in lParam: the arguments of CreateWindowExA, with
 * CW_USEDEFAULT already replaced by the layer's defaults (0). */
typedef struct tagCREATESTRUCTA {
    LPVOID lpCreateParams;
    HINSTANCE hInstance;
    HMENU hMenu;
    HWND hwndParent;
    int cy;
    int cx;
    int y;
    int x;
    LONG style;
    LPCSTR lpszName;
    LPCSTR lpszClass;
    DWORD dwExStyle;
} CREATESTRUCTA, *LPCREATESTRUCTA;

typedef struct tagINITCOMMONCONTROLSEX {
    DWORD dwSize;
    DWORD dwICC;
} INITCOMMONCONTROLSEX, *LPINITCOMMONCONTROLSEX;

/* ---- Macros ------------------------------------------------------------------------------ */

#define MAKEINTRESOURCEA(i) ((LPSTR)(ULONG_PTR)(WORD)(i))
#define MAKEINTRESOURCE MAKEINTRESOURCEA
#define IS_INTRESOURCE(r) ((((ULONG_PTR)(r)) >> 16) == 0)
#define RT_DIALOG MAKEINTRESOURCEA(5)
#define LOWORD(l) ((WORD)(((DWORD_PTR)(l)) & 0xffff))
#define HIWORD(l) ((WORD)((((DWORD_PTR)(l)) >> 16) & 0xffff))
#define MAKELONG(a, b)                                                                         \
    ((LONG)(((WORD)(((DWORD_PTR)(a)) & 0xffff)) | ((DWORD)((WORD)(((DWORD_PTR)(b)) & 0xffff))) \
                                                      << 16))
#define MAKEWPARAM(l, h) ((WPARAM)(DWORD)MAKELONG(l, h))
#define MAKELPARAM(l, h) ((LPARAM)(DWORD)MAKELONG(l, h))
#define GET_X_LPARAM(lp) ((int)(short)LOWORD(lp))
#define GET_Y_LPARAM(lp) ((int)(short)HIWORD(lp))

/* ---- Window messages --------------------------------------------------------------------- */

#define WM_NULL 0x0000
#define WM_CREATE 0x0001
#define WM_DESTROY 0x0002
#define WM_MOVE 0x0003
#define WM_SIZE 0x0005
#define WM_SETFOCUS 0x0007
#define WM_KILLFOCUS 0x0008
#define WM_ENABLE 0x000A
#define WM_SETTEXT 0x000C
#define WM_GETTEXT 0x000D
#define WM_GETTEXTLENGTH 0x000E
#define WM_PAINT 0x000F
#define WM_CLOSE 0x0010
#define WM_QUIT 0x0012
#define WM_SHOWWINDOW 0x0018
#define WM_SETFONT 0x0030
#define WM_GETFONT 0x0031
#define WM_NCCREATE 0x0081
#define WM_NCDESTROY 0x0082
#define WM_KEYDOWN 0x0100
#define WM_KEYUP 0x0101
#define WM_CHAR 0x0102
#define WM_INITDIALOG 0x0110
#define WM_COMMAND 0x0111
#define WM_TIMER 0x0113
#define WM_HSCROLL 0x0114
#define WM_VSCROLL 0x0115
#define WM_MOUSEMOVE 0x0200
#define WM_LBUTTONDOWN 0x0201
#define WM_LBUTTONUP 0x0202
#define WM_USER 0x0400

#define MK_LBUTTON 0x0001

#define VK_TAB 0x09
#define VK_RETURN 0x0D
#define VK_ESCAPE 0x1B
#define VK_SPACE 0x20
#define VK_PRIOR 0x21
#define VK_NEXT 0x22
#define VK_END 0x23
#define VK_HOME 0x24
#define VK_LEFT 0x25
#define VK_UP 0x26
#define VK_RIGHT 0x27
#define VK_DOWN 0x28

/* ---- Window styles ----------------------------------------------------------------------- */

#define WS_OVERLAPPED 0x00000000L
#define WS_POPUP 0x80000000L
#define WS_CHILD 0x40000000L
#define WS_VISIBLE 0x10000000L
#define WS_DISABLED 0x08000000L
#define WS_CAPTION 0x00C00000L
#define WS_BORDER 0x00800000L
#define WS_SYSMENU 0x00080000L
#define WS_GROUP 0x00020000L
#define WS_TABSTOP 0x00010000L
#define WS_OVERLAPPEDWINDOW 0x00CF0000L

#define WS_EX_DLGMODALFRAME 0x00000001L
#define WS_EX_NOPARENTNOTIFY 0x00000004L
#define WS_EX_CLIENTEDGE 0x00000200L
#define WS_EX_CONTROLPARENT 0x00010000L

#define DS_ABSALIGN 0x0001L
#define DS_3DLOOK 0x0004L
#define DS_NOFAILCREATE 0x0010L
#define DS_SETFONT 0x0040L
#define DS_MODALFRAME 0x0080L
#define DS_CONTROL 0x0400L

/* Window extra bytes of the dialog class: DWLP_MSGRESULT, DWLP_DLGPROC and DWLP_USER. */
#define DLGWINDOWEXTRA 30

#define CW_USEDEFAULT ((int)0x80000000)

/* Class styles. A class registered with CS_GLOBALCLASS is found for every module instance. */
#define CS_GLOBALCLASS 0x4000

/* ---- Window queries ---------------------------------------------------------------------- */

#define GW_HWNDFIRST 0
#define GW_HWNDLAST 1
#define GW_HWNDNEXT 2
#define GW_HWNDPREV 3
#define GW_OWNER 4
#define GW_CHILD 5

#define GWLP_WNDPROC (-4)
#define GWLP_HINSTANCE (-6)
#define GWLP_HWNDPARENT (-8)
#define GWLP_ID (-12)
#define GWL_STYLE (-16)
#define GWL_EXSTYLE (-20)
#define GWLP_USERDATA (-21)
#define DWLP_MSGRESULT 0
#define DWLP_DLGPROC ((int)sizeof(LRESULT))
#define DWLP_USER ((int)(sizeof(LRESULT) + sizeof(DLGPROC)))

#define SW_HIDE 0
#define SW_SHOWNORMAL 1
#define SW_SHOW 5

#define SIZE_RESTORED 0

#define PM_NOREMOVE 0x0000
#define PM_REMOVE 0x0001

#define IDOK 1
#define IDCANCEL 2

#define ERROR_SUCCESS 0L
#define ERROR_ACCESS_DENIED 5L
#define ERROR_NOT_ENOUGH_MEMORY 8L
#define ERROR_INVALID_PARAMETER 87L
#define ERROR_MOD_NOT_FOUND 126L
#define ERROR_INVALID_WINDOW_HANDLE 1400L
#define ERROR_TLW_WITH_WSCHILD 1406L
#define ERROR_CANNOT_FIND_WND_CLASS 1407L
#define ERROR_CLASS_ALREADY_EXISTS 1410L
#define ERROR_CLASS_DOES_NOT_EXIST 1411L
#define ERROR_CLASS_HAS_WINDOWS 1412L
#define ERROR_INVALID_INDEX 1413L
#define ERROR_CONTROL_ID_NOT_FOUND 1421L
#define ERROR_RESOURCE_DATA_NOT_FOUND 1812L
#define ERROR_RESOURCE_TYPE_NOT_FOUND 1813L
#define ERROR_RESOURCE_NAME_NOT_FOUND 1814L

/* ---- Predefined classes and their messages ----------------------------------------------- */

#define WC_DIALOG MAKEINTRESOURCEA(0x8002) /* the dialog class "#32770" */
#define WC_BUTTONA "Button"
#define WC_STATICA "Static"
#define TRACKBAR_CLASSA "msctls_trackbar32"

/* Buttons: check boxes and push buttons. */
#define BS_PUSHBUTTON 0x0000L
#define BS_DEFPUSHBUTTON 0x0001L
#define BS_CHECKBOX 0x0002L
#define BS_AUTOCHECKBOX 0x0003L
#define BS_TYPEMASK 0x000FL
#define BM_GETCHECK 0x00F0
#define BM_SETCHECK 0x00F1
#define BM_GETSTATE 0x00F2
#define BM_SETSTATE 0x00F3
#define BM_CLICK 0x00F5
#define BST_UNCHECKED 0x0000
#define BST_CHECKED 0x0001
#define BST_INDETERMINATE 0x0002
#define BST_PUSHED 0x0004
#define BST_FOCUS 0x0008
#define BN_CLICKED 0

/* Static text. */
#define SS_LEFT 0x0000L
#define SS_CENTER 0x0001L
#define SS_RIGHT 0x0002L
#define SS_SUNKEN 0x1000L

/* Trackbars (common controls). Positions are LONG; TBM_SETPOS and TBM_SETRANGE clamp the
 * position into the range, and the range's minimum is at the top of a vertical trackbar. */
#define TBS_AUTOTICKS 0x0001
#define TBS_VERT 0x0002
#define TBS_HORZ 0x0000
#define TBS_TOP 0x0004
#define TBS_BOTTOM 0x0000
#define TBS_LEFT 0x0004
#define TBS_RIGHT 0x0000
#define TBS_BOTH 0x0008
#define TBS_NOTICKS 0x0010
#define TBS_ENABLESELRANGE 0x0020
#define TBS_DOWNISLEFT 0x0400
#define TBM_GETPOS (WM_USER)
#define TBM_GETRANGEMIN (WM_USER + 1)
#define TBM_GETRANGEMAX (WM_USER + 2)
#define TBM_SETPOS (WM_USER + 5)
#define TBM_SETRANGE (WM_USER + 6)
#define TBM_SETRANGEMIN (WM_USER + 7)
#define TBM_SETRANGEMAX (WM_USER + 8)
#define TBM_SETPAGESIZE (WM_USER + 21)
#define TBM_GETPAGESIZE (WM_USER + 22)
#define TBM_SETLINESIZE (WM_USER + 23)
#define TBM_GETLINESIZE (WM_USER + 24)
#define TBM_GETTHUMBRECT (WM_USER + 25)
#define TBM_GETCHANNELRECT (WM_USER + 26)
/* Scroll notification codes, the low word of WM_VSCROLL's and WM_HSCROLL's wParam; the high
 * word carries the position with TB_THUMBTRACK and TB_THUMBPOSITION; lParam is the trackbar. */
#define TB_LINEUP 0
#define TB_LINEDOWN 1
#define TB_PAGEUP 2
#define TB_PAGEDOWN 3
#define TB_THUMBPOSITION 4
#define TB_THUMBTRACK 5
#define TB_TOP 6
#define TB_BOTTOM 7
#define TB_ENDTRACK 8

#define ICC_BAR_CLASSES 0x00000004
#define ICC_STANDARD_CLASSES 0x00004000

/* ---- USER32 ------------------------------------------------------------------------------ */

FLANGER_USER32_API ATOM RegisterClassA(const WNDCLASSA* windowClass);
FLANGER_USER32_API BOOL UnregisterClassA(LPCSTR className, HINSTANCE instance);
FLANGER_USER32_API HWND CreateWindowExA(DWORD exStyle, LPCSTR className, LPCSTR windowName,
                                        DWORD style, int x, int y, int width, int height,
                                        HWND parent, HMENU menuOrId, HINSTANCE instance,
                                        LPVOID createParam);
FLANGER_USER32_API BOOL DestroyWindow(HWND window);
FLANGER_USER32_API BOOL IsWindow(HWND window);
FLANGER_USER32_API LRESULT DefWindowProcA(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
FLANGER_USER32_API LRESULT CallWindowProcA(WNDPROC procedure, HWND window, UINT message,
                                           WPARAM wParam, LPARAM lParam);

FLANGER_USER32_API LRESULT SendMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
FLANGER_USER32_API BOOL PostMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
FLANGER_USER32_API BOOL GetMessageA(LPMSG message, HWND window, UINT filterMin, UINT filterMax);
FLANGER_USER32_API BOOL PeekMessageA(LPMSG message, HWND window, UINT filterMin, UINT filterMax,
                                     UINT removeFlags);
FLANGER_USER32_API LRESULT DispatchMessageA(const MSG* message);
FLANGER_USER32_API BOOL TranslateMessage(const MSG* message);
FLANGER_USER32_API void PostQuitMessage(int exitCode);

FLANGER_USER32_API HWND GetWindow(HWND window, UINT relation);
FLANGER_USER32_API HWND GetParent(HWND window);
FLANGER_USER32_API int GetClassNameA(HWND window, LPSTR className, int maxCount);
FLANGER_USER32_API HWND GetDlgItem(HWND dialog, int id);
FLANGER_USER32_API int GetDlgCtrlID(HWND window);
FLANGER_USER32_API LRESULT SendDlgItemMessageA(HWND dialog, int id, UINT message, WPARAM wParam,
                                               LPARAM lParam);
FLANGER_USER32_API UINT IsDlgButtonChecked(HWND dialog, int id);
FLANGER_USER32_API BOOL CheckDlgButton(HWND dialog, int id, UINT check);

FLANGER_USER32_API BOOL SetWindowTextA(HWND window, LPCSTR text);
FLANGER_USER32_API int GetWindowTextA(HWND window, LPSTR text, int maxCount);
FLANGER_USER32_API int GetWindowTextLengthA(HWND window);
FLANGER_USER32_API LONG_PTR GetWindowLongPtrA(HWND window, int index);
FLANGER_USER32_API LONG_PTR SetWindowLongPtrA(HWND window, int index, LONG_PTR value);
FLANGER_USER32_API LONG GetWindowLongA(HWND window, int index);
FLANGER_USER32_API LONG SetWindowLongA(HWND window, int index, LONG value);

/* Geometry in pixels. Top-level windows are placed on a virtual screen whose origin is (0, 0);
 * GetWindowRect answers in screen coordinates, GetClientRect relative to the client area. */
FLANGER_USER32_API BOOL GetWindowRect(HWND window, LPRECT rect);
FLANGER_USER32_API BOOL GetClientRect(HWND window, LPRECT rect);
FLANGER_USER32_API int MapWindowPoints(HWND from, HWND to, LPPOINT points, UINT count);
FLANGER_USER32_API BOOL MoveWindow(HWND window, int x, int y, int width, int height, BOOL repaint);
FLANGER_USER32_API BOOL ShowWindow(HWND window, int command);
FLANGER_USER32_API BOOL IsWindowVisible(HWND window);
FLANGER_USER32_API BOOL EnableWindow(HWND window, BOOL enable);
FLANGER_USER32_API BOOL IsWindowEnabled(HWND window);
FLANGER_USER32_API HWND SetFocus(HWND window);
FLANGER_USER32_API HWND GetFocus(void);

/* Dialogs. CreateDialogIndirectParamA builds a modeless dialog from a template: the dialog
 * window (class "#32770") with the template's style, caption, font and size (dialog units
 * converted with the font's base units), then its controls in template order, then
 * WM_INITDIALOG to the dialog procedure with initParam. A control that cannot be created fails
 * the whole dialog (result null, nothing left behind). */
FLANGER_USER32_API HWND CreateDialogIndirectParamA(HINSTANCE instance, LPCDLGTEMPLATEA dialog,
                                                   HWND parent, DLGPROC procedure,
                                                   LPARAM initParam);
FLANGER_USER32_API LRESULT DefDlgProcA(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
FLANGER_USER32_API BOOL MapDialogRect(HWND dialog, LPRECT rect);
/* Base units of the system font: low word horizontal, high word vertical. */
FLANGER_USER32_API LONG GetDialogBaseUnits(void);

FLANGER_USER32_API DWORD GetLastError(void);
FLANGER_USER32_API void SetLastError(DWORD error);

/* ---- COMCTL32 ---------------------------------------------------------------------------- */

/* The trackbar class is always registered; the call exists so that code written for Windows,
 * where it is required, runs unchanged. */
FLANGER_USER32_API BOOL InitCommonControlsEx(const INITCOMMONCONTROLSEX* controls);

/* ---- KERNEL32: modules and resources ----------------------------------------------------- */

/* LoadLibraryA opens a shared object (dlopen, RTLD_NOW | RTLD_LOCAL) and returns a module handle
 * for it; the same file gives the same handle. Its resources are what its exported entry point
 * FlangerFindResource returns (see flanger_resource_library.h); a library without the entry
 * point loads and has no resources. Resources are looked up by integer name and type only. */
FLANGER_USER32_API HMODULE LoadLibraryA(LPCSTR fileName);
FLANGER_USER32_API BOOL FreeLibrary(HMODULE module);
FLANGER_USER32_API HRSRC FindResourceA(HMODULE module, LPCSTR name, LPCSTR type);
FLANGER_USER32_API HGLOBAL LoadResource(HMODULE module, HRSRC resource);
FLANGER_USER32_API LPVOID LockResource(HGLOBAL resourceData);
FLANGER_USER32_API DWORD SizeofResource(HMODULE module, HRSRC resource);

/* ---- Linux only -------------------------------------------------------------------------- */

/* A module handle for resources compiled into the calling module (a module cannot export the
 * entry point itself when its export table is fixed). The same function gives the same handle;
 * a handle lives until FlangerUnregisterResourceModule or the end of the process. */
FLANGER_USER32_API HMODULE FlangerRegisterResourceModule(FlangerFindResourceFunction find);

/* For a module that is being unloaded (called from its static destructors, while its code is
 * still mapped, on the thread that unloads it): the layer lets go of everything that points into
 * the shared object holding the function registered as `module`. The handle and its resources
 * are forgotten (they fail softly from then on, as a freed library's do), and so are other
 * resources whose bytes lie in the object; the calling thread's windows whose window, class or
 * dialog procedure lies there are destroyed, so that they still get their last messages; other
 * threads' such windows go on with their class's procedure (DefWindowProcA when that lies there
 * too) and without their dialog procedure; classes registered under `module` or with a
 * procedure there are unregistered. FALSE (ERROR_MOD_NOT_FOUND) when `module` is not a handle
 * that FlangerRegisterResourceModule gave out. */
FLANGER_USER32_API BOOL FlangerUnregisterResourceModule(HMODULE module);

/* The font a window draws its text with (a dialog's template font, which its controls share):
 * the face name (at most maxCount - 1 bytes and a NUL), the size in points and the dialog base
 * units in pixels that the layer derives from it. Windows without a font of their own answer
 * with the system font. FALSE for an invalid window. For painters that draw the window tree. */
FLANGER_USER32_API BOOL FlangerGetWindowFont(HWND window, LPSTR faceName, int maxCount,
                                             int* pointSize, int* baseUnitX, int* baseUnitY);

/* The current module context of the calling thread, shared by every module in the process (the
 * slot that a UI framework's per-thread module state occupies). The layer only stores the
 * pointer; its meaning belongs to the framework that sets it. Null until someone sets one.
 * FlangerSetModuleContext returns the previous value. */
FLANGER_USER32_API void* FlangerGetModuleContext(void);
FLANGER_USER32_API void* FlangerSetModuleContext(void* context);

/* Shows the layer's windows on an X11 display from now on: `displayName` as X11 names displays
 * (":1"), null for $DISPLAY. Call it before the first window is created: windows made earlier
 * stay headless. TRUE when the display is open (also when it already was: the first name wins);
 * FALSE when no display answers or the X11 part of the layer (libflanger_user32_x11.so, next to
 * libflanger_user32.so) is missing, and the layer then stays headless. Without this call (or the
 * environment variable FLANGER_WINDOW_BACKEND=x11, read when the first window is created) every
 * window lives in memory only. On a display, GetMessageA and PeekMessageA turn the display's
 * events into the messages the controls understand (mouse buttons, drags, the wheel over a
 * trackbar, keys to the focus window, Tab and Shift+Tab between tab stops) and the windows are
 * painted when they are exposed or change. Any thread. */
FLANGER_USER32_API BOOL FlangerOpenDisplay(LPCSTR displayName);

/* A window handle standing for a window of the display that belongs to someone else (an X11
 * window id, as a plug-in host hands one to an editor), to be the parent of the caller's
 * windows, which then appear inside it. The handle is a visible top-level window of the class
 * "FlangerNativeWindow" with the native window's size; destroying it destroys the caller's
 * windows inside it and leaves the native one alone. Null (ERROR_INVALID_WINDOW_HANDLE) when no
 * display is open or `native` is not one of its windows. The calling thread owns the handle. */
FLANGER_USER32_API HWND FlangerWrapNativeWindow(uintptr_t native);

/* The display's window (an X11 window id) that `window` is shown as, for a host that embeds it
 * (an LV2 UI's widget); 0 when no display is open or the window has none. Any thread. */
FLANGER_USER32_API uintptr_t FlangerGetNativeWindow(HWND window);

/* Lets go of the font caches that painting on a display fills for the life of the process, so
 * that a memory checker finds nothing left at exit. For the end of a program that owns its
 * process (not a plug-in, whose host may use the same font libraries), after its last window is
 * destroyed; painting afterwards fills them again. Does nothing without a display. */
FLANGER_USER32_API void FlangerReleaseDisplayCaches(void);

#ifdef __cplusplus
}
#endif

#endif /* FLANGER_USER32_H */
