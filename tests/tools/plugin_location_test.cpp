// The order in which the flanger command looks for its module.
#include "module/plugin_location.h"

#include <gtest/gtest.h>

namespace flanger::tool {
namespace {

struct LocationCase {
    std::optional<std::string> option;
    const char* environment;
    std::string executable;
    std::string expected;
};

TEST(PluginLocationTest, OptionThenEnvironmentThenNextToTheExecutable) {
    const LocationCase cases[] = {
        {"mine.so", "/env/Plugin.so", "/opt/bin/flanger", "mine.so"},
        {std::nullopt, "/env/Plugin.so", "/opt/bin/flanger", "/env/Plugin.so"},
        {std::nullopt, "", "/opt/bin/flanger", "/opt/bin/Plugin.so"},
        {std::nullopt, nullptr, "/opt/bin/flanger", "/opt/bin/Plugin.so"},
        {std::nullopt, nullptr, "/flanger", "/Plugin.so"},
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
