// Painting a window tree with cairo in the classic Windows look.
//
// Edges follow the classic DrawEdge rules: a sunken edge is shadow over highlight outside and
// dark shadow over light inside; a raised one the reverse; the lines at the bottom and right own
// the corners they share with the top and left ones. Everything is drawn on whole pixels, so the
// picture has exact colours wherever there is no text.
//
// Text is drawn with cairo's toy font API in the window's dialog font, at the pixel size Windows
// gives its point size at 96 dots per inch. The windowing layer lays dialogs out with the font's
// nominal metrics (its dialog base units); the font that stands in for it here is often wider, so
// it is condensed until its average letter is as wide as the base unit says, and text fits the
// controls as it does on Windows.
#include "windowing/posix/window_painter/window_painter.h"

#include <cairo.h>
#include <fontconfig/fontconfig.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <memory>
#include <string_view>
#include <vector>

namespace flanger::platform {
namespace {

// Static control styles beyond those the layer's header names.
constexpr LONG kStaticTypeMask = 0x1F;
constexpr LONG kStaticSimple = 0x0B;
constexpr LONG kStaticLeftNoWordWrap = 0x0C;
constexpr LONG kStaticNoPrefix = 0x80;
// Button styles beyond those the layer's header names.
constexpr LONG kButtonRadio = 0x4;
constexpr LONG kButton3State = 0x5;
constexpr LONG kButtonAuto3State = 0x6;
constexpr LONG kButtonAutoRadio = 0x9;

// The check box square and the gap before its text, in pixels, as Windows draws them.
constexpr int kCheckBoxSize = 13;
constexpr int kCheckTextGap = 4;
// The tick inside a checked box, a 7 by 7 pixel pattern.
constexpr std::string_view kTick[] = {
    "......#", ".....##", "#...###", "##.###.", "#####..", ".###...", "..#....",
};
// Windows averages the widths of these letters for the horizontal dialog base unit.
constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";
// A window tree deeper or wider than this is not one a dialog builds; the walk stops there.
constexpr int kMaxDepth = 64;
constexpr int kMaxChildren = 4096;

struct Box {
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;

    int Width() const { return right - left; }
    int Height() const { return bottom - top; }
    bool Empty() const { return right <= left || bottom <= top; }
    Box Deflated(int by) const { return {left + by, top + by, right - by, bottom - by}; }
    Box Offset(int x, int y) const { return {left + x, top + y, right + x, bottom + y}; }
};

void SetColour(cairo_t* context, std::uint32_t rgb) {
    cairo_set_source_rgb(context, ((rgb >> 16) & 0xFF) / 255.0, ((rgb >> 8) & 0xFF) / 255.0,
                         (rgb & 0xFF) / 255.0);
}

void FillBox(cairo_t* context, const Box& box, std::uint32_t colour) {
    if (box.Empty()) return;
    SetColour(context, colour);
    cairo_rectangle(context, box.left, box.top, box.Width(), box.Height());
    cairo_fill(context);
}

// One line of pixels round the box: top and left in `topLeft`, bottom and right in
// `bottomRight`, which also take the top-right and bottom-left corners.
void DrawBorder(cairo_t* context, const Box& box, std::uint32_t topLeft,
                std::uint32_t bottomRight) {
    if (box.Empty()) return;
    FillBox(context, {box.left, box.top, box.right - 1, box.top + 1}, topLeft);
    FillBox(context, {box.left, box.top, box.left + 1, box.bottom - 1}, topLeft);
    FillBox(context, {box.left, box.bottom - 1, box.right, box.bottom}, bottomRight);
    FillBox(context, {box.right - 1, box.top, box.right, box.bottom}, bottomRight);
}

void DrawSunkenEdge(cairo_t* context, const Box& box) {
    DrawBorder(context, box, classic_colour::kShadow, classic_colour::kHighlight);
    DrawBorder(context, box.Deflated(1), classic_colour::kDarkShadow, classic_colour::kLight);
}

// The soft raised edge of buttons and trackbar thumbs.
void DrawRaisedEdge(cairo_t* context, const Box& box) {
    DrawBorder(context, box, classic_colour::kHighlight, classic_colour::kDarkShadow);
    DrawBorder(context, box.Deflated(1), classic_colour::kLight, classic_colour::kShadow);
}

std::string ClassNameOf(HWND window) {
    char name[256] = {};
    const int length = GetClassNameA(window, name, static_cast<int>(sizeof name));
    return std::string(name, static_cast<std::size_t>(std::clamp(length, 0, 255)));
}

bool ClassIs(const std::string& name, std::string_view wanted) {
    return name.size() == wanted.size() &&
           std::equal(name.begin(), name.end(), wanted.begin(), [](char a, char b) {
               const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c; };
               return lower(a) == lower(b);
           });
}

std::string TextOf(HWND window) {
    const int length = GetWindowTextLengthA(window);
    if (length <= 0) return {};
    std::string text(static_cast<std::size_t>(length) + 1, '\0');
    const int copied = GetWindowTextA(window, text.data(), length + 1);
    text.resize(static_cast<std::size_t>(std::clamp(copied, 0, length)));
    return text;
}

// The text as shown: "&x" marks a mnemonic (shown underlined on Windows, here plain) and "&&"
// shows one ampersand.
std::string WithoutMnemonics(std::string_view text) {
    std::string shown;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '&' && i + 1 < text.size()) ++i;
        shown += text[i];
    }
    return shown;
}

