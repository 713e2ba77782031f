// Drawing the many-file progress line with carriage returns on one terminal line.
#include "many_files/batch_progress.h"

#include <unistd.h>

#include <cstdio>

#include "processing/progress_bar.h"

namespace flanger::tool {
namespace {

constexpr std::chrono::milliseconds kRedrawInterval{200};
constexpr int kBarWidth = 40;

}  // namespace

std::string FormatBatchProgress(std::int64_t done, std::int64_t total, std::size_t filesDone,
                                std::size_t files, int width) {
    return FormatProgress(done, total, width) + "  " + std::to_string(filesDone) + "/" +
           std::to_string(files) + (files == 1 ? " file" : " files");
}

BatchProgress::BatchProgress(std::int64_t totalFrames, std::size_t files)
    : Enabled(totalFrames > 0 && isatty(STDERR_FILENO) == 1), Total(totalFrames), Files(files) {}

void BatchProgress::AddFrames(std::int64_t frames) {
    Done.fetch_add(frames, std::memory_order_relaxed);
    if (!Enabled) return;
    const std::unique_lock lock(Drawing, std::try_to_lock);
    if (!lock.owns_lock()) return;
    const auto now = std::chrono::steady_clock::now();
    if (LastDraw && now - *LastDraw < kRedrawInterval) return;
    LastDraw = now;
    DrawLocked();
}

void BatchProgress::FileDone() { FilesDone.fetch_add(1, std::memory_order_relaxed); }

void BatchProgress::Report(const std::string& message) {
    const std::lock_guard lock(Drawing);
    if (ShownLength > 0) {
        // Blanks over the progress line, so the message does not end in the rest of it.
        std::fprintf(stderr, "\r%s\r", std::string(ShownLength, ' ').c_str());
        ShownLength = 0;
        LastDraw.reset();
    }
    std::fprintf(stderr, "flanger: %s\n", message.c_str());
    std::fflush(stderr);
}

void BatchProgress::Finish() {
    if (!Enabled) return;
    const std::lock_guard lock(Drawing);
    DrawLocked();
    std::fputs("\n", stderr);
    std::fflush(stderr);
    ShownLength = 0;
}

void BatchProgress::DrawLocked() {
    const std::string line =
        FormatBatchProgress(Done.load(std::memory_order_relaxed), Total,
                            FilesDone.load(std::memory_order_relaxed), Files, kBarWidth);
    std::fprintf(stderr, "\r%s", line.c_str());
    std::fflush(stderr);
    ShownLength = line.size();
}

}  // namespace flanger::tool
