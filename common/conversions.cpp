// Copyright (C) 2026 the Pelmar developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "conversions.h"

#include "runtimeerror.h"

#include <QLocale>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstddef>
#include <limits>
#include <string>
#include <string_view>

namespace {

// Which way a number outside a double's range lies: its power of ten, near enough to tell
// +308 and beyond from -324 and below. decimal is digits [point digits] [e [sign] digits].
long long powerOfTen(std::string_view decimal)
{
    const std::size_t e = std::min(decimal.find('e'), decimal.size());
    const std::string_view mantissa = decimal.substr(0, e);
    const std::size_t point = std::min(mantissa.find('.'), mantissa.size());
    const std::size_t first = mantissa.find_first_not_of("0.");
    if (first == std::string_view::npos)
        return 0;
    const long long digit = first < point ? static_cast<long long>(point - first) - 1
                                          : -static_cast<long long>(first - point);
    if (e == decimal.size())
        return digit;
    std::string_view exponentText = decimal.substr(e + 1);
    const bool negative = exponentText.starts_with('-');
    if (negative || exponentText.starts_with('+'))
        exponentText.remove_prefix(1);
    // An exponent too long for a long long leaves this, which says which way as well.
    long long exponent = std::numeric_limits<int>::max();
    std::from_chars(exponentText.data(), exponentText.data() + exponentText.size(), exponent);
    return digit + (negative ? -exponent : exponent);
}

// Checked decimal text as a double, the same on every system and in every locale: rounded
// correctly, an infinity on overflow and 0 on underflow, each with the number's sign.
double parseDecimal(std::string_view decimal)
{
    const bool negative = decimal.starts_with('-');
    if (negative || decimal.starts_with('+'))
        decimal.remove_prefix(1);
    double value = 0;
    const auto [end, error]
        = std::from_chars(decimal.data(), decimal.data() + decimal.size(), value);
    if (error == std::errc::result_out_of_range)
        value = powerOfTen(decimal) > 0 ? std::numeric_limits<double>::infinity() : 0.0;
    return negative ? -value : value;
}

bool isDigit(QChar c)
{
    return c >= u'0' && c <= u'9';
}

// Turns text written in the current locale into C-locale decimal text, or "" if it is not a
// number of the form [sign] digits [point digits] [E [sign] digits].
std::string localeNumberToDecimal(const QString &text)
{
    const QString trimmed = text.trimmed();
    const QString point = QLocale().decimalPoint();
    std::string decimal;
    qsizetype i = 0;
    const auto take = [&](auto accepts) {
        qsizetype count = 0;
        while (i < trimmed.size() && accepts(trimmed.at(i))) {
            decimal += static_cast<char>(trimmed.at(i).unicode());
            ++i;
            ++count;
        }
        return count;
    };
    const auto isSign = [](QChar c) { return c == u'+' || c == u'-'; };
    if (i < trimmed.size() && isSign(trimmed.at(i)))
        decimal += static_cast<char>(trimmed.at(i++).unicode());
    qsizetype digits = take(isDigit);
    if (!point.isEmpty() && QStringView(trimmed).sliced(i).startsWith(point)) {
        decimal += '.';
        i += point.size();
        digits += take(isDigit);
    }
    if (digits == 0)
        return {};
    if (i < trimmed.size() && (trimmed.at(i) == u'E' || trimmed.at(i) == u'e')) {
        decimal += 'e';
        ++i;
        if (i < trimmed.size() && isSign(trimmed.at(i)))
            decimal += static_cast<char>(trimmed.at(i++).unicode());
        if (take(isDigit) == 0)
            return {};
    }
    return i == trimmed.size() ? decimal : std::string();
}

template<typename Integer> Integer roundToInteger(double value)
{
    constexpr double Lowest = std::numeric_limits<Integer>::min();
    constexpr double Highest = std::numeric_limits<Integer>::max();
    // nearbyint rounds in the default mode, to nearest with ties to even.
    const double rounded = std::nearbyint(value);
    if (!(rounded >= Lowest && rounded <= Highest)) {
        throw RunTimeError(
            RunTimeError::Overflow,
            QStringLiteral("Overflow: %1 does not fit between %2 and %3")
                .arg(numberToText(value), numberToText(Lowest), numberToText(Highest)));
    }
    return static_cast<Integer>(rounded);
}

template<typename Integer> Integer textToInteger(const QString &text)
{
    const std::string decimal = localeNumberToDecimal(text);
    if (decimal.empty()) {
        throw RunTimeError(RunTimeError::TypeMismatch,
                           QStringLiteral("Type mismatch: \"%1\" is not a number").arg(text));
    }
    return roundToInteger<Integer>(parseDecimal(decimal));
}

} // namespace

