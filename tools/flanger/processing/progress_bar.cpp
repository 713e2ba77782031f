// Drawing the progress bar with carriage returns on one terminal line.
#include "processing/progress_bar.h"

#include <unistd.h>

#include <algorithm>
#include <cstdio>

namespace flanger::tool {
namespace {

constexpr std::chrono::milliseconds kRedrawInterval{200};
constexpr int kBarWidth = 40;

}  // namespace

std::string FormatProgress(std::int64_t done, std::int64_t total, int width) {
    const std::int64_t clamped = std::clamp<std::int64_t>(done, 0, total);
    const auto percent = static_cast<int>(total > 0 ? clamped * 100 / total : 100);
    const auto filled = static_cast<int>(total > 0 ? clamped * width / total : width);
    std::string text = "[";
    text.append(static_cast<std::size_t>(filled), '#');
    text.append(static_cast<std::size_t>(width - filled), ' ');
    text += "] ";
    const std::string number = std::to_string(percent);
    text.append(3 - std::min<std::size_t>(3, number.size()), ' ');
    text += number + "%";
    return text;
}

ProgressBar::ProgressBar(std::optional<std::int64_t> totalFrames) {
    Enabled = totalFrames && *totalFrames > 0 && isatty(STDERR_FILENO) == 1;
    Total = totalFrames.value_or(0);
}

void ProgressBar::Update(std::int64_t framesDone) {
    if (!Enabled) return;
    const auto now = std::chrono::steady_clock::now();
    if (LastDraw && now - *LastDraw < kRedrawInterval) return;
    LastDraw = now;
    Draw(framesDone);
}

void ProgressBar::Finish(bool completed) {
    if (!Enabled) return;
    Enabled = false;
    if (completed) {
        Draw(Total);
    } else if (!LastDraw) {
        return;  // nothing on the line to end
    }
    std::fputs("\n", stderr);
    std::fflush(stderr);
}

void ProgressBar::Draw(std::int64_t framesDone) {
    std::fprintf(stderr, "\r%s", FormatProgress(framesDone, Total, kBarWidth).c_str());
    std::fflush(stderr);
}

}  // namespace flanger::tool
