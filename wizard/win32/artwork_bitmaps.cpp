// SPDX-License-Identifier: MIT
// The sheet's artwork, the same design as the Qt wizard's: a green column
// with a text file turning into a sheet, and a header band with a small
// sheet. Drawn into 24-bit device-independent bitmaps pixel by pixel, so the
// result is the same on every system and needs no image files.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <vector>

#include "platform/windows/wide.h"
#include "wizard/win32/sheet.h"

namespace wizard::win32 {
namespace {

struct Colour {
    std::uint8_t r, g, b;
};

constexpr Colour kDeepGreen{0x1b, 0x5e, 0x3b};
constexpr Colour kGreen{0x2e, 0x8b, 0x57};
constexpr Colour kLightGreen{0xd8, 0xef, 0xe0};
constexpr Colour kSheetLine{0x9c, 0xc9, 0xae};
constexpr Colour kCellFill{0xb7, 0xe1, 0xc6};
constexpr Colour kWhite{0xff, 0xff, 0xff};
constexpr Colour kPaper{0xf7, 0xfb, 0xf8};
constexpr int kHeaderSquare = 49;

Colour Mix(Colour a, Colour b, double t) {
    t = std::clamp(t, 0.0, 1.0);
    const auto channel = [t](std::uint8_t x, std::uint8_t y) {
        return static_cast<std::uint8_t>(x + (y - x) * t + 0.5);
    };
    return {channel(a.r, b.r), channel(a.g, b.g), channel(a.b, b.b)};
}

// A top-down 24-bit canvas; rows are padded to four bytes as a DIB wants.
class Canvas {
public:
    Canvas(int width, int height)
        : m_width(width),
          m_height(height),
          m_stride((width * 3 + 3) & ~3),
          m_pixels(static_cast<std::size_t>(m_stride) * height) {}

    void Set(int x, int y, Colour c) {
        if (x < 0 || y < 0 || x >= m_width || y >= m_height) {
            return;
        }
        std::uint8_t* p = &m_pixels[static_cast<std::size_t>(y) * m_stride + x * 3];
        p[0] = c.b;
        p[1] = c.g;
        p[2] = c.r;
    }
    void Fill(int left, int top, int right, int bottom, Colour c) {
        for (int y = top; y < bottom; ++y) {
            for (int x = left; x < right; ++x) {
                Set(x, y, c);
            }
        }
    }
    void Frame(int left, int top, int right, int bottom, int width, Colour c) {
        Fill(left, top, right, top + width, c);
        Fill(left, bottom - width, right, bottom, c);
        Fill(left, top, left + width, bottom, c);
        Fill(right - width, top, right, bottom, c);
    }

    HBITMAP Bitmap() const {
        BITMAPINFO info{};
        info.bmiHeader.biSize = sizeof info.bmiHeader;
        info.bmiHeader.biWidth = m_width;
        info.bmiHeader.biHeight = -m_height;  // top-down
        info.bmiHeader.biPlanes = 1;
        info.bmiHeader.biBitCount = 24;
        info.bmiHeader.biCompression = BI_RGB;
        void* bits = nullptr;
        HBITMAP bitmap = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
        if (bitmap != nullptr && bits != nullptr) {
            std::copy(m_pixels.begin(), m_pixels.end(), static_cast<std::uint8_t*>(bits));
        }
        return bitmap;
    }

