// A one-line progress bar on standard error, for a person watching a long file being processed.
// It draws only when standard error is a terminal and the total length is known, and redraws
// at most a few times per second so that it costs nothing next to the audio work.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>

namespace flanger::tool {

class ProgressBar {
public:
    // `totalFrames`: the length of the audio; nullopt or 0 shows nothing.
    explicit ProgressBar(std::optional<std::int64_t> totalFrames);

    bool Visible() const { return Enabled; }
    // Redraws for `framesDone` unless the last redraw was very recent.
    void Update(std::int64_t framesDone);
    // Ends the bar's line: drawn full when the work completed, left as it stands otherwise.
    void Finish(bool completed);

private:
    void Draw(std::int64_t framesDone);

    bool Enabled = false;
    std::int64_t Total = 0;
    std::optional<std::chrono::steady_clock::time_point> LastDraw;
};

// "[#####               ]  25%": the bar for `done` of `total`, clamped to 0..100 %.
std::string FormatProgress(std::int64_t done, std::int64_t total, int width);

}  // namespace flanger::tool
