// Copyright (C) 2026 the Pelmar developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include <QByteArray>
#include <QColor>
#include <QFile>
#include <QIODevice>
#include <QImage>
#include <QList>
#include <QObject>
#include <QPoint>
#include <QProcess>
#include <QRgb>
#include <QSet>
#include <QSize>
#include <QString>
#include <QTemporaryDir>
#include <QTest>
#include <QtEndian>

// The main window's picture, the desktop icons and the Windows icon are checked-in files made by
// locomotive-gen.
class TestLocomotive : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void headerDescribesA24BitBottomUpBitmap_data();
    void headerDescribesA24BitBottomUpBitmap();
    void usesExactlyWhiteAndNearBlack();
    void standsOnAGroundLineAcrossTheWholeWidth();
    void iconIsInkOnAPaperTileWithClearCorners_data();
    void iconIsInkOnAPaperTileWithClearCorners();
    void generatorReproducesTheCheckedInFiles();

private:
    QByteArray m_bytes;
    QImage m_image;
};

namespace {

constexpr int Width = 195;
constexpr int Height = 104;
constexpr int RowSize = 588; // 195 pixels of 3 bytes, padded to a multiple of 4
constexpr int HeadersSize = 14 + 40;
const QRgb Ink = qRgb(4, 4, 4);
const QRgb Paper = qRgb(255, 255, 255);
const QRgb Clear = qRgba(0, 0, 0, 0);
const int IconSizes[] = {48, 128, 256};
const int WindowsIconSizes[] = {16, 24, 32, 48, 64, 256};

QString iconPath(const QString &folder, int size)
{
    return QStringLiteral("%1/%2x%2/io.github.pelmar.Pelmar.png").arg(folder).arg(size);
}

QSet<QRgb> coloursOf(const QImage &image)
{
    QSet<QRgb> colours;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x)
            colours.insert(image.pixel(x, y));
    }
    return colours;
}

quint32 fieldAt(const QByteArray &bytes, int offset, int size)
{
    const auto *data = reinterpret_cast<const uchar *>(bytes.constData()) + offset;
    return size == 2 ? qFromLittleEndian<quint16>(data) : qFromLittleEndian<quint32>(data);
}

// The pictures of a .ico file whose entries are PNGs, read through its own directory: none when
// the directory does not describe what the file holds.
QList<QImage> icoImages(const QString &path)
{
    constexpr int HeaderSize = 6;
    constexpr int EntrySize = 16;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    const QByteArray bytes = file.readAll();
    if (bytes.size() < HeaderSize || fieldAt(bytes, 0, 2) != 0 || fieldAt(bytes, 2, 2) != 1)
        return {};
    const int count = static_cast<int>(fieldAt(bytes, 4, 2));
    if (bytes.size() < HeaderSize + EntrySize * count)
        return {};
    QList<QImage> images;
    for (int entry = HeaderSize; entry < HeaderSize + EntrySize * count; entry += EntrySize) {
        // A byte holds the size; 0 is 256.
        const int size
            = static_cast<uchar>(bytes[entry]) == 0 ? 256 : static_cast<uchar>(bytes[entry]);
        const qint64 length = fieldAt(bytes, entry + 8, 4);
        const qint64 offset = fieldAt(bytes, entry + 12, 4);
        QImage image;
        if (offset + length > bytes.size() || !image.loadFromData(bytes.mid(offset, length), "PNG")
            || image.size() != QSize(size, size))
            return {};
        images << image;
    }
    return images;
}

} // namespace

void TestLocomotive::initTestCase()
{
    QFile file(QStringLiteral(LOCOMOTIVE_BMP));
    QVERIFY2(file.open(QIODevice::ReadOnly), qPrintable(file.errorString()));
    m_bytes = file.readAll();
    QVERIFY(m_bytes.size() >= HeadersSize);
    QVERIFY(m_image.loadFromData(m_bytes, "BMP"));
}

void TestLocomotive::headerDescribesA24BitBottomUpBitmap_data()
{
    QTest::addColumn<int>("offset");
    QTest::addColumn<int>("size");
    QTest::addColumn<quint32>("expected");

    QTest::newRow("signature") << 0 << 2 << quint32 {'B' | 'M' << 8};
    QTest::newRow("fileSize") << 2 << 4 << quint32 {HeadersSize + RowSize * Height};
    QTest::newRow("pixelDataOffset") << 10 << 4 << quint32 {HeadersSize};
    QTest::newRow("infoHeaderSize") << 14 << 4 << 40u;
    QTest::newRow("width") << 18 << 4 << quint32 {Width};
    QTest::newRow("positiveHeightMeansBottomUp") << 22 << 4 << quint32 {Height};
    QTest::newRow("planes") << 26 << 2 << 1u;
    QTest::newRow("bitsPerPixel") << 28 << 2 << 24u;
    QTest::newRow("uncompressed") << 30 << 4 << 0u;
    QTest::newRow("imageSize") << 34 << 4 << quint32 {RowSize * Height};
    QTest::newRow("horizontal96Dpi") << 38 << 4 << 3780u;
    QTest::newRow("vertical96Dpi") << 42 << 4 << 3780u;
}

