// Copyright (C) 2026 the Pelmar developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "runtimeerror.h"
#include "speed.h"

#include <QLocale>
#include <QObject>
#include <QString>
#include <QTest>

class TestSpeed : public QObject
{
    Q_OBJECT

private slots:
    void cleanup() { QLocale::setDefault(QLocale::c()); }

    void speedIsShownAndListedRoundedByItsText_data();
    void speedIsShownAndListedRoundedByItsText();
    void timesNotInOrderAskForAnotherTry_data();
    void timesNotInOrderAskForAnotherTry();
    void fullSizeSpeedFollowsTheScale_data();
    void fullSizeSpeedFollowsTheScale();
    void speedUsesTheLocaleDecimalSeparator();
    void speedBeyondTheListOverflows_data();
    void speedBeyondTheListOverflows();
};

void TestSpeed::speedIsShownAndListedRoundedByItsText_data()
{
    QTest::addColumn<float>("scan1");
    QTest::addColumn<float>("scan2");
    QTest::addColumn<QString>("distance");
    QTest::addColumn<QString>("speed");
    QTest::addColumn<QString>("full");
    QTest::addColumn<QString>("line");
    const auto row = [](const char *name, float scan1, float scan2, const char *distance,
                        const char *speed, const char *full, const char *line) {
        QTest::newRow(name) << scan1 << scan2 << QString::fromLatin1(distance)
                            << QString::fromLatin1(speed) << QString::fromLatin1(full)
                            << QString::fromLatin1(line);
    };

    row("defaults, 1 s apart", 0, 1, "12", "0.681818181818182", "59.3181818181818", "59 MPH");
    row("24 inches, 0.5 s apart", 0, 0.5, "24", "2.72727272727273", "237.272727272727", "237 MPH");
    row("2 s apart rounds up", 0, 2, "12", "0.340909090909091", "29.6590909090909", "30 MPH");
    row("negative distance", 0, 1, "-12", "-0.681818181818182", "-59.3181818181818", "-59 MPH");
    row("no number in the distance", 0, 1, "twelve", "0", "0", "0 MPH");
    row("empty distance", 0, 1, "", "0", "0", "0 MPH");
    row("distance read as Val reads it", 0, 1, " 1 2 inches", "0.681818181818182",
        "59.3181818181818", "59 MPH");
    row("clock times a second apart", 45000.25f, 45001.25f, "12", "0.681818181818182",
        "59.3181818181818", "59 MPH");
    // 45000.1 and 45000.4 are held as 45000.1015625 and 45000.3984375: the pair is 0.296875 s
    // apart, not 0.3 s (which would give 197.727272727273 and "198 MPH").
    row("read times in single precision", 45000.1f, 45000.4f, "12", "2.29665071770335",
        "199.808612440191", "200 MPH");
    // 45000.1f - 0.1f is 45000.0015625 exactly, and 45000 in single precision; a time kept in
    // double would give 0.631313109392558 and 54.9242405171525.
    row("time difference in single precision", 0.1f, 45000.1f, "500000", "0.631313131313131",
        "54.9242424242424", "55 MPH");
    row("highest listable", 0, 1, "6628.8", "376.636363636364", "32767.3636363636", "32767 MPH");
    row("lowest listable", 0, 1, "-6629", "-376.647727272727", "-32768.3522727273", "-32768 MPH");
    // The full-size speeds here are 58.50000000000002 and 59.49999999999999: rounded as numbers
    // they give 59 and 59, rounded by their 15-digit texts 58.5 and 59.5 they go to the even side.
    row("text tie above the half rounds down to even", 0, 1, "11.834482758620693",
        "0.672413793103449", "58.5", "58 MPH");
    row("text tie below the half rounds up to even", 0, 1, "12.0367816091954", "0.683908045977011",
        "59.5", "60 MPH");
}

void TestSpeed::speedIsShownAndListedRoundedByItsText()
{
    QFETCH(float, scan1);
    QFETCH(float, scan2);
    QFETCH(QString, distance);
    QFETCH(QString, speed);
    QFETCH(QString, full);
    QFETCH(QString, line);

    const SpeedResult result = calculateSpeed(scan1, scan2, distance);
    QCOMPARE(
        result.message,
        QStringLiteral("Real speed = %1mph That would be %2mph in real life!").arg(speed, full));
    QCOMPARE(result.listLine, line);
}

