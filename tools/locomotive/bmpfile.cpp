#include "bmpfile.h"

namespace {

constexpr int fileHeaderSize = 14;
constexpr int infoHeaderSize = 40;
constexpr int bytesPerPixel = 3;
constexpr std::uint32_t pixelsPerMetreAt96Dpi = 3780;
constexpr std::uint8_t inkLevel = 4;
constexpr std::uint8_t paperLevel = 255;

void putLittleEndian(std::vector<std::uint8_t> &bytes, std::uint32_t value, int size)
{
    for (int i = 0; i < size; ++i)
        bytes.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
}

} // namespace

std::vector<std::uint8_t> encodeBmp(const std::vector<bool> &ink, int width, int height)
{
    const int rowSize = (width * bytesPerPixel + 3) / 4 * 4;
    const std::uint32_t imageSize = static_cast<std::uint32_t>(rowSize * height);
    const std::uint32_t dataOffset = fileHeaderSize + infoHeaderSize;

    std::vector<std::uint8_t> bytes;
    bytes.reserve(dataOffset + imageSize);

    // BITMAPFILEHEADER
    bytes.push_back('B');
    bytes.push_back('M');
    putLittleEndian(bytes, dataOffset + imageSize, 4);
    putLittleEndian(bytes, 0, 4); // two reserved words
    putLittleEndian(bytes, dataOffset, 4);

    // BITMAPINFOHEADER; a positive height is what makes the rows run bottom-up
    putLittleEndian(bytes, infoHeaderSize, 4);
    putLittleEndian(bytes, static_cast<std::uint32_t>(width), 4);
    putLittleEndian(bytes, static_cast<std::uint32_t>(height), 4);
    putLittleEndian(bytes, 1, 2); // planes
    putLittleEndian(bytes, 8 * bytesPerPixel, 2);
    putLittleEndian(bytes, 0, 4); // BI_RGB
    putLittleEndian(bytes, imageSize, 4);
    putLittleEndian(bytes, pixelsPerMetreAt96Dpi, 4);
    putLittleEndian(bytes, pixelsPerMetreAt96Dpi, 4);
    putLittleEndian(bytes, 0, 4); // colours used: none, there is no palette
    putLittleEndian(bytes, 0, 4); // important colours

    for (int y = height - 1; y >= 0; --y) {
        for (int x = 0; x < width; ++x) {
            const std::uint8_t level = ink[y * width + x] ? inkLevel : paperLevel;
            bytes.insert(bytes.end(), bytesPerPixel, level); // grey: blue, green, red alike
        }
        bytes.insert(bytes.end(), rowSize - width * bytesPerPixel, 0);
    }
    return bytes;
}
