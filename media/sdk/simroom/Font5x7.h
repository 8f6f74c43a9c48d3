#pragma once
// A 5x7 bitmap font (A-Z, 0-9, space) to write peer names into test patterns
// without a font library. Each glyph is 7 rows of 5 bits, high bit left.
#include <cstdint>

namespace simroom
{

inline const uint8_t *glyph5x7(char c)
{
    static const uint8_t blank[7] = { 0, 0, 0, 0, 0, 0, 0 };
    static const uint8_t letters[26][7] = {
        { 14, 17, 17, 31, 17, 17, 17 },
        { 30, 17, 17, 30, 17, 17, 30 },
        { 14, 17, 16, 16, 16, 17, 14 },
        { 30, 17, 17, 17, 17, 17, 30 },
        { 31, 16, 16, 30, 16, 16, 31 },
        { 31, 16, 16, 30, 16, 16, 16 },
        { 14, 17, 16, 23, 17, 17, 15 },
        { 17, 17, 17, 31, 17, 17, 17 },
        { 14, 4, 4, 4, 4, 4, 14 },
        { 7, 2, 2, 2, 2, 18, 12 },
        { 17, 18, 20, 24, 20, 18, 17 },
        { 16, 16, 16, 16, 16, 16, 31 },
        { 17, 27, 21, 21, 17, 17, 17 },
        { 17, 17, 25, 21, 19, 17, 17 },
        { 14, 17, 17, 17, 17, 17, 14 },
        { 30, 17, 17, 30, 16, 16, 16 },
        { 14, 17, 17, 17, 21, 18, 13 },
        { 30, 17, 17, 30, 20, 18, 17 },
        { 15, 16, 16, 14, 1, 1, 30 },
        { 31, 4, 4, 4, 4, 4, 4 },
        { 17, 17, 17, 17, 17, 17, 14 },
        { 17, 17, 17, 17, 17, 10, 4 },
        { 17, 17, 17, 21, 21, 21, 10 },
        { 17, 17, 10, 4, 10, 17, 17 },
        { 17, 17, 10, 4, 4, 4, 4 },
        { 31, 1, 2, 4, 8, 16, 31 },
    };
    static const uint8_t digits[10][7] = {
        { 14, 17, 19, 21, 25, 17, 14 },
        { 4, 12, 4, 4, 4, 4, 14 },
        { 14, 17, 1, 2, 4, 8, 31 },
        { 31, 2, 4, 2, 1, 17, 14 },
        { 2, 6, 10, 18, 31, 2, 2 },
        { 31, 16, 30, 1, 1, 17, 14 },
        { 6, 8, 16, 30, 17, 17, 14 },
        { 31, 1, 2, 4, 8, 8, 8 },
        { 14, 17, 17, 14, 17, 17, 14 },
        { 14, 17, 17, 15, 1, 2, 12 },
    };
    if (c >= 'a' && c <= 'z')
        c = char(c - 'a' + 'A');
    if (c >= 'A' && c <= 'Z')
        return letters[c - 'A'];
    if (c >= '0' && c <= '9')
        return digits[c - '0'];
    return blank;
}

// Writes `text` into a luma plane at (x, y), `scale` pixels per font pixel.
inline void drawText(
    uint8_t *plane, int stride, int width, int height, int x, int y, const char *text, int scale, uint8_t value)
{
    for (int i = 0; text[i]; ++i) {
        const uint8_t *g = glyph5x7(text[i]);
        for (int row = 0; row < 7; ++row)
            for (int col = 0; col < 5; ++col) {
                if (!(g[row] & (16 >> col)))
                    continue;
                for (int dy = 0; dy < scale; ++dy)
                    for (int dx = 0; dx < scale; ++dx) {
                        const int px = x + (i * 6 + col) * scale + dx;
                        const int py = y + row * scale + dy;
                        if (px >= 0 && px < width && py >= 0 && py < height)
                            plane[py * stride + px] = value;
                    }
            }
    }
}

} // namespace simroom
