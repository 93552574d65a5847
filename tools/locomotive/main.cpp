// Copyright (C) 2026 the Pelmar developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "bmpfile.h"
#include "icofile.h"
#include "icon.h"
#include "locomotive.h"
#include "pngfile.h"

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

namespace {

constexpr const char *IconName = "io.github.pelmar.Pelmar.png";

bool writeBmp(const std::filesystem::path &path)
{
    const std::vector<std::uint8_t> bytes
        = encodeBmp(drawLocomotive(), LocomotiveWidth, LocomotiveHeight);
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file.write(reinterpret_cast<const char *>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
    file.close();
    return static_cast<bool>(file);
}

} // namespace

// Writes the main window's locomotive picture, the desktop icons drawn after it (one folder per
// size as the icon theme lays them out) and the same icon at Windows' sizes in one .ico file. All
// are checked in; this program is how they were made, and the test runs it again to prove the
// checked-in files still match.
int main(int argc, char *argv[])
{
    if (argc != 4) {
        std::cerr << "usage: locomotive-gen PICTURE.bmp ICON_FOLDER WINDOWS_ICON.ico\n";
        return 2;
    }

    if (!writeBmp(argv[1])) {
        std::cerr << "locomotive-gen: cannot write " << argv[1] << '\n';
        return 1;
    }
    for (const int size : IconSizes) {
        const std::string sizeName = std::to_string(size) + 'x' + std::to_string(size);
        const std::filesystem::path folder = std::filesystem::path(argv[2]) / sizeName;
        std::error_code error;
        std::filesystem::create_directories(folder, error);
        const std::filesystem::path path = folder / IconName;
        if (error || !writePng(drawIcon(size), size, path.string())) {
            std::cerr << "locomotive-gen: cannot write " << path.string() << '\n';
            return 1;
        }
    }
    std::vector<IcoPicture> windowsIcon;
    for (const int size : WindowsIconSizes)
        windowsIcon.push_back({size, drawIcon(size)});
    if (!writeIco(windowsIcon, argv[3])) {
        std::cerr << "locomotive-gen: cannot write " << argv[3] << '\n';
        return 1;
    }
    return 0;
}
