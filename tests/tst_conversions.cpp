// Copyright (C) 2026 the Pelmar developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "conversions.h"
#include "runtimeerror.h"

#include <QLocale>
#include <QObject>
#include <QString>
#include <QTest>

#include <cmath>
#include <cstdint>
#include <limits>

class TestConversions : public QObject
{
    Q_OBJECT

private slots:
    void cleanup() { QLocale::setDefault(QLocale::c()); }

    void valReadsTheLeadingNumber_data();
    void valReadsTheLeadingNumber();
    void valGivesInfinityBeyondADouble();

    void numberToTextKeepsFifteenDigits_data();
    void numberToTextKeepsFifteenDigits();
    void numbersUseTheLocaleDecimalSeparator();

    void textToIntegerRoundsTiesToEven_data();
    void textToIntegerRoundsTiesToEven();
    void textToIntegerRefusesWhatIsNotANumber_data();
    void textToIntegerRefusesWhatIsNotANumber();
    void textToIntegerOverflowsOutsideItsRange_data();
    void textToIntegerOverflowsOutsideItsRange();

    void doubleToInteger16RoundsTiesToEven();
    void substringFollowsTheLengthRules_data();
    void substringFollowsTheLengthRules();
    void substringRefusesANegativeLength();
};

void TestConversions::valReadsTheLeadingNumber_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<double>("value");
    QTest::newRow("whole") << "12" << 12.0;
    QTest::newRow("fraction") << "12.5" << 12.5;
    QTest::newRow("blanks anywhere") << "  1 2" << 12.0;
    QTest::newRow("tabs and line feeds") << "\t1\n2" << 12.0;
    QTest::newRow("blanks in the exponent") << "1 e 2" << 100.0;
    QTest::newRow("stops at a second point") << "1.5.3" << 1.5;
    QTest::newRow("comma is no decimal point") << "1,5" << 1.0;
    QTest::newRow("stops at a letter") << "12abc" << 12.0;
    QTest::newRow("no number") << "abc" << 0.0;
    QTest::newRow("empty") << "" << 0.0;
    QTest::newRow("ampersand") << "&" << 0.0;
    QTest::newRow("sign only") << "-" << 0.0;
    QTest::newRow("two signs") << "--5" << 0.0;
    QTest::newRow("plus sign") << "+5" << 5.0;
    QTest::newRow("negative") << "-24" << -24.0;
    QTest::newRow("leading point") << ".5" << 0.5;
    QTest::newRow("E exponent") << "1e3" << 1000.0;
    QTest::newRow("D exponent") << "1D2" << 100.0;
    QTest::newRow("negative exponent") << "25E-1" << 2.5;
    QTest::newRow("exponent without digits") << "7e+" << 7.0;
    QTest::newRow("exponent without mantissa") << "e5" << 0.0;
    QTest::newRow("carriage return stops") << "1\r2" << 1.0;
    QTest::newRow("large") << "9e18" << 9e18;
}

void TestConversions::valReadsTheLeadingNumber()
{
    QFETCH(QString, text);
    QFETCH(double, value);
    QCOMPARE(Val(text), value);
}

void TestConversions::valGivesInfinityBeyondADouble()
{
    QCOMPARE(Val(QStringLiteral("1e400")), std::numeric_limits<double>::infinity());
    QCOMPARE(Val(QStringLiteral("-1e400")), -std::numeric_limits<double>::infinity());
    QVERIFY(std::isinf(Val(QStringLiteral("1") + QString(100000, u'0'))));
    QCOMPARE(Val(QStringLiteral("1e-400")), 0.0);
    // Which way a number lies is its digits' place and its exponent together.
    QCOMPARE(Val(QStringLiteral("1") + QString(400, u'0') + QStringLiteral("e-10")),
             std::numeric_limits<double>::infinity());
    QCOMPARE(Val(QStringLiteral("0.") + QString(400, u'0') + QStringLiteral("1e10")), 0.0);
    // Without an exponent a number's place is its digits' alone.
    QCOMPARE(Val(QStringLiteral("0.") + QString(400, u'0') + QStringLiteral("1")), 0.0);
    QCOMPARE(Val(QStringLiteral("-0.") + QString(400, u'0') + QStringLiteral("1")), 0.0);
    QCOMPARE(Val(QStringLiteral("-1e99999999999999999999")),
             -std::numeric_limits<double>::infinity());
    QCOMPARE(Val(QStringLiteral("1e-99999999999999999999")), 0.0);
}

