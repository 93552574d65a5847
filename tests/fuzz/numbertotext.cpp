// Copyright (C) 2026 the Pelmar developers
// SPDX-License-Identifier: GPL-3.0-or-later

// numberToText of any finite double, in the C locale and in a comma locale, has at most 15
// significant digits and the locale's decimal separator, and reads back to within 15 digits.

#include "conversions.h"
#include "fuzzinput.h"

#include <QLocale>
#include <QRegularExpression>

#include <cmath>
#include <limits>
#include <locale.h>

namespace {

// Rounding the mantissa m (1 <= m < 10) to 14 places after the point moves it by at most
// 0.5e-14, so by at most 5e-15 of the value. Reading the text back into a long double adds at
// most 2^-64 of it (a double's subnormals are normal there), and the long double arithmetic
// of the check another couple of units of 2^-64.
constexpr long double RelativeBound = 5e-15L + 0x1p-62L;

long double readBack(const QString &text, const QString &point)
{
    static const locale_t cLocale = newlocale(LC_ALL_MASK, "C", locale_t(nullptr));
    const QByteArray decimal = QString(text).replace(point, QStringLiteral(".")).toLatin1();
    char *end = nullptr;
    const long double value = strtold_l(decimal.constData(), &end, cLocale);
    require(end == decimal.constData() + decimal.size(), "the whole text is a number", text);
    return value;
}

void check(double value, const QString &point)
{
    const QString text = numberToText(value);
    const QString shown = QStringLiteral("%1 (%2)").arg(text).arg(value, 0, 'g', 17);

    static const QRegularExpression form(QStringLiteral(
        R"(^-?(?<whole>\d+)(?:(?<point>\D)(?<fraction>\d*[1-9]))?(?:E[+-]\d\d\d?)?$)"));
    const QRegularExpressionMatch match = form.match(text);
    require(match.hasMatch(), "sign, digits, a fraction without trailing zeros, exponent", shown);
    require(match.captured(u"point").isEmpty() || match.captured(u"point") == point,
            "the locale's decimal separator", shown);
    QString digits = match.captured(u"whole") + match.captured(u"fraction");
    while (digits.startsWith(u'0'))
        digits.remove(0, 1);
    require(digits.size() <= 15, "at most 15 significant digits", shown);

    const long double back = readBack(text, point);
    const long double difference = std::fabs(back - value);
    require(difference <= RelativeBound * std::fabs(static_cast<long double>(value)),
            "reads back to within 15 significant digits", shown);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    if (size < sizeof(double))
        return 0;
    double value = 0;
    std::memcpy(&value, data, sizeof value);
    if (!std::isfinite(value))
        return 0;
    static const QLocale comma(QLocale::German, QLocale::Germany);
    check(value, QStringLiteral("."));
    QLocale::setDefault(comma);
    check(value, QStringLiteral(","));
    QLocale::setDefault(QLocale::c());
    return 0;
}
