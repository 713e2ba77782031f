// The settings dialog inside the module's own code, with templates other than the module's
// own: the stored template is never written, replacement templates with more or fewer static
// controls work, templates that lack a control the dialog binds (or have one of the wrong kind)
// give no window and leave nothing behind, and a horizontal slider stores at every move.
#include "ui/settings_dialog_template.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <fstream>
#include <functional>
#include <iterator>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include "host_parent_window.h"
#include "program_module_state.h"
#include "settings_window_view.h"
#include "ui/german/german_settings_dialog_table.h"
#include "ui/own_resources.h"
#include "ui/settings_window.h"
#include "windowing/dialog_template.h"
#include "windowing/framework/module_state.h"
#include "windowing/simulated_input.h"

namespace flanger::test {
namespace {

using platform::DialogItemSpec;
using platform::DialogSpec;

constexpr std::uint32_t kStoredStyle = 0x80C800C0;

std::uint32_t FirstWord(const void* bytes) {
    std::uint32_t word = 0;
    std::memcpy(&word, bytes, sizeof word);
    return word;
}

std::vector<HWND> Children(HWND window) {
    std::vector<HWND> children;
    for (HWND c = GetWindow(window, GW_CHILD); c != nullptr; c = GetWindow(c, GW_HWNDNEXT)) {
        children.push_back(c);
    }
    return children;
}

class SettingsDialogTemplateTest : public ::testing::Test {
protected:
    void SetUp() override {
        StartProgramAsTheModule();
        ASSERT_NE(parent.Handle(), nullptr);
        SetParameters(record, kDefaults);
    }
    void TearDown() override {
        if (IsWindow(parent.Handle())) DestroyWindow(parent.Handle());
        DispatchPendingMessages();
    }

