// Dialogs made from templates the way the plug-in makes its settings window: the controls in
// template order with their ids, classes, texts and pixel rectangles, WM_INITDIALOG and the
// focus, fonts and base units, the default dialog procedure, and templates that cannot be made
// into a dialog (unknown classes, extended or damaged templates).
#include <cstring>
#include <memory>

#include "window_test_support.h"
#include "windowing/dialog_template.h"

namespace flanger::platform::test {
namespace {

using Lines = std::vector<std::string>;

constexpr DWORD kChildDialogStyle = WS_CHILD | DS_3DLOOK | DS_SETFONT;
constexpr DWORD kTrackbarStyle = 0x5001001A;  // child, visible, tab stop, vertical, both, no ticks
constexpr DWORD kCaptionStyle = 0x50020000;
constexpr DWORD kLabelStyle = 0x50021001;
constexpr DWORD kCheckBoxStyle = 0x50010003;
constexpr DWORD kCheckBoxNoTabStyle = 0x50000003;

const DialogItemSpec kItems[] = {
    {22805, TRACKBAR_CLASSA, "Slider1", 4, 26, 18, 68, kTrackbarStyle},
    {0xFFFF, "Static", "Delay", 3, 2, 20, 8, kCaptionStyle},
    {22807, "Static", "10.0", 3, 13, 18, 10, kLabelStyle},
    {22818, "Button", "Sine", 81, 36, 37, 14, kCheckBoxStyle},
    {22819, "Button",
     "R\xC3\xBC"
     "ckkopplung",
     75, 63, 46, 14, kCheckBoxNoTabStyle},
};

DialogSpec SettingsLikeSpec(DWORD style, const DialogItemSpec* items = kItems,
                            std::size_t count = std::size(kItems)) {
    return DialogSpec{style, "Flanger", 8, "MS Sans Serif", 0, 0, 180, 95, items, count};
}

RECT RectInParent(HWND window) {
    RECT rect{};
    GetWindowRect(window, &rect);
    MapWindowPoints(nullptr, GetParent(window), reinterpret_cast<POINT*>(&rect), 2);
    return rect;
}

std::string Text(HWND window) {
    char text[64] = "";
    GetWindowTextA(window, text, sizeof text);
    return text;
}

std::string ClassName(HWND window) {
    char name[64] = "";
    GetClassNameA(window, name, sizeof name);
    return name;
}

class DialogManagerTest : public WindowTest {
protected:
    void SetUp() override {
        WindowTest::SetUp();
        host = MakeWindow("Host", nullptr, WS_OVERLAPPED, 100, 200, 400, 300);
        SetFocus(nullptr);
        Log().clear();
    }

    HWND Create(const DialogTemplateBytes& bytes, LPARAM initParam = 0) {
        const HWND dialog =
            CreateDialogIndirectParamA(nullptr, static_cast<LPCDLGTEMPLATEA>(bytes.data()), host,
                                       RecordingDialogProcedure, initParam);
        Name(dialog, "D");
        return dialog;
    }

