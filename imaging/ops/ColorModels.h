#pragma once
// Colour models shared by the colour operations and the local filters.
// Integer divisions truncate toward zero, as everywhere in the operations.
#include <algorithm>
#include <cmath>
#include <array>
#include <cstdint>
#include <vector>

namespace ops {

inline uint8_t ClampByte(int v)
{
    return uint8_t(v < 0 ? 0 : (v > 255 ? 255 : v));
}

// Nearest integer, halves to the even neighbour, whatever the FPU mode.
inline double RoundHalfEven(double v)
{
    double f = std::floor(v);
    double diff = v - f;
    if (diff > 0.5)
        return f + 1.0;
    if (diff < 0.5)
        return f;
    return std::fmod(f, 2.0) == 0.0 ? f : f + 1.0;
}

// Integer HSV: H in degrees 0..359, S and V 0..255.
struct THsv {
    int H = 0;
    int S = 0;
    int V = 0;
};

inline THsv RgbToHsv(int r, int g, int b)
{
    THsv out;
    const int v = std::max({r, g, b});
    const int d = v - std::min({r, g, b});
    out.V = v;
    out.S = v == 0 ? 0 : d * 255 / v;
    if (out.S == 0)
        return out;
    int h;
    if (r == v)
        h = (g - b) * 60 / d;
    else if (g == v)
        h = (b - r) * 60 / d + 120;
    else
        h = (r - g) * 60 / d + 240;
    out.H = h < 0 ? h + 360 : h;
    return out;
}

// RgbToHsv without run-time divisions, for whole pictures: S from a table of
// d * 255 / V, the hue's division by d through an exact reciprocal (for
// |n| <= 15300 and d <= 255, (n * (2^32 / d + 1)) >> 32 == n / d).
class THsvTables {
public:
    THsvTables() : saturation_(256 * 256, 0)
    {
        for (int v = 1; v < 256; ++v)
            for (int d = 0; d <= v; ++d)
                saturation_[size_t(v) * 256 + size_t(d)] = uint8_t(d * 255 / v);
        for (int d = 1; d < 256; ++d)
            reciprocal_[size_t(d)] = (uint64_t(1) << 32) / uint64_t(d) + 1;
    }

    ops::THsv operator()(int r, int g, int b) const
    {
        ops::THsv out;
        const int v = std::max({r, g, b});
        const int d = v - std::min({r, g, b});
        out.V = v;
        out.S = saturation_[size_t(v) * 256 + size_t(d)];
        if (out.S == 0)
            return out;
        int h;
        if (r == v)
            h = divide((g - b) * 60, d);
        else if (g == v)
            h = divide((b - r) * 60, d) + 120;
        else
            h = divide((r - g) * 60, d) + 240;
        out.H = h < 0 ? h + 360 : h;
        return out;
    }

private:
    int divide(int n, int d) const
    {
        const uint64_t q = (uint64_t(n < 0 ? -n : n) * reciprocal_[size_t(d)]) >> 32;
        return n < 0 ? -int(q) : int(q);
    }

    std::vector<uint8_t> saturation_;
    std::array<uint64_t, 256> reciprocal_{};
};

// Back from integer HSV; writes blue, green, red (the pixel order).
inline void HsvToBgr(int h, int s, int v, uint8_t* bgr)
{
    int r, g, b;
    if (s == 0) {
        r = g = b = v;
    } else {
        if (h == 360)
            h = 0;
        const int f = h % 60;
        const int p = v - s * v / 255;
        const int q = v - s * v * f / 15300;
        const int t = v - s * v * (60 - f) / 15300;
        switch (h / 60) {
        case 0: r = v; g = t; b = p; break;
        case 1: r = q; g = v; b = p; break;
        case 2: r = p; g = v; b = t; break;
        case 3: r = p; g = q; b = v; break;
        case 4: r = t; g = p; b = v; break;
        default: r = v; g = p; b = q; break;
        }
    }
    bgr[0] = ClampByte(b);
    bgr[1] = ClampByte(g);
    bgr[2] = ClampByte(r);
}

// Real HSL, every component in 0..1.
struct THsl {
    double H = 0;
    double S = 0;
    double L = 0;
};

inline THsl RgbToHsl(int red, int green, int blue)
{
    const double r = red / 255.0, g = green / 255.0, b = blue / 255.0;
    const double mx = std::max({r, g, b});
    const double mn = std::min({r, g, b});
    THsl out;
    out.L = (mx + mn) / 2.0;
    if (mx == mn)
        return out;
    const double d = mx - mn;
    out.S = out.L < 0.5 ? d / (mx + mn) : d / (2.0 - mx - mn);
    double h;
    if (r == mx)
        h = (g - b) / d;
    else if (g == mx)
        h = (b - r) / d + 2.0;
    else
        h = (r - g) / d + 4.0;
    h /= 6.0;
    if (h < 0)
        h += 1.0;
    out.H = h;
    return out;
}

namespace detail {
inline double wrapUnit(double t)
{
    t -= std::floor(t);
    return t;
}

inline double hueChannel(double p, double q, double t)
{
    t = wrapUnit(t);
    if (t < 1.0 / 6.0)
        return p + (q - p) * 6.0 * t;
    if (t < 0.5)
        return q;
    if (t < 2.0 / 3.0)
        return p + (q - p) * (2.0 / 3.0 - t) * 6.0;
    return p;
}

inline uint8_t unitToByte(double v)
{
    double b = RoundHalfEven(v * 255.0);
    return uint8_t(b < 0 ? 0 : (b > 255 ? 255 : b));
}
}  // namespace detail

// Back from real HSL; writes blue, green, red.
inline void HslToBgr(double h, double s, double l, uint8_t* bgr)
{
    s = std::clamp(s, 0.0, 1.0);
    l = std::clamp(l, 0.0, 1.0);
    h = detail::wrapUnit(h);
    if (s == 0) {
        bgr[0] = bgr[1] = bgr[2] = detail::unitToByte(l);
        return;
    }
    const double q = l <= 0.5 ? l * (1.0 + s) : l + s - l * s;
    const double p = 2.0 * l - q;
    bgr[2] = detail::unitToByte(detail::hueChannel(p, q, h + 1.0 / 3.0));
    bgr[1] = detail::unitToByte(detail::hueChannel(p, q, h));
    bgr[0] = detail::unitToByte(detail::hueChannel(p, q, h - 1.0 / 3.0));
}

}  // namespace ops