    HostParentWindow parent;
    EffectSettings record = {};
};

// The module's own template is found through the resource search, and the window is made from
// a copy: the stored bytes still carry their popup style, byte for byte as before.
TEST_F(SettingsDialogTemplateTest, OwnTemplateStaysAsStored) {
    LPCSTR const name = MAKEINTRESOURCEA(22802);
    HINSTANCE const module = framework::AfxFindResourceHandle(name, RT_DIALOG);
    ASSERT_EQ(module, ui::OwnResourceModule());
    HRSRC const resource = FindResourceA(module, name, RT_DIALOG);
    ASSERT_NE(resource, nullptr);
    const auto* const stored =
        static_cast<const unsigned char*>(LockResource(LoadResource(module, resource)));
    ASSERT_NE(stored, nullptr);
    const std::vector<unsigned char> before(stored, stored + SizeofResource(module, resource));
    ASSERT_EQ(FirstWord(stored), kStoredStyle);

    HWND const window = ui::CreateSettingsWindowFromResources(parent.Handle(), &record);
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(static_cast<DWORD>(GetWindowLongA(window, GWL_STYLE)), 0x40000044u);
    EXPECT_EQ(FirstWord(stored), kStoredStyle);
    EXPECT_EQ(std::vector<unsigned char>(stored, stored + before.size()), before);
}

// A replacement template: the module's own table with changes.
struct TemplateCase {
    const char* name;
    std::function<void(std::vector<DialogItemSpec>& items)> change;
    bool creates;
    int wrappedStatics;  // statics given a wrapper, when the window is made
    int plainStatics;    // statics left as they are
};

void Remove(std::vector<DialogItemSpec>& items, int id) {
    std::erase_if(items, [id](const DialogItemSpec& item) { return item.id == id; });
}

void SetClass(std::vector<DialogItemSpec>& items, int id, const char* className) {
    for (DialogItemSpec& item : items) {
        if (item.id == id) item.className = className;
    }
}

std::vector<TemplateCase> TemplateCases() {
    std::vector<TemplateCase> cases = {
        {"OwnTable", [](auto&) {}, true, 10, 0},
        {"ThreeMoreCaptions",
         [](auto& items) {
             for (short y : {40, 50, 60}) {
                 items.push_back({65535, "Static", "Extra", 100, y, 20, 8, 0x50020000});
             }
         },
         true, 10, 3},
        {"NoCaptions", [](auto& items) { Remove(items, 65535); }, true, 5, 0},
        {"DelaySliderIsAStatic", [](auto& items) { SetClass(items, 22805, "Static"); }, false, 0,
         0},
        {"FeedbackSliderIsAButton", [](auto& items) { SetClass(items, 22815, "Button"); }, false, 0,
         0},
        {"SineBoxIsATrackbar", [](auto& items) { SetClass(items, 22818, "msctls_trackbar32"); },
         false, 0, 0},
        {"FeedbackBoxIsAStatic", [](auto& items) { SetClass(items, 22819, "Static"); }, false, 0,
         0},
    };
    static const std::string kMissingNames[] = {"Missing22805", "Missing22806", "Missing22807",
                                                "Missing22808", "Missing22809", "Missing22810",
                                                "Missing22812", "Missing22815", "Missing22816",
                                                "Missing22817", "Missing22818", "Missing22819"};
    const int bound[] = {22805, 22806, 22807, 22808, 22809, 22810,
                         22812, 22815, 22816, 22817, 22818, 22819};
    for (int i = 0; i < 12; ++i) {
        const int id = bound[i];
        cases.push_back(
            {kMissingNames[i].c_str(), [id](auto& items) { Remove(items, id); }, false, 0, 0});
    }
    return cases;
}

void PrintTo(const TemplateCase& c, std::ostream* out) { *out << c.name; }

class ReplacementTemplateTest : public SettingsDialogTemplateTest,
                                public ::testing::WithParamInterface<TemplateCase> {};

// The procedure of a static control nobody has wrapped.
LONG_PTR PlainStaticProcedure(HWND parent) {
    HWND const plain =
        CreateWindowExA(0, "Static", "", WS_CHILD, 0, 0, 1, 1, parent, nullptr, nullptr, nullptr);
    const LONG_PTR procedure = GetWindowLongPtrA(plain, GWLP_WNDPROC);
    DestroyWindow(plain);
    return procedure;
}

TEST_P(ReplacementTemplateTest, MakesAWindowOnlyWhenEveryBoundControlFits) {
    const TemplateCase& c = GetParam();
    const DialogSpec& own = ui::SettingsDialogSpec();
    std::vector<DialogItemSpec> items(own.items, own.items + own.itemCount);
    c.change(items);
    DialogSpec spec = own;
    spec.items = items.data();
    spec.itemCount = items.size();
    const platform::DialogTemplateBytes bytes = platform::BuildDialogTemplate(spec);
    const auto* const stored = static_cast<const unsigned char*>(bytes.data());
    const std::vector<unsigned char> before(stored, stored + bytes.size());
    const LONG_PTR plainStatic = PlainStaticProcedure(parent.Handle());

    HWND const window =
        ui::CreateSettingsWindowFromTemplate(parent.Handle(), &record, bytes.data(), bytes.size());
    EXPECT_EQ(std::vector<unsigned char>(stored, stored + bytes.size()), before);
    EXPECT_EQ(ParametersOf(record), kDefaults);
    if (!c.creates) {
        EXPECT_EQ(window, nullptr);
        EXPECT_TRUE(Children(parent.Handle()).empty());
        EXPECT_TRUE(parent.TakeCommands().empty());
        return;
    }
    ASSERT_NE(window, nullptr);
    int wrapped = 0;
    int plain = 0;
    for (HWND child : Children(window)) {
        char className[16] = {};
        GetClassNameA(child, className, sizeof className);
        if (std::string(className) != "Static") continue;
        // Wrapped or not, a static keeps working as a static.
        SetWindowTextA(child, "x");
        EXPECT_EQ(WindowText(child), "x");
        (GetWindowLongPtrA(child, GWLP_WNDPROC) == plainStatic ? plain : wrapped) += 1;
    }
    EXPECT_EQ(wrapped, c.wrappedStatics);
    EXPECT_EQ(plain, c.plainStatics);
    // The window works: a click stores and notifies.
    platform::ClickButton(GetDlgItem(window, kSineCheck));
    EXPECT_EQ(record.Sine, 1);
    EXPECT_EQ(parent.TakeCommands().size(), 1u);
    EXPECT_TRUE(DestroyWindow(window));
}

INSTANTIATE_TEST_SUITE_P(Templates, ReplacementTemplateTest, ::testing::ValuesIn(TemplateCases()),
                         [](const auto& info) { return std::string(info.param.name); });

// A template with a horizontal slider: every horizontal move stores and notifies, not only the
// end of one, so a channel click (a page move, then its end) stores twice, and once more where
// the trackbar also reports the end when it lets the mouse capture go.
TEST_F(SettingsDialogTemplateTest, HorizontalSliderStoresAtEveryMove) {
    const DialogSpec& own = ui::SettingsDialogSpec();
    std::vector<DialogItemSpec> items(own.items, own.items + own.itemCount);
    for (DialogItemSpec& item : items) {
        if (item.id == kDelaySlider) {
            item.style &= ~static_cast<std::uint32_t>(TBS_VERT);
            std::swap(item.cx, item.cy);
        }
    }
    DialogSpec spec = own;
    spec.items = items.data();
    spec.itemCount = items.size();
    const platform::DialogTemplateBytes bytes = platform::BuildDialogTemplate(spec);
    HWND const window =
        ui::CreateSettingsWindowFromTemplate(parent.Handle(), &record, bytes.data(), bytes.size());
    ASSERT_NE(window, nullptr);

    const LONG position = platform::ClickChannel(GetDlgItem(window, kDelaySlider), 10);
    EXPECT_LT(position, 60);
    EXPECT_EQ(ParametersOf(record), (Parameters{90, 110 - position, 50, 0, 10, 10}));
    EXPECT_EQ(parent.TakeCommands().size(), 2 + kExtraPerTrackbarRelease);
}

// Creation refuses what cannot be a settings window without making one.
TEST_F(SettingsDialogTemplateTest, RefusesUnusableArguments) {
    const platform::DialogTemplateBytes& own = ui::SettingsDialogTemplate();
    EXPECT_EQ(
        ui::CreateSettingsWindowFromTemplate(parent.Handle(), nullptr, own.data(), own.size()),
        nullptr);
    EXPECT_EQ(ui::CreateSettingsWindowFromTemplate(nullptr, &record, own.data(), own.size()),
              nullptr);
    EXPECT_EQ(ui::CreateSettingsWindowFromTemplate(parent.Handle(), &record, nullptr, 0), nullptr);
    EXPECT_EQ(ui::CreateSettingsWindowFromTemplate(parent.Handle(), &record, own.data(),
                                                   sizeof(DLGTEMPLATE) - 1),
              nullptr);
    EXPECT_TRUE(Children(parent.Handle()).empty());
}

// A resource library's template that ends early is refused before the dialog manager, which
// has no size to go by, reads past it. Each cut lies in an exact-size heap block, so an
// over-read shows under AddressSanitizer.
TEST_F(SettingsDialogTemplateTest, RefusesTemplatesCutShort) {
    const platform::DialogTemplateBytes& own = ui::SettingsDialogTemplate();
    const auto* const bytes = static_cast<const unsigned char*>(own.data());
    for (std::size_t size = sizeof(DLGTEMPLATE); size < own.size(); ++size) {
        std::vector<unsigned char> cut(bytes, bytes + size);
        EXPECT_EQ(
            ui::CreateSettingsWindowFromTemplate(parent.Handle(), &record, cut.data(), cut.size()),
            nullptr)
            << size << " of " << own.size() << " bytes";
    }
    EXPECT_TRUE(Children(parent.Handle()).empty());
    EXPECT_TRUE(parent.TakeCommands().empty());
}

#ifdef FLANGER_RES_DIR
// The tables give what the Windows builds' resource compiler makes of their scripts: after an
// empty entry, dialog 22802's 32-byte header and template, the trackbar's class in capitals.
TEST_F(SettingsDialogTemplateTest, TablesAreWhatTheResourceCompilerMakesOfTheScripts) {
    const auto bytes = [](const void* data, std::size_t size) {
        return std::string(static_cast<const char*>(data), size);
    };
    for (const auto& [name, table] : {std::pair{"settings_dialog.res", &ui::SettingsDialogSpec()},
                                      {"german_settings_dialog.res", &ui::kGermanSettingsDialog}}) {
        std::ifstream file(std::string(FLANGER_RES_DIR) + name, std::ios::binary);
        std::string res{std::istreambuf_iterator<char>(file), {}};
        for (std::size_t at; (at = res.find(bytes(u"MSCTLS_TRACKBAR32", 34))) != res.npos;) {
            res.replace(at, 34, bytes(u"msctls_trackbar32", 34));
        }
        const platform::DialogTemplateBytes made = platform::BuildDialogTemplate(*table);
        const std::uint32_t header[] = {std::uint32_t(made.size()), 32, 0x0005FFFF, 0x5912FFFF};
        EXPECT_EQ(res.substr(32, 16), bytes(header, 16)) << name;
        EXPECT_EQ(res.substr(64, made.size()), bytes(made.data(), made.size())) << name;
    }
}
#endif

}  // namespace
}  // namespace flanger::test