// Where `window` lies in the root's client area. Controls have no frame, so the window
// rectangle is what they draw in.
Box BoxIn(HWND window, HWND root) {
    RECT rect{};
    if (!GetWindowRect(window, &rect)) return {};
    POINT corners[2] = {{rect.left, rect.top}, {rect.right, rect.bottom}};
    MapWindowPoints(nullptr, root, corners, 2);
    return {corners[0].x, corners[0].y, corners[1].x, corners[1].y};
}

void SelectWindowFont(cairo_t* context, HWND window) {
    char face[64] = {};
    int points = 8;
    int baseUnitX = 0;
    int baseUnitY = 0;
    if (!FlangerGetWindowFont(window, face, static_cast<int>(sizeof face), &points, &baseUnitX,
                              &baseUnitY)) {
        face[0] = '\0';
    }
    cairo_select_font_face(context, face[0] != '\0' ? face : "sans-serif", CAIRO_FONT_SLANT_NORMAL,
                           CAIRO_FONT_WEIGHT_NORMAL);
    // Windows' font height for a point size: MulDiv(points, 96, 72), rounded half up.
    const double pixels = std::floor(points * 96.0 / 72.0 + 0.5);
    cairo_set_font_size(context, pixels);
    if (baseUnitX <= 0) return;
    cairo_text_extents_t alphabet;
    cairo_text_extents(context, kAlphabet, &alphabet);
    const double average = alphabet.x_advance / (sizeof kAlphabet - 1);
    if (average > baseUnitX) {
        cairo_matrix_t matrix;
        cairo_matrix_init_scale(&matrix, pixels * baseUnitX / average, pixels);
        cairo_set_font_matrix(context, &matrix);
    }
}

double TextWidth(cairo_t* context, const std::string& text) {
    cairo_text_extents_t extents;
    cairo_text_extents(context, text.c_str(), &extents);
    return extents.x_advance;
}

// Breaks the text at line breaks and, when `wrap` is set, between words so that each line fits
// `width`; a word wider than the line stands alone and is cut off by the clip.
std::vector<std::string> LayOutLines(cairo_t* context, std::string_view text, double width,
                                     bool wrap) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start <= text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string_view::npos) end = text.size();
        std::string_view paragraph = text.substr(start, end - start);
        if (!paragraph.empty() && paragraph.back() == '\r') paragraph.remove_suffix(1);
        if (!wrap) {
            lines.emplace_back(paragraph);
        } else {
            std::string line;
            std::size_t word = 0;
            while (word < paragraph.size()) {
                std::size_t next = paragraph.find(' ', word);
                if (next == std::string_view::npos) next = paragraph.size();
                std::string candidate = line;
                if (!candidate.empty()) candidate += ' ';
                candidate += paragraph.substr(word, next - word);
                if (!line.empty() && TextWidth(context, candidate) > width) {
                    lines.push_back(line);
                    line = std::string(paragraph.substr(word, next - word));
                } else {
                    line = std::move(candidate);
                }
                word = next + 1;
            }
            lines.push_back(line);
        }
        start = end + 1;
    }
    return lines;
}

enum class Align { Left, Centre, Right };

// Draws the text into the box, from its top or centred vertically; disabled text is etched.
void DrawText(cairo_t* context, HWND window, const Box& box, std::string_view text, Align align,
              bool wrap, bool centreVertically, bool enabled) {
    if (text.empty() || box.Empty()) return;
    SelectWindowFont(context, window);
    cairo_font_extents_t font;
    cairo_font_extents(context, &font);
    const std::vector<std::string> lines = LayOutLines(context, text, box.Width(), wrap);
    const double lineHeight = std::ceil(font.ascent + font.descent);
    double top = box.top;
    if (centreVertically) top += std::floor((box.Height() - lineHeight * lines.size()) / 2);

    cairo_save(context);
    cairo_rectangle(context, box.left, box.top, box.Width(), box.Height());
    cairo_clip(context);
    for (const std::string& line : lines) {
        const double width = TextWidth(context, line);
        double x = box.left;
        if (align == Align::Centre) x += std::floor((box.Width() - width) / 2);
        if (align == Align::Right) x = box.right - width;
        const double baseline = top + std::round(font.ascent);
        if (!enabled) {
            SetColour(context, classic_colour::kHighlight);
            cairo_move_to(context, x + 1, baseline + 1);
            cairo_show_text(context, line.c_str());
        }
        SetColour(context, enabled ? classic_colour::kText : classic_colour::kShadow);
        cairo_move_to(context, x, baseline);
        cairo_show_text(context, line.c_str());
        top += lineHeight;
    }
    cairo_restore(context);
}

