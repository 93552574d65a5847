// Copyright (C) 2026 the Pelmar developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "pngfile.h"

#include <QString>

#include <cstddef>

QImage toneImage(const std::vector<Tone> &tones, int size)
{
    QImage image(size, size, QImage::Format_Indexed8);
    // Indexed by Tone's values.
    image.setColorTable({qRgba(0, 0, 0, 0), qRgb(255, 255, 255), qRgb(4, 4, 4)});
    for (int y = 0; y < size; ++y) {
        uchar *line = image.scanLine(y);
        for (int x = 0; x < size; ++x)
            line[x] = static_cast<uchar>(tones[static_cast<std::size_t>(y * size + x)]);
    }
    return image;
}

bool writePng(const std::vector<Tone> &tones, int size, const std::string &path)
{
    return toneImage(tones, size).save(QString::fromStdString(path), "PNG");
}