void TestConversions::numberToTextKeepsFifteenDigits_data()
{
    QTest::addColumn<double>("value");
    QTest::addColumn<QString>("text");
    QTest::newRow("whole") << 2.0 << "2";
    QTest::newRow("full speed 1 s") << 59.31818181818181 << "59.3181818181818";
    QTest::newRow("speed 1 s") << 0.6818181818181818 << "0.681818181818182";
    QTest::newRow("speed 2 s") << 12.0 / 12 / 2.0f * 3600 / 5280 << "0.340909090909091";
    QTest::newRow("full 2 s") << 12.0 / 12 / 2.0f * 3600 / 5280 * 87 << "29.6590909090909";
    QTest::newRow("speed 0.5 s") << 24.0 / 12 / 0.5f * 3600 / 5280 << "2.72727272727273";
    QTest::newRow("full 0.5 s") << 24.0 / 12 / 0.5f * 3600 / 5280 * 87 << "237.272727272727";
    QTest::newRow("negative half") << -0.5 << "-0.5";
    QTest::newRow("negative zero") << -0.0 << "0";
    QTest::newRow("hundred") << 100.0 << "100";
    QTest::newRow("binary fraction noise") << 0.1 + 0.2 << "0.3";
    QTest::newRow("largest plain") << 999999999999999.0 << "999999999999999";
    QTest::newRow("ten to the fifteenth") << 1e15 << "1E+15";
    QTest::newRow("rounds up into exponent form") << 999999999999999.9 << "1E+15";
    QTest::newRow("large") << 123456789012345678.0 << "1.23456789012346E+17";
    QTest::newRow("huge") << 1.5e300 << "1.5E+300";
    QTest::newRow("one ten-thousandth") << 0.0001 << "0.0001";
    QTest::newRow("below one ten-thousandth") << 0.00001 << "1E-05";
    QTest::newRow("small with digits") << -0.000015 << "-1.5E-05";
    QTest::newRow("tiny") << 1e-300 << "1E-300";
}

void TestConversions::numberToTextKeepsFifteenDigits()
{
    QFETCH(double, value);
    QFETCH(QString, text);
    QCOMPARE(numberToText(value), text);
}

void TestConversions::numbersUseTheLocaleDecimalSeparator()
{
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    QCOMPARE(numberToText(0.6818181818181818), QStringLiteral("0,681818181818182"));
    QCOMPARE(numberToText(-0.000015), QStringLiteral("-1,5E-05"));
    QCOMPARE(textToInteger16(QStringLiteral("59,3181818181818")), std::int16_t {59});
    QCOMPARE(textToInteger16(QStringLiteral("2,5")), std::int16_t {2});
    QVERIFY_THROWS_EXCEPTION(RunTimeError, textToInteger16(QStringLiteral("2.5")));
    // Val keeps the period whatever the locale.
    QCOMPARE(Val(QStringLiteral("12.5")), 12.5);
    QCOMPARE(numberToText(std::int16_t {-32768}), QStringLiteral("-32768"));
}

void TestConversions::textToIntegerRoundsTiesToEven_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("value");
    QTest::newRow("whole") << "12" << 12;
    QTest::newRow("half down to even") << "12.5" << 12;
    QTest::newRow("half up to even") << "13.5" << 14;
    QTest::newRow("zero point five") << "0.5" << 0;
    QTest::newRow("negative half") << "-2.5" << -2;
    QTest::newRow("just above half") << "2.50000000000001" << 3;
    QTest::newRow("blanks around") << " 7 " << 7;
    QTest::newRow("exponent") << "1.5E+2" << 150;
    QTest::newRow("small exponent") << "1E-05" << 0;
    QTest::newRow("below a double, no exponent") << "0." + QString(400, u'0') + "1" << 0;
    QTest::newRow("largest") << "32767.4" << 32767;
    QTest::newRow("lowest tie") << "-32768.5" << -32768;
}

void TestConversions::textToIntegerRoundsTiesToEven()
{
    QFETCH(QString, text);
    QFETCH(int, value);
    QCOMPARE(textToInteger16(text), value);
    QCOMPARE(textToInteger32(text), value);
}