void PaintStatic(cairo_t* context, HWND window, const Box& box, LONG style, bool enabled) {
    FillBox(context, box, classic_colour::kFace);
    Box textBox = box;
    // SS_SUNKEN gives the control a static edge, a one-pixel frame outside its text.
    if ((style & SS_SUNKEN) != 0) {
        DrawBorder(context, box, classic_colour::kShadow, classic_colour::kHighlight);
        textBox = box.Deflated(1);
    }
    const LONG type = style & kStaticTypeMask;
    Align align = Align::Left;
    if (type == SS_CENTER) {
        align = Align::Centre;
    } else if (type == SS_RIGHT) {
        align = Align::Right;
    } else if (type != SS_LEFT && type != kStaticSimple && type != kStaticLeftNoWordWrap) {
        return;  // frames, rectangles and pictures have no text to show
    }
    const std::string text = TextOf(window);
    DrawText(context, window, textBox,
             (style & kStaticNoPrefix) != 0 ? text : WithoutMnemonics(text), align,
             type == SS_LEFT || type == SS_CENTER || type == SS_RIGHT, false, enabled);
}

void PaintCheckBox(cairo_t* context, HWND window, const Box& box, bool enabled) {
    FillBox(context, box, classic_colour::kFace);
    const int top = box.top + (box.Height() - kCheckBoxSize) / 2;
    const Box square{box.left, top, box.left + kCheckBoxSize, top + kCheckBoxSize};
    DrawSunkenEdge(context, square);
    FillBox(context, square.Deflated(2), enabled ? classic_colour::kWindow : classic_colour::kFace);
    const LRESULT state = SendMessageA(window, BM_GETCHECK, 0, 0);
    if (state == BST_CHECKED || state == BST_INDETERMINATE) {
        SetColour(context, state == BST_CHECKED && enabled ? classic_colour::kText
                                                           : classic_colour::kShadow);
        for (int row = 0; row < 7; ++row) {
            for (int column = 0; column < 7; ++column) {
                if (kTick[row][column] != '#') continue;
                cairo_rectangle(context, square.left + 3 + column, square.top + 3 + row, 1, 1);
            }
        }
        cairo_fill(context);
    }
    const Box textBox{square.right + kCheckTextGap, box.top, box.right, box.bottom};
    DrawText(context, window, textBox, WithoutMnemonics(TextOf(window)), Align::Left, false, true,
             enabled);
}

void PaintPushButton(cairo_t* context, HWND window, const Box& box, LONG style, bool enabled) {
    FillBox(context, box, classic_colour::kFace);
    Box edge = box;
    if ((style & BS_TYPEMASK) == BS_DEFPUSHBUTTON) {
        DrawBorder(context, box, classic_colour::kText, classic_colour::kText);
        edge = box.Deflated(1);
    }
    DrawRaisedEdge(context, edge);
    DrawText(context, window, edge.Deflated(2), WithoutMnemonics(TextOf(window)), Align::Centre,
             false, true, enabled);
}

void PaintButton(cairo_t* context, HWND window, const Box& box, LONG style, bool enabled) {
    const LONG type = style & BS_TYPEMASK;
    if (type == BS_CHECKBOX || type == BS_AUTOCHECKBOX || type == kButton3State ||
        type == kButtonAuto3State || type == kButtonRadio || type == kButtonAutoRadio) {
        PaintCheckBox(context, window, box, enabled);
    } else {
        PaintPushButton(context, window, box, style, enabled);
    }
}

// The channel and the thumb where the trackbar reports them, in its client coordinates.
void PaintTrackbar(cairo_t* context, HWND window, const Box& box) {
    FillBox(context, box, classic_colour::kFace);
    RECT channel{};
    RECT thumb{};
    SendMessageA(window, TBM_GETCHANNELRECT, 0, reinterpret_cast<LPARAM>(&channel));
    SendMessageA(window, TBM_GETTHUMBRECT, 0, reinterpret_cast<LPARAM>(&thumb));
    const Box channelBox =
        Box{channel.left, channel.top, channel.right, channel.bottom}.Offset(box.left, box.top);
    const Box thumbBox =
        Box{thumb.left, thumb.top, thumb.right, thumb.bottom}.Offset(box.left, box.top);
    DrawSunkenEdge(context, channelBox);
    FillBox(context, thumbBox, classic_colour::kFace);
    DrawRaisedEdge(context, thumbBox);
}