    HWND host = nullptr;
};

TEST_F(DialogManagerTest, ControlsComeInTemplateOrderWithTheirIdsClassesTextsAndRectangles) {
    const DialogTemplateBytes bytes = BuildDialogTemplate(SettingsLikeSpec(kChildDialogStyle));
    std::vector<bool> controlsAtInit;
    SetReaction([&](HWND dialog, UINT message, WPARAM wParam, LPARAM) -> std::optional<LRESULT> {
        if (message == WM_INITDIALOG) {
            for (const DialogItemSpec& item : kItems) {
                controlsAtInit.push_back(GetDlgItem(dialog, item.id) != nullptr);
            }
            EXPECT_EQ(reinterpret_cast<HWND>(wParam), GetDlgItem(dialog, 22805));
            return TRUE;
        }
        return std::nullopt;
    });
    const HWND dialog = Create(bytes);
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(controlsAtInit, std::vector<bool>(5, true));
    EXPECT_EQ(Trace({WM_SETFONT, WM_INITDIALOG, WM_SHOWWINDOW}),
              (Lines{"D WM_SETFONT", "D WM_INITDIALOG"}));

    EXPECT_EQ(ClassName(dialog), "#32770");
    EXPECT_EQ(Text(dialog), "Flanger");
    EXPECT_EQ(GetParent(dialog), host);
    EXPECT_EQ(static_cast<DWORD>(GetWindowLongA(dialog, GWL_STYLE)), kChildDialogStyle);
    EXPECT_FALSE(IsWindowVisible(dialog));
    RECT rect{};
    GetClientRect(dialog, &rect);
    EXPECT_EQ(rect.right, 270);   // 180 * 6 / 4
    EXPECT_EQ(rect.bottom, 154);  // 95 * 13 / 8 = 154.375

    // Rectangles with base units 6 x 13: x * 6 / 4 and y * 13 / 8, rounded as MulDiv rounds.
    const struct {
        int id;
        const char* className;
        const char* text;
        RECT rect;
        DWORD style;
    } expected[] = {
        {22805, "msctls_trackbar32", "Slider1", {6, 42, 33, 153}, kTrackbarStyle},
        {0xFFFF, "Static", "Delay", {5, 3, 35, 16}, kCaptionStyle},
        {22807, "Static", "10.0", {5, 21, 32, 37}, kLabelStyle},
        {22818, "Button", "Sine", {122, 59, 178, 82}, kCheckBoxStyle},
        {22819,
         "Button",
         "R\xC3\xBC"
         "ckkopplung",
         {113, 102, 182, 125},
         kCheckBoxNoTabStyle},
    };
    HWND control = GetWindow(dialog, GW_CHILD);
    for (const auto& e : expected) {
        SCOPED_TRACE(e.id);
        ASSERT_NE(control, nullptr);
        EXPECT_EQ(GetDlgCtrlID(control), e.id);
        EXPECT_EQ(ClassName(control), e.className);
        EXPECT_EQ(Text(control), e.text);
        EXPECT_EQ(static_cast<DWORD>(GetWindowLongA(control, GWL_STYLE)), e.style);
        const RECT actual = RectInParent(control);
        EXPECT_EQ(actual.left, e.rect.left);
        EXPECT_EQ(actual.top, e.rect.top);
        EXPECT_EQ(actual.right, e.rect.right);
        EXPECT_EQ(actual.bottom, e.rect.bottom);
        control = GetWindow(control, GW_HWNDNEXT);
    }
    EXPECT_EQ(control, nullptr);
    // WM_INITDIALOG answered TRUE: the first tab stop has the focus.
    EXPECT_EQ(GetFocus(), GetDlgItem(dialog, 22805));

    RECT units{4, 26, 22, 94};
    ASSERT_TRUE(MapDialogRect(dialog, &units));
    EXPECT_EQ(units.left, 6);
    EXPECT_EQ(units.top, 42);
    EXPECT_EQ(units.right, 33);
    EXPECT_EQ(units.bottom, 153);
    EXPECT_FALSE(MapDialogRect(host, &units));
    EXPECT_EQ(GetDialogBaseUnits(), MAKELONG(8, 16));
}

TEST_F(DialogManagerTest, TheTemplatesFontGoesToTheDialogAndItsTextControls) {
    const DialogTemplateBytes bytes = BuildDialogTemplate(SettingsLikeSpec(kChildDialogStyle));
    const HWND dialog = Create(bytes);
    ASSERT_NE(dialog, nullptr);
    const HFONT font = reinterpret_cast<HFONT>(SendMessageA(dialog, WM_GETFONT, 0, 0));
    EXPECT_NE(font, nullptr);
    EXPECT_EQ(Log().front().message, static_cast<UINT>(WM_SETFONT));
    EXPECT_EQ(Log().front().wParam, reinterpret_cast<WPARAM>(font));
    const struct {
        HWND window;
        const char* face;
        int points, baseX, baseY;
    } cases[] = {
        {dialog, "MS Sans Serif", 8, 6, 13},
        {GetDlgItem(dialog, 22807), "MS Sans Serif", 8, 6, 13},
        {GetDlgItem(dialog, 22818), "MS Sans Serif", 8, 6, 13},
        {GetDlgItem(dialog, 22805), "System", 10, 8, 16},  // a trackbar keeps no font
        {host, "System", 10, 8, 16},
    };
    for (const auto& c : cases) {
        char face[32] = "";
        int points = 0, baseX = 0, baseY = 0;
        ASSERT_TRUE(FlangerGetWindowFont(c.window, face, sizeof face, &points, &baseX, &baseY));
        EXPECT_STREQ(face, c.face);
        EXPECT_EQ(points, c.points);
        EXPECT_EQ(baseX, c.baseX);
        EXPECT_EQ(baseY, c.baseY);
    }
    EXPECT_EQ(SendDlgItemMessageA(dialog, 22807, WM_GETFONT, 0, 0),
              reinterpret_cast<LRESULT>(font));
    char face[4];
    ASSERT_TRUE(FlangerGetWindowFont(dialog, face, sizeof face, nullptr, nullptr, nullptr));
    EXPECT_STREQ(face, "MS ");

    // Another size scales the base units: 10 points give 7.5 -> 8 by 16.25 -> 16.
    DialogSpec larger = SettingsLikeSpec(kChildDialogStyle);
    larger.pointSize = 10;
    const HWND large = Create(BuildDialogTemplate(larger));
    ASSERT_NE(large, nullptr);
    RECT rect{};
    GetClientRect(large, &rect);
    EXPECT_EQ(rect.right, 360);   // 180 * 8 / 4
    EXPECT_EQ(rect.bottom, 190);  // 95 * 16 / 8
}

TEST_F(DialogManagerTest, AVisibleTemplateIsShownAfterInitDialogWhichMayDeclineTheFocus) {
    const DialogTemplateBytes bytes =
        BuildDialogTemplate(SettingsLikeSpec(kChildDialogStyle | WS_VISIBLE));
    SetReaction([](HWND, UINT message, WPARAM, LPARAM) -> std::optional<LRESULT> {
        return message == WM_INITDIALOG ? std::optional<LRESULT>(FALSE) : std::nullopt;
    });
    const HWND dialog = Create(bytes, 0x1234);
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(Trace({WM_SETFONT, WM_INITDIALOG, WM_SHOWWINDOW}),
              (Lines{"D WM_SETFONT", "D WM_INITDIALOG", "D WM_SHOWWINDOW"}));
    EXPECT_EQ(Log()[1].lParam, 0x1234);
    EXPECT_EQ(GetFocus(), nullptr);
    EXPECT_TRUE(GetWindowLongA(dialog, GWL_STYLE) & WS_VISIBLE);
}

TEST_F(DialogManagerTest, APopupDialogIsPlacedInItsOwnersClientCoordinates) {
    DialogSpec spec =
        SettingsLikeSpec(WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_SETFONT);
    spec.x = 10;
    spec.y = 10;
    const HWND dialog = Create(BuildDialogTemplate(spec));
    ASSERT_NE(dialog, nullptr);
    RECT rect{};
    GetWindowRect(dialog, &rect);
    EXPECT_EQ(rect.left, 115);  // the host's 100 + 10 * 6 / 4
    EXPECT_EQ(rect.top, 216);   // the host's 200 + 10 * 13 / 8 = 16.25
    EXPECT_EQ(GetParent(dialog), host);
    EXPECT_EQ(GetWindow(dialog, GW_OWNER), host);
    EXPECT_EQ(static_cast<DWORD>(GetWindowLongA(dialog, GWL_STYLE)),
              static_cast<DWORD>(WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_SETFONT |
                                 DS_3DLOOK));
    EXPECT_EQ(static_cast<DWORD>(GetWindowLongA(dialog, GWL_EXSTYLE)),
              static_cast<DWORD>(WS_EX_DLGMODALFRAME | WS_EX_CONTROLPARENT));
}

TEST_F(DialogManagerTest, AControlThatCannotBeMadeFailsTheWholeDialog) {
    for (const char* className : {"NoSuchClass", "Edit", "ListBox", "ComboBox"}) {
        SCOPED_TRACE(className);
        Log().clear();
        const DialogItemSpec items[] = {
            kItems[0],
            kItems[2],
            {5, className, "", 1, 1, 10, 10, WS_CHILD | WS_VISIBLE},
            kItems[3],
        };
        const DialogTemplateBytes bytes =
            BuildDialogTemplate(SettingsLikeSpec(kChildDialogStyle, items, std::size(items)));
        SetReaction([&](HWND window, UINT, WPARAM, LPARAM) -> std::optional<LRESULT> {
            Name(window, "D");  // the dialog's handle never comes back to the test
            return std::nullopt;
        });
        SetLastError(0);
        EXPECT_EQ(Create(bytes), nullptr);
        SetReaction(nullptr);
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_CANNOT_FIND_WND_CLASS));
        EXPECT_EQ(GetWindow(host, GW_CHILD), nullptr);
        // The dialog procedure saw the dialog come and go, never WM_INITDIALOG.
        EXPECT_EQ(Trace({WM_SETFONT, WM_INITDIALOG, WM_DESTROY, WM_NCDESTROY}),
                  (Lines{"D WM_SETFONT", "D WM_DESTROY", "D WM_NCDESTROY"}));

