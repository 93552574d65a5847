// Copyright (C) 2026 the Pelmar developers
// SPDX-License-Identifier: GPL-3.0-or-later

#ifndef CONVERSIONS_H
#define CONVERSIONS_H

#include <QString>

#include <cstdint>

// The value conversions every action relies on. The ones that can fail throw RunTimeError
// (Overflow, TypeMismatch, InvalidArgument).

// Reads the leading number of text: blanks, tabs and line feeds are skipped wherever they stand,
// the period is the decimal point in every locale, E or D starts the exponent, and reading stops
// at the first character that does not fit. Text with no number gives 0; a number beyond the
// range of a double gives an infinity.
double Val(const QString &text);

// At most 15 significant digits, no trailing zeros, the locale's decimal separator. Exponent form
// ("1E+15", "1.5E-05") from 10^15 up and below 10^-4, after rounding to 15 digits.
QString numberToText(double value);
// The same with the given decimal separator, for text that must read alike in every locale.
QString numberToText(double value, const QString &decimalPoint);
QString numberToText(std::int16_t value);

// Reads text in the form numberToText gives (the locale's decimal separator, optional exponent,
// blanks around it) and rounds it to the nearest integer, ties to even. TypeMismatch for text
// that is not a number, Overflow outside the integer's range.
std::int16_t textToInteger16(const QString &text);
std::int32_t textToInteger32(const QString &text);

// Rounded to the nearest integer, ties to even; Overflow outside -32768..32767.
std::int16_t doubleToInteger16(double value);

// Characters of text from position (counting from 1) for length characters. The length is
// rounded to the nearest integer, ties to even; past the end takes the rest; a position past the
// end gives empty text. InvalidArgument for a position below 1 or a negative length.
QString substring(const QString &text, int position, double length);

#endif // CONVERSIONS_H
