// Sound files for the command's tests, written and read with libsndfile directly (not through
// the tool's own wrapper, whose faults the tests must be able to see).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace flanger::tool::test {

struct Sound {
    int format = 0;  // libsndfile format word
    int channels = 0;
    int sampleRate = 0;
    std::int64_t frames = 0;
    std::vector<float> samples;  // interleaved
};

// A deterministic test signal: in every channel a different sine plus noise, peaking near 0.95
// so that the effect's output exceeds full scale and integer outputs must clip.
std::vector<float> TestSignal(int channels, int sampleRate, std::int64_t frames);

// Writes interleaved float samples with libsndfile (clipping for integer encodings).
void WriteSound(const std::string& path, int format, int channels, int sampleRate,
                const std::vector<float>& samples);

// Reads a whole file as float.
Sound ReadSound(const std::string& path);

// Reads a whole file as double, which holds every sample of every encoding exactly.
std::vector<double> ReadExactly(const std::string& path);

// libsndfile's name of a format word, for messages.
std::string FormatName(int format);

}  // namespace flanger::tool::test
