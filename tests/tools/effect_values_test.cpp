// Effect values written in typed units: exact decimal text for every record value, and the
// listing of "show-preset" with its marks for values outside the settings window's ranges.
#include "command_line/effect_values.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <limits>
#include <sstream>
#include <string>
#include <vector>

#include "audio/audio_format.h"
#include "command_line/help_text.h"
#include "effect/factory_presets.h"

namespace flanger::tool {
namespace {

constexpr std::int32_t kMin = std::numeric_limits<std::int32_t>::min();
constexpr std::int32_t kMax = std::numeric_limits<std::int32_t>::max();

TEST(EffectValuesTest, FormatsRecordValuesAsExactDecimals) {
    struct Case {
        std::int64_t value;
        int decimals;
        const char* text;
    };
    const Case cases[] = {
        {50, 1, "5.0"},
        {5, 1, "0.5"},
        {0, 1, "0.0"},
        {-5, 1, "-0.5"},
        {-50, 1, "-5.0"},
        {10, 2, "0.10"},
        {5, 2, "0.05"},
        {-5, 2, "-0.05"},
        {-105, 2, "-1.05"},
        {200, 2, "2.00"},
        {7, 0, "7"},
        {kMax, 2, "21474836.47"},
        {kMin, 1, "-214748364.8"},
        {-std::int64_t{kMin}, 2, "21474836.48"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(FormatFixed(c.value, c.decimals), c.text) << c.value << " / 10^" << c.decimals;
    }
}

TEST(EffectValuesTest, ListsTheSixValuesAndMarksThoseOutsideTheWindow) {
    struct Case {
        const char* name;
        EffectParameters parameters;
        std::vector<std::string> lines;
    };
    const Case cases[] = {
        {"a new effect",
         {},
         {"delay     5.0 ms       (Delay=50)", "width     5.0 ms       (Width=50)",
          "speed     0.10 Hz      (Speed=10)", "depth     0.90         (Depth=90)",
          "feedback  0.10         (Feedback=10)", "sweep     triangle     (Sine=0)"}},
        {"the ends of the ranges, feedback off, any nonzero Sine",
         {100, 100, 10, 5, -45, 200},
         {"delay     10.0 ms      (Delay=100)", "width     1.0 ms       (Width=10)",
          "speed     2.00 Hz      (Speed=200)", "depth     1.00         (Depth=100)",
          "feedback  off (0.45)   (Feedback=-45)", "sweep     sine         (Sine=5)"}},
        {"just outside",
         {-5, 101, 9, -1, 0, 201},
         {"delay     10.1 ms      (Delay=101)  outside the range 1.0 to 10.0 ms",
          "width     0.9 ms       (Width=9)  outside the range 1.0 to 10.0 ms",
          "speed     2.01 Hz      (Speed=201)  outside the range 0.10 to 2.00 Hz",
          "depth     -0.05        (Depth=-5)  outside the range 0.10 to 1.00",
          "feedback  0.00         (Feedback=0)  outside the range 0.10 to 1.00",
          "sweep     sine         (Sine=-1)"}},
        {"the ends of the integers",
         {kMax, kMin, 0, kMin, kMin, kMax},
         {"delay     -214748364.8 ms (Delay=-2147483648)  outside the range 1.0 to 10.0 ms",
          "width     0.0 ms       (Width=0)  outside the range 1.0 to 10.0 ms",
          "speed     21474836.47 Hz (Speed=2147483647)  outside the range 0.10 to 2.00 Hz",
          "depth     21474836.47  (Depth=2147483647)  outside the range 0.10 to 1.00",
          "feedback  off (21474836.48) (Feedback=-2147483648)  outside the range 0.10 to 1.00",
          "sweep     sine         (Sine=-2147483648)"}},
        {"a switched-off feedback outside the range",
         {90, 50, 50, 0, -101, 10},
         {"delay     5.0 ms       (Delay=50)", "width     5.0 ms       (Width=50)",
          "speed     0.10 Hz      (Speed=10)", "depth     0.90         (Depth=90)",
          "feedback  off (1.01)   (Feedback=-101)  outside the range 0.10 to 1.00",
          "sweep     triangle     (Sine=0)"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(DescribeParameters(c.parameters), c.lines);
    }
}

std::string SourceText(const char* path) {
    std::ifstream file(std::string(FLANGER_SOURCE_DIR) + "/" + path, std::ios::binary);
    return {std::istreambuf_iterator<char>(file), {}};
}

// The man page and the bash completion are written by hand: each option of the controls' table
// stands in both, as a control of the record or of the live engine, with its range and default.
TEST(EffectValuesTest, ManPageAndCompletionAgreeWithTheControls) {
    const std::string man = SourceText("doc/flanger.1.in");
    const std::string completion = SourceText("packaging/flanger.bash-completion");
    ASSERT_FALSE(man.empty() || completion.empty());
    const auto list = [&](const std::string& name) {
        const std::size_t start = completion.find("local " + name + "=\"") + name.size() + 8;
        return " " + completion.substr(start, completion.find('"', start) - start) + " ";
    };
    const std::string record = list("effect"), live = list("render");
    const std::size_t prevCase = completion.find("case \"$prev\" in");
    const std::string valueCase =
        completion.substr(prevCase, completion.find("esac", prevCase) - prevCase);
    std::size_t listed = 0;
    for (const Control& control : kControls) {
        if (control.Option == nullptr) continue;
        const std::string option = control.Option;
        SCOPED_TRACE(option);
        ++listed;
        EXPECT_NE((control.Home == ControlHome::Record ? record : live).find(" " + option + " "),
                  std::string::npos);
        const bool valueListed = valueCase.find(option + ")") != std::string::npos ||
                                 valueCase.find(option + " |") != std::string::npos;
        EXPECT_EQ(valueListed, control.OptionValue != nullptr);
        std::string roff;
        for (const char c : option) roff += c == '-' ? "\\-" : std::string(1, c);
        const std::string head = control.OptionValue != nullptr
                                     ? ".BI " + roff + " \" " + control.OptionValue + "\"\n"
                                     : ".B " + roff + "\n";
        const std::size_t at = man.find(head);
        ASSERT_NE(at, std::string::npos) << head;
        if (!IsNumericOption(control)) continue;
        const std::string paragraph = man.substr(at, man.find("\n.TP", at) - at);
        const EffectRange range = OptionRangeOf(control);
        for (const std::string& text :
             {FormatFixed(range.Low, range.DecimalShift),
              FormatFixed(range.High, range.DecimalShift),
              "default " + FormatFixed(DefaultOnGrid(control), range.DecimalShift)}) {
            EXPECT_NE(paragraph.find(text), std::string::npos) << text;
            EXPECT_NE(std::string_view(control.Help).find(text), std::string::npos) << text;
        }
    }
    // No option the table lacks.
    const auto options = [](const std::string& text) {
        std::size_t count = 0;
        for (std::size_t at = text.find(" --"); at != std::string::npos;
             at = text.find(" --", at + 1))
            ++count;
        return count;
    };
    EXPECT_EQ(options(record) + options(live), listed);
    // --preset-name completes every factory preset's key, and nothing else.
    const std::size_t keys = completion.find("local factory=\"") + 15;
    std::istringstream words(completion.substr(keys, completion.find('"', keys) - keys));
    const std::vector<std::string> completed{std::istream_iterator<std::string>(words), {}};
    std::vector<std::string> expected;
    for (const FactoryPreset& preset : FactoryPresets()) expected.emplace_back(preset.Key);
    EXPECT_EQ(completed, expected);
    // Every container the command writes, in --help, in the man page's --format entry and in
    // its description's first paragraph.
    const std::size_t format = man.find(".BI \\-\\-format");
    const std::string formatEntry = man.substr(format, man.find("\n.TP", format) - format);
    const std::size_t description = man.find(".SH DESCRIPTION");
    const std::string opening = man.substr(description, man.find(".PP", description) - description);
    // The name as a word of `text`, in any letter case.
    const auto mentions = [](std::string text, const std::string& name) {
        for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        for (std::size_t at = text.find(name); at != std::string::npos;
             at = text.find(name, at + 1)) {
            const char before = at == 0 ? ' ' : text[at - 1];
            const char after = at + name.size() < text.size() ? text[at + name.size()] : ' ';
            if (std::string_view(" (").find(before) != std::string_view::npos &&
                std::string_view(" ,.)\n").find(after) != std::string_view::npos) {
                return true;
            }
        }
        return false;
    };
    std::istringstream names(ContainerNameList());
    for (std::string name; names >> name;) {
        if (name == "or") continue;
        if (name.ends_with(',')) name.pop_back();
        SCOPED_TRACE(name);
        EXPECT_TRUE(mentions(HelpText(), name));
        EXPECT_TRUE(mentions(formatEntry, name));
        EXPECT_TRUE(mentions(opening, name));
    }
}

}  // namespace
}  // namespace flanger::tool
