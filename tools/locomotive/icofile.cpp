// Copyright (C) 2026 the Pelmar developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "icofile.h"

#include "pngfile.h"

#include <QBuffer>
#include <QByteArray>
#include <QDataStream>
#include <QFile>
#include <QFileDevice>
#include <QIODevice>
#include <QImage>
#include <QList>
#include <QString>
#include <QtGlobal>

#include <cstddef>

namespace {

constexpr int HeaderSize = 6;
constexpr int EntrySize = 16;
constexpr quint16 IconType = 1;
// A size is stored in a byte, where 0 stands for 256.
constexpr int LargestSize = 256;
constexpr quint16 Planes = 1;
constexpr quint16 BitsPerPixel = 32;

QByteArray encodePng(const IcoPicture &picture)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    // 32-bit RGBA, not indexed: the one form of PNG entry that every reader of icons takes.
    const QImage image
        = toneImage(picture.tones, picture.size).convertToFormat(QImage::Format_ARGB32);
    return image.save(&buffer, "PNG") ? bytes : QByteArray();
}

} // namespace

bool writeIco(const std::vector<IcoPicture> &pictures, const std::string &path)
{
    QList<QByteArray> pngs;
    for (const IcoPicture &picture : pictures) {
        if (picture.size < 1 || picture.size > LargestSize)
            return false;
        pngs << encodePng(picture);
        if (pngs.constLast().isEmpty())
            return false;
    }

    QFile file(QString::fromStdString(path));
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    QDataStream out(&file);
    out.setByteOrder(QDataStream::LittleEndian);
    out << quint16 {0} << IconType << static_cast<quint16>(pictures.size());
    auto offset = static_cast<quint32>(HeaderSize + EntrySize * pngs.size());
    for (std::size_t i = 0; i < pictures.size(); ++i) {
        const auto size = static_cast<quint8>(pictures[i].size % LargestSize);
        const auto length = static_cast<quint32>(pngs[static_cast<qsizetype>(i)].size());
        // Width, height, no palette, a reserved byte, then the colour planes and depth.
        out << size << size << quint8 {0} << quint8 {0} << Planes << BitsPerPixel;
        out << length << offset;
        offset += length;
    }
    for (const QByteArray &png : pngs)
        out.writeRawData(png.constData(), static_cast<int>(png.size()));
    file.close();
    return out.status() == QDataStream::Ok && file.error() == QFileDevice::NoError;
}
