// libsndfile helpers for the command's tests.
#include "test_sound.h"

#include <sndfile.h>

#include <cmath>
#include <stdexcept>

namespace flanger::tool::test {

std::vector<float> TestSignal(int channels, int sampleRate, std::int64_t frames) {
    std::vector<float> samples(static_cast<std::size_t>(channels * frames));
    std::uint32_t noise = 2463534242u;
    for (std::int64_t frame = 0; frame < frames; ++frame) {
        for (int channel = 0; channel < channels; ++channel) {
            noise ^= noise << 13;
            noise ^= noise >> 17;
            noise ^= noise << 5;
            const double hz = 220.0 * (channel + 1) + 31.0 * channel;
            const double tone = std::sin(2.0 * M_PI * hz * static_cast<double>(frame) / sampleRate);
            const double hiss = static_cast<double>(noise) / 4294967296.0 - 0.5;
            samples[static_cast<std::size_t>(frame * channels + channel)] =
                static_cast<float>(0.75 * tone + 0.4 * hiss);
        }
    }
    return samples;
}

void WriteSound(const std::string& path, int format, int channels, int sampleRate,
                const std::vector<float>& samples) {
    SF_INFO info{};
    info.format = format;
    info.channels = channels;
    info.samplerate = sampleRate;
    SNDFILE* const file = sf_open(path.c_str(), SFM_WRITE, &info);
    if (file == nullptr)
        throw std::runtime_error("cannot write " + path + ": " + sf_strerror(nullptr));
    sf_command(file, SFC_SET_CLIPPING, nullptr, SF_TRUE);
    const sf_count_t frames = static_cast<sf_count_t>(samples.size()) / channels;
    const sf_count_t written = sf_writef_float(file, samples.data(), frames);
    const int closed = sf_close(file);
    if (written != frames || closed != 0) throw std::runtime_error("cannot finish " + path);
}

Sound ReadSound(const std::string& path) {
    SF_INFO info{};
    SNDFILE* const file = sf_open(path.c_str(), SFM_READ, &info);
    if (file == nullptr)
        throw std::runtime_error("cannot read " + path + ": " + sf_strerror(nullptr));
    Sound sound{info.format, info.channels, info.samplerate, info.frames, {}};
    sound.samples.resize(static_cast<std::size_t>(info.frames * info.channels));
    sound.frames = sf_readf_float(file, sound.samples.data(), info.frames);
    sf_close(file);
    sound.samples.resize(static_cast<std::size_t>(sound.frames * info.channels));
    return sound;
}

std::vector<double> ReadExactly(const std::string& path) {
    SF_INFO info{};
    SNDFILE* const file = sf_open(path.c_str(), SFM_READ, &info);
    if (file == nullptr)
        throw std::runtime_error("cannot read " + path + ": " + sf_strerror(nullptr));
    std::vector<double> samples(static_cast<std::size_t>(info.frames * info.channels));
    const sf_count_t frames = sf_readf_double(file, samples.data(), info.frames);
    sf_close(file);
    samples.resize(static_cast<std::size_t>(frames * info.channels));
    return samples;
}

std::string FormatName(int format) {
    std::string name;
    for (const int part : {format & SF_FORMAT_TYPEMASK, format & SF_FORMAT_SUBMASK}) {
        SF_FORMAT_INFO info{};
        info.format = part;
        const bool known = sf_command(nullptr, SFC_GET_FORMAT_INFO, &info, sizeof info) == 0;
        name += (name.empty() ? "" : " / ") +
                (known && info.name != nullptr ? std::string(info.name) : std::to_string(part));
    }
    return name;
}

}  // namespace flanger::tool::test
