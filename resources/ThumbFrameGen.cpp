// Draws thumb.dat, the frame picture of the thumbnail look "Современный":
// an ivory photo card with a soft shadow, a gold line and an inset window
// for the photo, held by a strip of translucent tape. The grid stretches the
// picture over each cell and draws the thumbnail into the window, which
// spans 16/94 to 77/94 of the width and 49/188 to 70/94 of the height.
//
// Usage: thumb_frame_gen <output.png>
#include <png.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <vector>

namespace {

constexpr int kWidth = 188;
constexpr int kHeight = 188;
constexpr int kSamples = 4;  // per axis, for smooth edges

// The photo window, exact in pixels for this picture size.
constexpr double kWinLeft = kWidth * 16.0 / 94;
constexpr double kWinRight = kWidth * 77.0 / 94;
constexpr double kWinTop = kHeight * 49.0 / 188;
constexpr double kWinBottom = kHeight * 70.0 / 94;

struct Rgba {
    double r, g, b, a;  // straight colour 0..1, alpha 0..1
};

// Premultiplied accumulator.
struct Pixel {
    double r = 0, g = 0, b = 0, a = 0;
    void over(const Rgba& c) {
        const double k = 1 - c.a;
        r = c.r * c.a + r * k;
        g = c.g * c.a + g * k;
        b = c.b * c.a + b * k;
        a = c.a + a * k;
    }
};

Rgba rgb(int r, int g, int b, double a = 1) { return {r / 255.0, g / 255.0, b / 255.0, a}; }

double clamp01(double v) { return std::clamp(v, 0.0, 1.0); }

double smoothstep(double e0, double e1, double x) {
    const double t = clamp01((x - e0) / (e1 - e0));
    return t * t * (3 - 2 * t);
}

// Signed distance from (x, y) to a rounded rectangle; negative inside.
double roundedBox(double x, double y, double left, double top, double right, double bottom, double radius) {
    const double cx = (left + right) / 2, cy = (top + bottom) / 2;
    const double hx = (right - left) / 2 - radius, hy = (bottom - top) / 2 - radius;
    const double qx = std::fabs(x - cx) - hx, qy = std::fabs(y - cy) - hy;
    const double outside = std::hypot(std::max(qx, 0.0), std::max(qy, 0.0));
    return outside + std::min(std::max(qx, qy), 0.0) - radius;
}

bool inBox(double x, double y, double left, double top, double right, double bottom) {
    return x >= left && x < right && y >= top && y < bottom;
}

Rgba mix(const Rgba& a, const Rgba& b, double t) {
    return {a.r + (b.r - a.r) * t, a.g + (b.g - a.g) * t, a.b + (b.b - a.b) * t, a.a + (b.a - a.a) * t};
}

// The colour of one sample point.
Pixel sample(double x, double y) {
    Pixel p;
    const double cardL = 11, cardT = 13, cardR = 176, cardB = 174, radius = 9;

    // Soft shadow below and to the right of the card.
    const double shadow = roundedBox(x, y, cardL + 2, cardT + 4, cardR + 2, cardB + 4, radius);
    p.over(rgb(40, 30, 20, 0.42 * (1 - smoothstep(-3, 7, shadow))));

    // The card: ivory, a touch darker towards the bottom, with a fine edge.
    const double card = roundedBox(x, y, cardL, cardT, cardR, cardB, radius);
    if (card < 0) {
        const double t = (y - cardT) / (cardB - cardT);
        Rgba paper = mix(rgb(254, 252, 246), rgb(234, 228, 214), t);
        // A faint sheen along the upper left.
        const double sheen = clamp01(1 - ((x - cardL) + (y - cardT)) / 120.0) * 0.35;
        paper = mix(paper, rgb(255, 255, 255), sheen);
        p.over(paper);
        if (card > -1.2) p.over(rgb(190, 180, 160, 0.9));
    }

    // A thin gold line around the window, a few pixels off it.
    const double gold = roundedBox(x, y, kWinLeft - 7, kWinTop - 7, kWinRight + 7, kWinBottom + 7, 3);
    if (gold < 0 && gold > -1.6) p.over(rgb(196, 156, 72));
    const double gold2 = roundedBox(x, y, kWinLeft - 10, kWinTop - 10, kWinRight + 10, kWinBottom + 10, 5);
    if (gold2 < 0 && gold2 > -0.8) p.over(rgb(214, 186, 120, 0.8));

    // The window, cut into the card: shaded above and left, lit below and
    // right, with a neutral fill for thumbnails that don't cover it.
    if (inBox(x, y, kWinLeft - 2, kWinTop - 2, kWinRight + 2, kWinBottom + 2)) {
        const bool upperLeft = (x - (kWinLeft - 2)) + 0 < 2 || y < kWinTop;
        p.over(upperLeft ? rgb(150, 138, 118) : rgb(255, 255, 252));
    }
    if (inBox(x, y, kWinLeft, kWinTop, kWinRight, kWinBottom)) {
        const double t = (y - kWinTop) / (kWinBottom - kWinTop);
        p.over(mix(rgb(226, 224, 220), rgb(206, 203, 198), t));
    }

    // Two pencil strokes for a caption under the photo.
    const double captionY = kWinBottom + 18;
    if (std::fabs(y - captionY) < 0.7 && x > 62 && x < 126) p.over(rgb(170, 160, 145, 0.55));
    if (std::fabs(y - (captionY + 6)) < 0.7 && x > 74 && x < 114) p.over(rgb(170, 160, 145, 0.4));

    // Translucent tape across the top edge, slightly askew, with torn ends.
    const double angle = -5 * M_PI / 180;
    const double cx = kWidth / 2.0, cy = 17;
    const double u = (x - cx) * std::cos(angle) + (y - cy) * std::sin(angle);
    const double v = -(x - cx) * std::sin(angle) + (y - cy) * std::cos(angle);
    const double halfLength = 30 + 1.5 * std::sin(v * 1.9) + std::sin(v * 3.7);
    if (std::fabs(v) < 8 && std::fabs(u) < halfLength) {
        const double stripe = 0.04 * std::sin(u * 0.9);
        p.over(rgb(246, 232, 178, 0.62 + stripe));
        if (std::fabs(v) > 7) p.over(rgb(215, 196, 140, 0.35));
    }
    return p;
}

bool writePng(const char* path, const std::vector<unsigned char>& rgba) {
    FILE* file = std::fopen(path, "wb");
    if (!file) return false;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    if (!png || !info || setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        std::fclose(file);
        return false;
    }
    png_init_io(png, file);
    png_set_IHDR(png, info, kWidth, kHeight, 8, PNG_COLOR_TYPE_RGB_ALPHA, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    for (int y = 0; y < kHeight; ++y)
        png_write_row(png, const_cast<png_bytep>(rgba.data() + static_cast<size_t>(y) * kWidth * 4));
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return std::fclose(file) == 0;
}

unsigned char toByte(double v) { return static_cast<unsigned char>(std::lround(clamp01(v) * 255)); }

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s <output.png>\n", argv[0]);
        return 2;
    }
    std::vector<unsigned char> rgba(static_cast<size_t>(kWidth) * kHeight * 4);
    for (int y = 0; y < kHeight; ++y) {
        for (int x = 0; x < kWidth; ++x) {
            Pixel sum;
            for (int sy = 0; sy < kSamples; ++sy)
                for (int sx = 0; sx < kSamples; ++sx) {
                    const Pixel s = sample(x + (sx + 0.5) / kSamples, y + (sy + 0.5) / kSamples);
                    sum.r += s.r;
                    sum.g += s.g;
                    sum.b += s.b;
                    sum.a += s.a;
                }
            const double n = kSamples * kSamples;
            const double a = sum.a / n;
            unsigned char* out = &rgba[(static_cast<size_t>(y) * kWidth + x) * 4];
            out[0] = toByte(a > 0 ? sum.r / n / a : 0);
            out[1] = toByte(a > 0 ? sum.g / n / a : 0);
            out[2] = toByte(a > 0 ? sum.b / n / a : 0);
            out[3] = toByte(a);
        }
    }
    if (!writePng(argv[1], rgba)) {
        std::fprintf(stderr, "cannot write %s\n", argv[1]);
        return 1;
    }
    return 0;
}