void TestConversions::textToIntegerRefusesWhatIsNotANumber_data()
{
    QTest::addColumn<QString>("text");
    QTest::newRow("empty") << "";
    QTest::newRow("blank") << " ";
    QTest::newRow("letters") << "abc";
    QTest::newRow("trailing letters") << "12abc";
    QTest::newRow("point only") << ".";
    QTest::newRow("exponent without digits") << "1E";
    QTest::newRow("inner blank") << "1 2";
    QTest::newRow("infinity") << "inf";
    QTest::newRow("hex float") << "0x10";
}

void TestConversions::textToIntegerRefusesWhatIsNotANumber()
{
    QFETCH(QString, text);
    try {
        textToInteger32(text);
        QFAIL("no error");
    } catch (const RunTimeError &error) {
        QCOMPARE(error.number(), static_cast<int>(RunTimeError::TypeMismatch));
    }
}

void TestConversions::textToIntegerOverflowsOutsideItsRange_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("fitsIn32Bits");
    QTest::newRow("tie above 16 bits") << "32767.5" << true;
    QTest::newRow("below 16 bits") << "-32769" << true;
    QTest::newRow("exponent form") << "1E+15" << false;
    QTest::newRow("above 32 bits") << "2147483648" << false;
    QTest::newRow("beyond a double") << "1E+400" << false;
}

void TestConversions::textToIntegerOverflowsOutsideItsRange()
{
    QFETCH(QString, text);
    QFETCH(bool, fitsIn32Bits);
    try {
        textToInteger16(text);
        QFAIL("no error");
    } catch (const RunTimeError &error) {
        QCOMPARE(error.number(), static_cast<int>(RunTimeError::Overflow));
    }
    if (fitsIn32Bits)
        textToInteger32(text);
    else
        QVERIFY_THROWS_EXCEPTION(RunTimeError, textToInteger32(text));
}

void TestConversions::doubleToInteger16RoundsTiesToEven()
{
    QCOMPARE(doubleToInteger16(14.5), std::int16_t {14});
    QCOMPARE(doubleToInteger16(15.5), std::int16_t {16});
    QCOMPARE(doubleToInteger16(-32768.5), std::int16_t {-32768});
    QVERIFY_THROWS_EXCEPTION(RunTimeError, doubleToInteger16(32767.5));
    QVERIFY_THROWS_EXCEPTION(RunTimeError, doubleToInteger16(std::nan("")));
    QVERIFY_THROWS_EXCEPTION(RunTimeError, doubleToInteger16(-INFINITY));
}

void TestConversions::substringFollowsTheLengthRules_data()
{
    QTest::addColumn<int>("position");
    QTest::addColumn<double>("length");
    QTest::addColumn<QString>("part");
    QTest::newRow("start") << 1 << 3.0 << "abc";
    QTest::newRow("middle") << 2 << 2.0 << "bc";
    QTest::newRow("past the end takes the rest") << 4 << 100.0 << "def";
    QTest::newRow("beyond 32 bits takes the rest") << 1 << 1e300 << "abcdef";
    QTest::newRow("position past the end") << 7 << 2.0 << "";
    QTest::newRow("zero length") << 1 << 0.0 << "";
    QTest::newRow("tie rounds down to even") << 1 << 2.5 << "ab";
    QTest::newRow("tie rounds up to even") << 1 << 3.5 << "abcd";
    QTest::newRow("small negative rounds to zero") << 1 << -0.4 << "";
}

void TestConversions::substringFollowsTheLengthRules()
{
    QFETCH(int, position);
    QFETCH(double, length);
    QFETCH(QString, part);
    QCOMPARE(substring(QStringLiteral("abcdef"), position, length), part);
}

void TestConversions::substringRefusesANegativeLength()
{
    try {
        substring(QStringLiteral("abc"), 1, -1);
        QFAIL("no error");
    } catch (const RunTimeError &error) {
        QCOMPARE(error.number(), static_cast<int>(RunTimeError::InvalidArgument));
    }
    QVERIFY_THROWS_EXCEPTION(RunTimeError, substring(QStringLiteral("abc"), 0, 1));
}

QTEST_GUILESS_MAIN(TestConversions)
#include "tst_conversions.moc"
