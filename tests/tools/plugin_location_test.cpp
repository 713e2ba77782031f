// The order in which the flanger command looks for its module.
#include "module/plugin_location.h"

#include <gtest/gtest.h>

#include "scratch_directory.h"

namespace flanger::tool {
namespace {

struct LocationCase {
    std::optional<std::string> option;
    const char* environment;
    std::string executable;
    std::string expected;
};

TEST(PluginLocationTest, OptionThenEnvironmentThenNextToTheExecutable) {
    // Executables in a fresh folder: no module is installed beside or below it, whatever the
    // machine has installed under its own prefixes.
    const test::ScratchDirectory d;
    const std::string bin = d / "opt/bin/";
    const LocationCase cases[] = {
        {"mine.so", "/env/Plugin.so", bin + "flanger", "mine.so"},
        {std::nullopt, "/env/Plugin.so", bin + "flanger", "/env/Plugin.so"},
        {std::nullopt, "", bin + "flanger", bin + "Plugin.so"},
        {std::nullopt, nullptr, bin + "flanger", bin + "Plugin.so"},
        {std::nullopt, nullptr, d / "flanger", d / "Plugin.so"},
        {std::nullopt, nullptr, "", "Plugin.so"},
    };
    for (const LocationCase& c : cases) {
        EXPECT_EQ(LocatePlugin(c.option, c.environment, c.executable), c.expected)
            << "option " << c.option.value_or("(none)") << ", environment "
            << (c.environment ? c.environment : "(unset)") << ", executable " << c.executable;
    }
}

}  // namespace
}  // namespace flanger::tool