void PaintOwn(cairo_t* context, HWND window, const Box& box) {
    const std::string className = ClassNameOf(window);
    const LONG style = GetWindowLongA(window, GWL_STYLE);
    const bool enabled = (style & WS_DISABLED) == 0;
    if (ClassIs(className, WC_STATICA)) {
        PaintStatic(context, window, box, style, enabled);
    } else if (ClassIs(className, WC_BUTTONA)) {
        PaintButton(context, window, box, style, enabled);
    } else if (ClassIs(className, TRACKBAR_CLASSA)) {
        PaintTrackbar(context, window, box);
    } else {
        // Dialogs and windows of other classes show their face colour.
        FillBox(context, box, classic_colour::kFace);
    }
}

void PaintWindow(cairo_t* context, HWND window, HWND root, const Box& box, int depth) {
    cairo_save(context);
    cairo_rectangle(context, box.left, box.top, box.Width(), box.Height());
    cairo_clip(context);
    PaintOwn(context, window, box);

    std::vector<HWND> children;
    for (HWND child = GetWindow(window, GW_CHILD);
         child != nullptr && children.size() < kMaxChildren;
         child = GetWindow(child, GW_HWNDNEXT)) {
        children.push_back(child);
    }
    // The first child is on top, so it is painted last.
    if (depth < kMaxDepth) {
        for (auto child = children.rbegin(); child != children.rend(); ++child) {
            if ((GetWindowLongA(*child, GWL_STYLE) & WS_VISIBLE) == 0) continue;
            PaintWindow(context, *child, root, BoxIn(*child, root), depth + 1);
        }
    }
    cairo_restore(context);
}

struct SurfaceDeleter {
    void operator()(cairo_surface_t* surface) const { cairo_surface_destroy(surface); }
};
struct ContextDeleter {
    void operator()(cairo_t* context) const { cairo_destroy(context); }
};

struct DescriptorSink {
    int Descriptor;
    int Error = 0;
};

cairo_status_t WriteToDescriptor(void* closure, const unsigned char* data, unsigned int length) {
    DescriptorSink& sink = *static_cast<DescriptorSink*>(closure);
    while (length > 0) {
        const ssize_t written = write(sink.Descriptor, data, length);
        if (written < 0) {
            if (errno == EINTR) continue;
            sink.Error = errno;
            return CAIRO_STATUS_WRITE_ERROR;
        }
        data += written;
        length -= static_cast<unsigned int>(written);
    }
    return CAIRO_STATUS_SUCCESS;
}

}  // namespace

void PaintWindowTree(cairo_t* context, HWND window) {
    RECT client{};
    if (!IsWindow(window) || !GetClientRect(window, &client)) return;
    PaintWindow(context, window, window, {client.left, client.top, client.right, client.bottom}, 0);
}

bool WriteWindowPng(HWND window, int descriptor, std::string& error) {
    RECT client{};
    if (!IsWindow(window) || !GetClientRect(window, &client)) {
        error = "not a window";
        return false;
    }
    const int width = client.right - client.left;
    const int height = client.bottom - client.top;
    if (width <= 0 || height <= 0) {
        error = "the window has no area to paint";
        return false;
    }
    const std::unique_ptr<cairo_surface_t, SurfaceDeleter> surface(
        cairo_image_surface_create(CAIRO_FORMAT_RGB24, width, height));
    if (cairo_surface_status(surface.get()) != CAIRO_STATUS_SUCCESS) {
        error = cairo_status_to_string(cairo_surface_status(surface.get()));
        return false;
    }
    {
        const std::unique_ptr<cairo_t, ContextDeleter> context(cairo_create(surface.get()));
        PaintWindowTree(context.get(), window);
        if (cairo_status(context.get()) != CAIRO_STATUS_SUCCESS) {
            error = cairo_status_to_string(cairo_status(context.get()));
            return false;
        }
    }
    cairo_surface_flush(surface.get());
    DescriptorSink sink{descriptor};
    const cairo_status_t status =
        cairo_surface_write_to_png_stream(surface.get(), WriteToDescriptor, &sink);
    if (status != CAIRO_STATUS_SUCCESS) {
        error = sink.Error != 0 ? std::strerror(sink.Error) : cairo_status_to_string(status);
        return false;
    }
    return true;
}

void ReleaseFontCaches() {
    // cairo's caches hold fontconfig patterns, so they go first.
    cairo_debug_reset_static_data();
    FcFini();
}

}  // namespace flanger::platform