        DialogSpec tolerant =
            SettingsLikeSpec(kChildDialogStyle | DS_NOFAILCREATE, items, std::size(items));
        const HWND dialog = Create(BuildDialogTemplate(tolerant));
        ASSERT_NE(dialog, nullptr);
        EXPECT_NE(GetDlgItem(dialog, 22818), nullptr);
        EXPECT_EQ(GetDlgItem(dialog, 5), nullptr);
        DestroyWindow(dialog);
    }
}

TEST_F(DialogManagerTest, TheDefaultDialogProcedureFollowsUser32) {
    const HWND dialog = Create(BuildDialogTemplate(SettingsLikeSpec(kChildDialogStyle)));
    ASSERT_NE(dialog, nullptr);
    SetReaction([](HWND window, UINT message, WPARAM, LPARAM) -> std::optional<LRESULT> {
        if (message == WM_USER) {
            SetWindowLongPtrA(window, DWLP_MSGRESULT, 1234);
            return TRUE;
        }
        if (message == WM_USER + 1) {
            SetWindowLongPtrA(window, DWLP_MSGRESULT, 99);
            return FALSE;  // not handled: the default handling's result
        }
        return std::nullopt;
    });
    EXPECT_EQ(SendMessageA(dialog, WM_USER, 0, 0), 1234);
    EXPECT_EQ(SendMessageA(dialog, WM_USER + 1, 0, 0), 0);
    EXPECT_EQ(SetWindowLongPtrA(dialog, DWLP_USER, 5), 0);
    EXPECT_EQ(GetWindowLongPtrA(dialog, DWLP_USER), 5);
    EXPECT_EQ(GetWindowLongPtrA(dialog, DWLP_DLGPROC),
              reinterpret_cast<LONG_PTR>(RecordingDialogProcedure));

    // WM_CLOSE posts IDCANCEL (no such control here, so lParam is null).
    EXPECT_EQ(SendMessageA(dialog, WM_CLOSE, 0, 0), 0);
    MSG message{};
    ASSERT_TRUE(PeekMessageA(&message, dialog, 0, 0, PM_REMOVE));
    EXPECT_EQ(message.message, static_cast<UINT>(WM_COMMAND));
    EXPECT_EQ(message.wParam, MAKEWPARAM(IDCANCEL, BN_CLICKED));
    EXPECT_EQ(message.lParam, 0);
    EXPECT_TRUE(IsWindow(dialog));

    // The focus comes back to the dialog's first tab stop.
    SetFocus(host);
    SetFocus(dialog);
    EXPECT_EQ(GetFocus(), GetDlgItem(dialog, 22805));

    // Controls by id.
    SetLastError(0);
    EXPECT_EQ(GetDlgItem(dialog, 4711), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_CONTROL_ID_NOT_FOUND));
    EXPECT_EQ(IsDlgButtonChecked(dialog, 22818), static_cast<UINT>(BST_UNCHECKED));
    EXPECT_TRUE(CheckDlgButton(dialog, 22818, BST_CHECKED));
    EXPECT_EQ(IsDlgButtonChecked(dialog, 22818), static_cast<UINT>(BST_CHECKED));
    EXPECT_EQ(SendDlgItemMessageA(dialog, 22805, TBM_GETRANGEMAX, 0, 0), 100);
    EXPECT_EQ(SendDlgItemMessageA(dialog, 4711, TBM_GETRANGEMAX, 0, 0), 0);

    // The dialog's last message is WM_NCDESTROY, after its controls are gone.
    bool controlsGone = false;
    SetReaction([&](HWND window, UINT message, WPARAM, LPARAM) -> std::optional<LRESULT> {
        if (message == WM_NCDESTROY) {
            controlsGone = GetWindow(window, GW_CHILD) == nullptr;
        }
        return std::nullopt;
    });
    Log().clear();
    DestroyWindow(dialog);
    EXPECT_EQ(Trace({WM_DESTROY, WM_NCDESTROY}), (Lines{"D WM_DESTROY", "D WM_NCDESTROY"}));
    EXPECT_EQ(Log().back().message, static_cast<UINT>(WM_NCDESTROY));
    EXPECT_TRUE(controlsGone);
}

