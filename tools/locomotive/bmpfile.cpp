// Copyright (C) 2026 the Pelmar developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "bmpfile.h"

namespace {

constexpr int FileHeaderSize = 14;
constexpr int InfoHeaderSize = 40;
constexpr int BytesPerPixel = 3;
constexpr std::uint32_t PixelsPerMetreAt96Dpi = 3780;
constexpr std::uint8_t InkLevel = 4;
constexpr std::uint8_t PaperLevel = 255;

void putLittleEndian(std::vector<std::uint8_t> &bytes, std::uint32_t value, int size)
{
    for (int i = 0; i < size; ++i)
        bytes.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
}

} // namespace

std::vector<std::uint8_t> encodeBmp(const std::vector<bool> &ink, int width, int height)
{
    const int rowSize = (width * BytesPerPixel + 3) / 4 * 4;
    const std::uint32_t imageSize = static_cast<std::uint32_t>(rowSize * height);
    const std::uint32_t dataOffset = FileHeaderSize + InfoHeaderSize;

    std::vector<std::uint8_t> bytes;
    bytes.reserve(dataOffset + imageSize);

    // BITMAPFILEHEADER
    bytes.push_back('B');
    bytes.push_back('M');
    putLittleEndian(bytes, dataOffset + imageSize, 4);
    putLittleEndian(bytes, 0, 4); // two reserved words
    putLittleEndian(bytes, dataOffset, 4);

    // BITMAPINFOHEADER; a positive height is what makes the rows run bottom-up
    putLittleEndian(bytes, InfoHeaderSize, 4);
    putLittleEndian(bytes, static_cast<std::uint32_t>(width), 4);
    putLittleEndian(bytes, static_cast<std::uint32_t>(height), 4);
    putLittleEndian(bytes, 1, 2); // planes
    putLittleEndian(bytes, 8 * BytesPerPixel, 2);
    putLittleEndian(bytes, 0, 4); // BI_RGB
    putLittleEndian(bytes, imageSize, 4);
    putLittleEndian(bytes, PixelsPerMetreAt96Dpi, 4);
    putLittleEndian(bytes, PixelsPerMetreAt96Dpi, 4);
    putLittleEndian(bytes, 0, 4); // colours used: none, there is no palette
    putLittleEndian(bytes, 0, 4); // important colours

    for (int y = height - 1; y >= 0; --y) {
        for (int x = 0; x < width; ++x) {
            const std::uint8_t level = ink[y * width + x] ? InkLevel : PaperLevel;
            bytes.insert(bytes.end(), BytesPerPixel, level); // grey: blue, green, red alike
        }
        bytes.insert(bytes.end(), rowSize - width * BytesPerPixel, 0);
    }
    return bytes;
}