    int width() const { return m_width; }
    int height() const { return m_height; }

private:
    int m_width;
    int m_height;
    int m_stride;
    std::vector<std::uint8_t> m_pixels;
};

// A sheet: a white page with a green header row, a grid and a few filled cells.
void DrawSheet(Canvas& canvas, int left, int top, int width, int height, int columns, int rows) {
    const int border = std::max(1, width / 60);
    canvas.Fill(left, top, left + width, top + height, kWhite);
    const int cellWidth = width / columns;
    const int cellHeight = height / rows;
    canvas.Fill(left, top, left + width, top + cellHeight, kGreen);
    for (int row = 1; row < rows; ++row) {
        for (int column = 0; column < columns; ++column) {
            if ((row * 3 + column * 5) % 7 == 0) {
                canvas.Fill(left + column * cellWidth, top + row * cellHeight,
                            left + (column + 1) * cellWidth, top + (row + 1) * cellHeight,
                            kCellFill);
            }
        }
    }
    for (int column = 1; column < columns; ++column) {
        const int x = left + column * cellWidth;
        canvas.Fill(x, top + cellHeight, x + 1, top + height, kSheetLine);
    }
    for (int row = 1; row < rows; ++row) {
        const int y = top + row * cellHeight;
        canvas.Fill(left, y, left + width, y + 1, kSheetLine);
    }
    canvas.Frame(left, top, left + width, top + height, border, kDeepGreen);
}

// A text file: a page with a folded corner and comma-separated dashes.
void DrawTextFile(Canvas& canvas, int left, int top, int width, int height) {
    const int fold = width * 28 / 100;
    const int border = std::max(1, width / 40);
    for (int y = top; y < top + height; ++y) {
        for (int x = left; x < left + width; ++x) {
            const int fromCorner = (x - (left + width - fold)) - (y - top);
            if (fromCorner > 0) {
                continue;  // cut away by the fold
            }
            const bool edge = x < left + border || x >= left + width - border || y < top + border ||
                              y >= top + height - border || fromCorner > -border;
            canvas.Set(x, y, edge ? kDeepGreen : kPaper);
        }
    }
    const int lines = 6;
    const int thickness = std::max(2, height / 40);
    for (int line = 0; line < lines; ++line) {
        const int y = top + fold + (height - fold) * (line * 10 + 7) / (lines * 10 + 5);
        int x = left + width * 12 / 100;
        for (int field = 0; field < 3; ++field) {
            const int length = width * (14 + 6 * ((line + field) % 3)) / 100;
            canvas.Fill(x, y, std::min(x + length, left + width - border * 2), y + thickness,
                        kGreen);
            x += length + width * 8 / 100;
        }
    }
}

void DrawArrowDown(Canvas& canvas, int x, int top, int bottom, int width) {
    canvas.Fill(x - width / 2, top, x + width - width / 2, bottom, kWhite);
    const int head = width * 3;
    for (int i = 0; i < head; ++i) {
        canvas.Fill(x - i - width / 2, bottom - i - width, x - i - width / 2 + width, bottom - i,
                    kWhite);
        canvas.Fill(x + i - width / 2, bottom - i - width, x + i - width / 2 + width, bottom - i,
                    kWhite);
    }
}

}  // namespace

HBITMAP DrawHeaderBitmap() {
    // The Wizard97 sheet shows the header bitmap's top-left square (49 pixels
    // at 96 dots per inch) at the right end of the white band; a small sheet
    // fills that square, and the rest stays white for a sheet that shows more.
    Canvas canvas(500, 60);
    canvas.Fill(0, 0, canvas.width(), canvas.height(), kWhite);
    for (int y = 0; y < kHeaderSquare; ++y) {
        const Colour c = Mix(kWhite, kLightGreen, static_cast<double>(y) / kHeaderSquare);
        canvas.Fill(0, y, kHeaderSquare, y + 1, c);
    }
    DrawSheet(canvas, 5, 8, 40, 34, 4, 4);
    return canvas.Bitmap();
}

HBITMAP DrawWatermarkBitmap() {
    // The column's own proportions: the sheet stretches it to fit.
    Canvas canvas(164, 314);
    const int w = canvas.width();
    const int h = canvas.height();
    for (int y = 0; y < h; ++y) {
        const double t = static_cast<double>(y) / h;
        const Colour c = t < 0.72 ? Mix(kGreen, kDeepGreen, t / 0.72)
                                  : Mix(kDeepGreen, kWhite, (t - 0.72) / 0.28);
        canvas.Fill(0, y, w, y + 1, c);
    }
    // Soft diagonal bands give the column some depth.
    for (int band = 0; band < 4; ++band) {
        const int y0 = h * (15 + 22 * band) / 100;
        for (int x = 0; x < w; ++x) {
            const int top = y0 - x * 35 / 100;
            for (int y = top; y < top + h * 8 / 100; ++y) {
                if (y >= 0 && y < h * 72 / 100) {
                    canvas.Set(x, y,
                               Mix(Mix(kGreen, kDeepGreen, static_cast<double>(y) / (h * 0.72)),
                                   kWhite, 0.07));
                }
            }
        }
    }
    const int unit = std::min(w, h * 52 / 100);
    const int fileLeft = w / 2 - unit * 32 / 100;
    const int fileTop = h * 12 / 100;
    const int fileHeight = unit * 64 / 100;
    DrawTextFile(canvas, fileLeft, fileTop, unit / 2, fileHeight);
    const int sheetTop = h * 56 / 100;
    DrawSheet(canvas, w / 2 - unit * 36 / 100, sheetTop, unit * 72 / 100, unit * 56 / 100, 4, 6);
    DrawArrowDown(canvas, w / 2 + unit / 10, fileTop + fileHeight + h * 2 / 100,
                  sheetTop - h * 3 / 100, std::max(2, unit / 28));
    return canvas.Bitmap();
}

bool SaveWindowPicture(HWND window, const std::string& path) {
    RECT area{};
    if (!GetWindowRect(window, &area)) {
        return false;
    }
    const int width = area.right - area.left;
    const int height = area.bottom - area.top;
    if (width <= 0 || height <= 0) {
        return false;
    }
    HDC screen = GetDC(nullptr);
    if (screen == nullptr) {
        return false;
    }
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = height;  // bottom-up, as a BMP file stores it
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 24;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    const GdiObject bitmap(CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0));
    HDC memory = CreateCompatibleDC(screen);
    bool copied = false;
    if (bitmap && memory != nullptr) {
        const HGDIOBJ old = SelectObject(memory, bitmap.get());
        copied = BitBlt(memory, 0, 0, width, height, screen, area.left, area.top, SRCCOPY) != 0;
        GdiFlush();
        SelectObject(memory, old);
    }
    if (memory != nullptr) {
        DeleteDC(memory);
    }
    ReleaseDC(nullptr, screen);
    if (!copied || bits == nullptr) {
        return false;
    }
    const DWORD stride = (static_cast<DWORD>(width) * 3 + 3) & ~3u;
    const DWORD imageBytes = stride * static_cast<DWORD>(height);
    BITMAPFILEHEADER file{};
    file.bfType = 0x4D42;  // "BM"
    file.bfOffBits = sizeof file + sizeof info.bmiHeader;
    file.bfSize = file.bfOffBits + imageBytes;
    FILE* out = _wfopen(platform::windows::Widen(path).c_str(), L"wb");
    if (out == nullptr) {
        return false;
    }
    bool written = std::fwrite(&file, sizeof file, 1, out) == 1 &&
                   std::fwrite(&info.bmiHeader, sizeof info.bmiHeader, 1, out) == 1 &&
                   std::fwrite(bits, imageBytes, 1, out) == 1;
    written = std::fclose(out) == 0 && written;
    return written;
}

}  // namespace wizard::win32