// Hostile templates served as a resource, in a heap block of exactly their size, so that any
// read past their end is caught by AddressSanitizer.
std::unique_ptr<unsigned char[]> HostileBytes;
std::size_t HostileSize = 0;

const void* FindHostile(uint32_t type, uint32_t name, uint32_t* size) {
    if (type != FLANGER_RESOURCE_TYPE_DIALOG || name != 1) {
        return nullptr;
    }
    *size = static_cast<uint32_t>(HostileSize);
    return HostileBytes.get();
}

TEST_F(DialogManagerTest, DamagedTemplatesAreRefusedWithoutReadingPastTheirEnd) {
    const DialogTemplateBytes good = BuildDialogTemplate(SettingsLikeSpec(kChildDialogStyle));
    const auto* goodBytes = static_cast<const unsigned char*>(good.data());
    const HMODULE module = FlangerRegisterResourceModule(FindHostile);
    ASSERT_NE(module, nullptr);
    const struct {
        const char* what;
        std::size_t keep;  // bytes of the good template kept
        int itemCount;     // -1: as written
        bool created;
    } cases[] = {
        {"the whole template", good.size(), -1, true},
        {"more items than there are", good.size(), 6, false},
        {"an absurd item count", good.size(), 60000, false},
        {"cut inside the last item's text", good.size() - 6, -1, false},
        {"cut inside the header", 10, -1, false},
        {"cut inside the caption", 0x18, -1, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        HostileBytes.reset(new unsigned char[c.keep]);
        HostileSize = c.keep;
        std::memcpy(HostileBytes.get(), goodBytes, c.keep);
        if (c.itemCount >= 0) {
            HostileBytes[8] = static_cast<unsigned char>(c.itemCount & 0xFF);
            HostileBytes[9] = static_cast<unsigned char>(c.itemCount >> 8);
        }
        const HRSRC resource = FindResourceA(module, MAKEINTRESOURCEA(1), RT_DIALOG);
        ASSERT_NE(resource, nullptr);
        const auto* dialog =
            static_cast<LPCDLGTEMPLATEA>(LockResource(LoadResource(module, resource)));
        ASSERT_EQ(static_cast<const void*>(dialog), HostileBytes.get());
        const HWND created =
            CreateDialogIndirectParamA(nullptr, dialog, host, RecordingDialogProcedure, 0);
        EXPECT_EQ(created != nullptr, c.created);
        if (created != nullptr) {
            DestroyWindow(created);
        } else {
            EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
        }
        EXPECT_EQ(GetWindow(host, GW_CHILD), nullptr);
    }
    HostileBytes.reset();
}

TEST_F(DialogManagerTest, ExtendedTemplatesAndEndlessStringsAreRefused) {
    // DLGTEMPLATEEX: version 1, signature 0xFFFF.
    alignas(4) const unsigned char extended[64] = {0x01, 0x00, 0xFF, 0xFF};
    // A caption of 5000 characters, longer than any template string may be.
    std::vector<std::uint32_t> endless(3000, 0x00410041u);
    endless[0] = kChildDialogStyle;
    endless[1] = 0;
    endless[2] = 0;           // no items, x 0
    endless[3] = 0;           // y 0, cx 0
    endless[4] = 0;           // cy 0, no menu
    endless[5] = 0x00410000;  // the dialog class, then the caption starts
    endless.back() = 0;
    for (const void* bytes :
         {static_cast<const void*>(extended), static_cast<const void*>(endless.data())}) {
        SetLastError(0);
        EXPECT_EQ(CreateDialogIndirectParamA(nullptr, static_cast<LPCDLGTEMPLATEA>(bytes), host,
                                             RecordingDialogProcedure, 0),
                  nullptr);
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    }
    EXPECT_EQ(CreateDialogIndirectParamA(nullptr, nullptr, host, nullptr, 0), nullptr);
    EXPECT_EQ(GetWindow(host, GW_CHILD), nullptr);
    EXPECT_TRUE(Log().empty());
}

}  // namespace
}  // namespace flanger::platform::test
