#include <QColor>
#include <QFile>
#include <QImage>
#include <QProcess>
#include <QSet>
#include <QTemporaryDir>
#include <QTest>
#include <QtEndian>

// The main window's picture is a checked-in bitmap made by locomotive-gen.
class TestLocomotive : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void headerDescribesA24BitBottomUpBitmap_data();
    void headerDescribesA24BitBottomUpBitmap();
    void usesExactlyWhiteAndNearBlack();
    void standsOnAGroundLineAcrossTheWholeWidth();
    void generatorReproducesTheCheckedInFile();

private:
    QByteArray m_bytes;
    QImage m_image;
};

namespace {

constexpr int width = 195;
constexpr int height = 104;
constexpr int rowSize = 588; // 195 pixels of 3 bytes, padded to a multiple of 4
constexpr int headersSize = 14 + 40;

quint32 fieldAt(const QByteArray &bytes, int offset, int size)
{
    const auto *data = reinterpret_cast<const uchar *>(bytes.constData()) + offset;
    return size == 2 ? qFromLittleEndian<quint16>(data) : qFromLittleEndian<quint32>(data);
}

} // namespace

void TestLocomotive::initTestCase()
{
    QFile file(QStringLiteral(LOCOMOTIVE_BMP));
    QVERIFY2(file.open(QIODevice::ReadOnly), qPrintable(file.errorString()));
    m_bytes = file.readAll();
    QVERIFY(m_bytes.size() >= headersSize);
    QVERIFY(m_image.loadFromData(m_bytes, "BMP"));
}

void TestLocomotive::headerDescribesA24BitBottomUpBitmap_data()
{
    QTest::addColumn<int>("offset");
    QTest::addColumn<int>("size");
    QTest::addColumn<quint32>("expected");

    QTest::newRow("signature") << 0 << 2 << quint32('B' | 'M' << 8);
    QTest::newRow("fileSize") << 2 << 4 << quint32(headersSize + rowSize * height);
    QTest::newRow("pixelDataOffset") << 10 << 4 << quint32(headersSize);
    QTest::newRow("infoHeaderSize") << 14 << 4 << 40u;
    QTest::newRow("width") << 18 << 4 << quint32(width);
    QTest::newRow("positiveHeightMeansBottomUp") << 22 << 4 << quint32(height);
    QTest::newRow("planes") << 26 << 2 << 1u;
    QTest::newRow("bitsPerPixel") << 28 << 2 << 24u;
    QTest::newRow("uncompressed") << 30 << 4 << 0u;
    QTest::newRow("imageSize") << 34 << 4 << quint32(rowSize * height);
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
    QCOMPARE(m_image.size(), QSize(width, height));

    QSet<QRgb> colours;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x)
            colours.insert(m_image.pixel(x, y));
    }
    QCOMPARE(colours, QSet<QRgb>({qRgb(255, 255, 255), qRgb(4, 4, 4)}));
}

void TestLocomotive::standsOnAGroundLineAcrossTheWholeWidth()
{
    // The bottom rows are stored first; a mistake in the row order would move the rail to the top.
    bool found = false;
    for (int y = height / 2; y < height && !found; ++y) {
        bool solid = true;
        for (int x = 0; x < width && solid; ++x)
            solid = m_image.pixel(x, y) == qRgb(4, 4, 4);
        found = solid;
    }
    QVERIFY(found);
}

void TestLocomotive::generatorReproducesTheCheckedInFile()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString output = dir.filePath(QStringLiteral("locomotive.bmp"));

    QProcess generator;
    generator.start(QStringLiteral(LOCOMOTIVE_GEN), {output});
    QVERIFY(generator.waitForFinished());
    QCOMPARE(generator.exitStatus(), QProcess::NormalExit);
    QCOMPARE(generator.exitCode(), 0);

    QFile file(output);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QVERIFY2(file.readAll() == m_bytes, "app/locomotive.bmp is not what locomotive-gen draws");
}

QTEST_GUILESS_MAIN(TestLocomotive)
#include "tst_locomotive.moc"