double Val(const QString &text)
{
    std::string decimal;
    bool mantissaDigits = false;
    bool point = false;
    bool exponent = false;
    bool exponentDigits = false;
    for (const QChar c : text) {
        if (c == u' ' || c == u'\t' || c == u'\n')
            continue;
        const bool sign = c == u'+' || c == u'-';
        if (sign && decimal.empty()) {
            decimal += static_cast<char>(c.unicode());
        } else if (isDigit(c)) {
            decimal += static_cast<char>(c.unicode());
            (exponent ? exponentDigits : mantissaDigits) = true;
        } else if (exponent) {
            if (!sign || exponentDigits || decimal.back() != 'e')
                break;
            decimal += static_cast<char>(c.unicode());
        } else if (c == u'.' && !point) {
            decimal += '.';
            point = true;
        } else if (mantissaDigits && (c == u'E' || c == u'e' || c == u'D' || c == u'd')) {
            decimal += 'e';
            exponent = true;
        } else {
            break;
        }
    }
    if (!mantissaDigits)
        return 0;
    if (exponent && !exponentDigits)
        decimal.erase(decimal.find('e'));
    return parseDecimal(decimal);
}

QString numberToText(double value)
{
    return numberToText(value, QLocale().decimalPoint());
}

QString numberToText(double value, const QString &point)
{
    if (value == 0)
        return QStringLiteral("0");
    if (std::isnan(value))
        return QStringLiteral("NaN");
    if (std::isinf(value))
        return value > 0 ? QStringLiteral("Infinity") : QStringLiteral("-Infinity");

    // 15 significant digits as d.dddddddddddddde±x, in the C locale whatever the process runs in.
    char scientific[32];
    const auto result = std::to_chars(scientific, scientific + sizeof scientific, value,
                                      std::chars_format::scientific, 14);
    const std::string_view text(scientific, result.ptr);
    const bool negative = text.front() == '-';
    const std::string_view mantissa = text.substr(negative, text.find('e') - negative);
    const int exponent = std::stoi(std::string(text.substr(text.find('e') + 1)));
    std::string digits;
    for (const char c : mantissa) {
        if (c != '.')
            digits += c;
    }
    digits.erase(digits.find_last_not_of('0') + 1);

    QString out = negative ? QStringLiteral("-") : QString();
    if (exponent >= 15 || exponent < -4) {
        out += QLatin1Char(digits[0]);
        if (digits.size() > 1)
            out += point + QString::fromLatin1(digits.substr(1));
        out += QStringLiteral("E%1%2")
                   .arg(QChar(exponent < 0 ? u'-' : u'+'))
                   .arg(std::abs(exponent), 2, 10, QLatin1Char('0'));
    } else if (exponent >= 0) {
        const std::size_t whole = static_cast<std::size_t>(exponent) + 1;
        if (digits.size() <= whole) {
            out += QString::fromLatin1(digits)
                + QString(static_cast<qsizetype>(whole - digits.size()), u'0');
        } else {
            out += QString::fromLatin1(digits.substr(0, whole)) + point
                + QString::fromLatin1(digits.substr(whole));
        }
    } else {
        out += QStringLiteral("0") + point + QString(-exponent - 1, u'0')
            + QString::fromLatin1(digits);
    }
    return out;
}

QString numberToText(std::int16_t value)
{
    return QString::number(value);
}

std::int16_t textToInteger16(const QString &text)
{
    return textToInteger<std::int16_t>(text);
}

std::int32_t textToInteger32(const QString &text)
{
    return textToInteger<std::int32_t>(text);
}

std::int16_t doubleToInteger16(double value)
{
    return roundToInteger<std::int16_t>(value);
}

QString substring(const QString &text, int position, double length)
{
    const double rounded = std::nearbyint(length);
    if (position < 1 || !(rounded >= 0)) {
        throw RunTimeError(RunTimeError::InvalidArgument,
                           QStringLiteral("Invalid procedure call or argument: a substring from "
                                          "position %1 of length %2")
                               .arg(position)
                               .arg(numberToText(length)));
    }
    if (position > text.size())
        return {};
    const qsizetype start = position - 1;
    if (rounded >= static_cast<double>(text.size() - start))
        return text.sliced(start);
    return text.sliced(start, static_cast<qsizetype>(rounded));
}