void TestSpeed::timesNotInOrderAskForAnotherTry_data()
{
    QTest::addColumn<float>("scan1");
    QTest::addColumn<float>("scan2");
    QTest::newRow("no reads yet") << 0.0f << 0.0f;
    QTest::newRow("equal times") << 45000.5f << 45000.5f;
    QTest::newRow("first later than second") << 45001.0f << 45000.0f;
    QTest::newRow("pair across midnight") << 86399.5f << 0.5f;
    // Both are held as 45000.1015625.
    QTest::newRow("apart by less than single precision holds") << 45000.1f << 45000.1001f;
}

void TestSpeed::timesNotInOrderAskForAnotherTry()
{
    QFETCH(float, scan1);
    QFETCH(float, scan2);
    const SpeedResult result = calculateSpeed(scan1, scan2, QStringLiteral("12"));
    QCOMPARE(result.message, QStringLiteral("Scan1 > Scan2, try again!"));
    QVERIFY(result.listLine.isEmpty());
}

void TestSpeed::fullSizeSpeedFollowsTheScale_data()
{
    QTest::addColumn<double>("scale");
    QTest::addColumn<QString>("full");
    QTest::addColumn<QString>("line");
    QTest::newRow("HO, as without a scale") << 87.0 << "59.3181818181818"
                                            << "59 MPH";
    QTest::newRow("G") << 22.5 << "15.3409090909091"
                       << "15 MPH";
    QTest::newRow("O") << 48.0 << "32.7272727272727"
                       << "33 MPH";
    QTest::newRow("TT") << 120.0 << "81.8181818181818"
                        << "82 MPH";
    QTest::newRow("N") << 160.0 << "109.090909090909"
                       << "109 MPH";
    QTest::newRow("Z") << 220.0 << "150"
                       << "150 MPH";
}

// The defaults, reads 1 s apart: the model's speed stays, the full-size one follows the scale.
void TestSpeed::fullSizeSpeedFollowsTheScale()
{
    QFETCH(double, scale);
    QFETCH(QString, full);
    QFETCH(QString, line);
    const SpeedResult result = calculateSpeed(0.0f, 1.0f, QStringLiteral("12"), scale);
    QCOMPARE(result.message,
             QStringLiteral("Real speed = 0.681818181818182mph That would be "
                            "%1mph in real life!")
                 .arg(full));
    QCOMPARE(result.listLine, line);
    if (scale == DefaultScale) {
        const SpeedResult unscaled = calculateSpeed(0.0f, 1.0f, QStringLiteral("12"));
        QCOMPARE(result.message, unscaled.message);
        QCOMPARE(result.listLine, unscaled.listLine);
    }
}

void TestSpeed::speedUsesTheLocaleDecimalSeparator()
{
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    const SpeedResult result = calculateSpeed(0.0f, 1.0f, QStringLiteral("12"));
    QCOMPARE(
        result.message,
        QStringLiteral("Real speed = 0,681818181818182mph That would be 59,3181818181818mph in "
                       "real life!"));
    QCOMPARE(result.listLine, QStringLiteral("59 MPH"));
}

void TestSpeed::speedBeyondTheListOverflows_data()
{
    QTest::addColumn<float>("scan1");
    QTest::addColumn<float>("scan2");
    QTest::addColumn<QString>("distance");
    QTest::addColumn<QString>("named"); // what the description must name
    const auto row
        = [](const char *name, float scan1, float scan2, const char *distance, const char *named) {
              QTest::newRow(name) << scan1 << scan2 << QString::fromLatin1(distance)
                                  << QString::fromLatin1(named);
          };

    // 0.1 s apart in single precision is 0.09999847412109375 s.
    row("far too fast", 100, 100.1f, "100000", "4943257.24630142");
    row("just above the highest", 0, 1, "6628.9", "32767.8579545455");
    row("just below the lowest", 0, 1, "-6629.1", "-32768.8465909091");
    row("speed beyond a double", 0, 1, "1e308", "1E+308");
    row("infinite distance", 0, 1, "1e400", "Infinity");
    row("negative infinite distance", 0, 1, "-1e400", "-Infinity");
}

void TestSpeed::speedBeyondTheListOverflows()
{
    QFETCH(float, scan1);
    QFETCH(float, scan2);
    QFETCH(QString, distance);
    QFETCH(QString, named);
    try {
        calculateSpeed(scan1, scan2, distance);
        QFAIL("no error");
    } catch (const RunTimeError &error) {
        QCOMPARE(error.number(), static_cast<int>(RunTimeError::Overflow));
        QVERIFY2(error.description().contains(named), qPrintable(error.description()));
    }
}

QTEST_GUILESS_MAIN(TestSpeed)
#include "tst_speed.moc"
