// The one progress line of a many-file run: the frames done of all files over their total, and
// how many files are finished, on standard error when it is a terminal. Worker threads add to
// it as they go; the counts are atomics and drawing takes a mutex, which a worker only tries:
// when another is drawing, or the line was drawn very recently, it just goes on with its audio.
// Messages about single files go through it too, so that they never land inside the line.
#pragma once

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>

namespace flanger::tool {

class BatchProgress {
public:
    // `totalFrames`: the length of all files that have one; 0 shows no line.
    BatchProgress(std::int64_t totalFrames, std::size_t files);

    bool Visible() const { return Enabled; }
    // `frames` more frames done. Any thread.
    void AddFrames(std::int64_t frames);
    // One more file finished, however it ended. Any thread.
    void FileDone();
    // Writes "flanger: <message>" on its own line, the progress line drawn again below it on
    // the next update. Any thread.
    void Report(const std::string& message);
    // Ends the line, drawn as it stands at the end (full when all went well). After the workers
    // have stopped.
    void Finish();

private:
    void DrawLocked();

    const bool Enabled;
    const std::int64_t Total;
    const std::size_t Files;
    std::atomic<std::int64_t> Done{0};
    std::atomic<std::size_t> FilesDone{0};
    std::mutex Drawing;  // guards the terminal line and the members below
    std::optional<std::chrono::steady_clock::time_point> LastDraw;
    std::size_t ShownLength = 0;  // characters of the line now on the terminal; 0: none
};

// "[#####               ]  25%  1/4 files".
std::string FormatBatchProgress(std::int64_t done, std::int64_t total, std::size_t filesDone,
                                std::size_t files, int width);

}  // namespace flanger::tool
