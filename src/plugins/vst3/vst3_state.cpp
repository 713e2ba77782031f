// The VST3 state's bytes. Numbers are written and read with to_chars and from_chars, which do
// what "%.12g", atoi and atof do in the C locale whatever locale the host runs in.
#include "plugins/vst3/vst3_state.h"

#include <charconv>
#include <cmath>
#include <cstring>
#include <string_view>

#include "plugins/vst3/vst3_parameters.h"

namespace flanger::plugins::vst3 {
namespace {

constexpr std::string_view kParametersBegin = "__dpf_parameters_begin__";
constexpr std::string_view kParametersEnd = "__dpf_parameters_end__";
constexpr std::string_view kStringsBegin = "__dpf_state_begin__";
constexpr std::string_view kStringsEnd = "__dpf_state_end__";
constexpr std::string_view kProgram = "__dpf_program__";
constexpr char kEnd = '\xfe';

// Appends `text` and its 0 byte at `at`; false where it does not fit.
bool Append(StateBytes& bytes, std::size_t& at, std::string_view text) {
    if (at + text.size() + 1 > bytes.size()) return false;
    std::memcpy(bytes.data() + at, text.data(), text.size());
    at += text.size();
    bytes[at++] = '\0';
    return true;
}

// The parameter's plain value as it is stored.
std::string_view Printed(std::uint32_t parameter, float plain, char (&text)[32]) {
    const std::to_chars_result printed =
        RangeOf(parameter).Whole
            ? std::to_chars(text, text + sizeof text, static_cast<int>(std::round(plain)))
            : std::to_chars(text, text + sizeof text, static_cast<double>(plain),
                            std::chars_format::general, 12);
    return {text, static_cast<std::size_t>(printed.ptr - text)};
}

// The plain value stored as `text`: its leading whole number or number, 0 where there is none.
float Parsed(std::uint32_t parameter, std::string_view text) {
    const char* end = text.data() + text.size();
    if (RangeOf(parameter).Whole) {
        int whole = 0;
        std::from_chars(text.data(), end, whole);
        return static_cast<float>(whole);
    }
    double value = 0.0;
    std::from_chars(text.data(), end, value);
    return static_cast<float>(value);
}

void Apply(std::string_view symbol, std::string_view text, ControlValues& ports) {
    for (std::uint32_t parameter = 0; parameter < kParameters.Count; ++parameter) {
        if (symbol != SymbolOf(parameter)) continue;
        const std::uint32_t control = kParameters.Controls[parameter];
        ports[control] = PortOfPlain(control, Parsed(parameter, text));
        return;
    }
}

}  // namespace

std::size_t EncodeState(const ControlValues& ports, StateBytes& bytes) {
    std::size_t at = 0;
    bool fits = Append(bytes, at, kParametersBegin);
    for (std::uint32_t parameter = 0; parameter < kParameters.Count; ++parameter) {
        const std::uint32_t control = kParameters.Controls[parameter];
        char text[32];
        fits = fits && Append(bytes, at, SymbolOf(parameter)) &&
               Append(bytes, at, Printed(parameter, PlainOfPort(control, ports[control]), text));
    }
    fits = fits && Append(bytes, at, kParametersEnd) && Append(bytes, at, {&kEnd, 1});
    return fits ? at : 0;  // the table's symbols and numbers always fit
}

bool DecodeState(const char* bytes, std::size_t size, ControlValues& ports) {
    const char* end = static_cast<const char*>(std::memchr(bytes, kEnd, size));
    if (end == nullptr) return false;
    ControlValues values = ports;
    // Where the reader is: 'i' at the start, 'n' between sections, 's' among named strings,
    // 'p' among parameters, 'x' after them.
    char section = 'i';
    std::string_view key;
    bool hasKey = false;
    for (const char* at = bytes; at < end;) {
        const char* stop = static_cast<const char*>(std::memchr(at, '\0', end - at));
        if (stop == nullptr) break;  // an unfinished string before the end mark
        const std::string_view text(at, static_cast<std::size_t>(stop - at));
        at = stop + 1;
        if (text == kStringsBegin || text == kParametersBegin) {
            if (section != 'i' && section != 'n') return false;
            section = text == kStringsBegin ? 's' : 'p';
            hasKey = false;
        } else if (text == kStringsEnd || text == kParametersEnd) {
            if (section != (text == kStringsEnd ? 's' : 'p')) return false;
            section = text == kStringsEnd ? 'n' : 'x';
            hasKey = false;
        } else if (!hasKey) {
            key = text;
            hasKey = true;
        } else {
            hasKey = false;
            if (key == kProgram) {
                if (section != 'i') return false;
                section = 'n';
            } else if (section == 'p') {
                Apply(key, text, values);
            }
        }
    }
    ports = values;
    return true;
}

}  // namespace flanger::plugins::vst3
