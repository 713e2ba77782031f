// Bit-for-bit comparison of sample sequences, naming the first differing frame and channel.
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace flanger::tool::test {

template <typename Sample>
::testing::AssertionResult SameSamples(const std::vector<Sample>& actual,
                                       const std::vector<Sample>& expected, int channels) {
    if (actual.size() != expected.size()) {
        return ::testing::AssertionFailure()
               << actual.size() << " samples where " << expected.size() << " were expected";
    }
    std::size_t differing = 0;
    std::size_t first = 0;
    for (std::size_t i = 0; i < actual.size(); ++i) {
        if (std::memcmp(&actual[i], &expected[i], sizeof(Sample)) != 0 && differing++ == 0) {
            first = i;
        }
    }
    if (differing == 0) return ::testing::AssertionSuccess();
    const auto width = static_cast<std::size_t>(channels);
    return ::testing::AssertionFailure()
           << differing << " samples differ; the first at frame " << first / width << ", channel "
           << first % width << ": " << actual[first] << " instead of " << expected[first];
}

}  // namespace flanger::tool::test