void TestLocomotive::headerDescribesA24BitBottomUpBitmap()
{
    QFETCH(int, offset);
    QFETCH(int, size);
    QFETCH(quint32, expected);

    QCOMPARE(fieldAt(m_bytes, offset, size), expected);
}

void TestLocomotive::usesExactlyWhiteAndNearBlack()
{
    QCOMPARE(m_image.size(), QSize(Width, Height));
    QCOMPARE(coloursOf(m_image), QSet<QRgb>({Paper, Ink}));
}

void TestLocomotive::standsOnAGroundLineAcrossTheWholeWidth()
{
    // The bottom rows are stored first; a mistake in the row order would move the rail to the top.
    bool found = false;
    for (int y = Height / 2; y < Height && !found; ++y) {
        bool solid = true;
        for (int x = 0; x < Width && solid; ++x)
            solid = m_image.pixel(x, y) == Ink;
        found = solid;
    }
    QVERIFY(found);
}

void TestLocomotive::iconIsInkOnAPaperTileWithClearCorners_data()
{
    QTest::addColumn<QImage>("icon");
    QTest::addColumn<int>("size");
    for (const int size : IconSizes)
        QTest::addRow("%dx%d", size, size)
            << QImage(iconPath(QStringLiteral(ICON_FOLDER), size), "PNG") << size;
    // Every size Windows asks for, each once.
    const QList<QImage> windowsIcon = icoImages(QStringLiteral(WINDOWS_ICON));
    qsizetype entry = 0;
    for (const int size : WindowsIconSizes)
        QTest::addRow("pelmar.ico %dx%d", size, size) << windowsIcon.value(entry++) << size;
}

void TestLocomotive::iconIsInkOnAPaperTileWithClearCorners()
{
    QFETCH(QImage, icon);
    QFETCH(int, size);

    // Ink only ever on paper, so the locomotive stays readable on dark panels as well as light.
    QCOMPARE(icon.size(), QSize(size, size));
    QCOMPARE(coloursOf(icon), QSet<QRgb>({Clear, Paper, Ink}));
    const int last = size - 1;
    for (const QPoint corner : {QPoint(0, 0), QPoint(last, 0), QPoint(0, last), QPoint(last, last)})
        QCOMPARE(icon.pixel(corner), Clear);
    for (int y = 1; y < last; ++y) {
        for (int x = 1; x < last; ++x) {
            const bool besideClear = icon.pixel(x - 1, y) == Clear || icon.pixel(x + 1, y) == Clear
                || icon.pixel(x, y - 1) == Clear || icon.pixel(x, y + 1) == Clear;
            if (icon.pixel(x, y) == Ink && besideClear)
                QFAIL(qPrintable(
                    QStringLiteral("ink at %1,%2 touches the clear corner").arg(x).arg(y)));
        }
    }
}

void TestLocomotive::generatorReproducesTheCheckedInFiles()
{
#ifndef LOCOMOTIVE_GEN
    QSKIP("locomotive-gen is built only with PELMAR_GENERATOR=ON");
#else
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString picture = dir.filePath(QStringLiteral("locomotive.bmp"));
    const QString windowsIcon = dir.filePath(QStringLiteral("pelmar.ico"));

    QProcess generator;
    generator.start(QStringLiteral(LOCOMOTIVE_GEN), {picture, dir.path(), windowsIcon});
    QVERIFY(generator.waitForFinished());
    QCOMPARE(generator.exitStatus(), QProcess::NormalExit);
    QCOMPARE(generator.exitCode(), 0);

    QFile file(picture);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QVERIFY2(file.readAll() == m_bytes, "app/locomotive.bmp is not what locomotive-gen draws");

    // Pixels, not bytes: another zlib may compress the same picture differently.
    for (const int size : IconSizes) {
        const QImage drawn(iconPath(dir.path(), size));
        const QImage checkedIn(iconPath(QStringLiteral(ICON_FOLDER), size));
        QVERIFY2(drawn.convertToFormat(QImage::Format_ARGB32)
                     == checkedIn.convertToFormat(QImage::Format_ARGB32),
                 qPrintable(iconPath(QStringLiteral("packaging/icons"), size)
                            + QStringLiteral(" is not what locomotive-gen draws")));
    }
    QList<QImage> drawn = icoImages(windowsIcon);
    QList<QImage> checkedIn = icoImages(QStringLiteral(WINDOWS_ICON));
    for (QList<QImage> *images : {&drawn, &checkedIn}) {
        for (QImage &image : *images)
            image.convertTo(QImage::Format_ARGB32);
    }
    QVERIFY2(!drawn.isEmpty() && drawn == checkedIn,
             "packaging/windows/pelmar.ico is not what locomotive-gen draws");
#endif
}

QTEST_GUILESS_MAIN(TestLocomotive)
#include "tst_locomotive.moc"
