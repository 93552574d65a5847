// Copyright (C) 2026 the Pelmar developers
// SPDX-License-Identifier: GPL-3.0-or-later

// Val reads any text to a number without failing, ignores blanks wherever they stand, stops at
// the first character that does not fit and takes the period as the decimal point in every locale.

#include "conversions.h"
#include "fuzzinput.h"

#include <QLocale>

#include <cmath>

namespace {

bool same(double a, double b)
{
    return a == b || (std::isnan(a) && std::isnan(b));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    static const QLocale comma(QLocale::German, QLocale::Germany);
    for (const QString &text : textsFrom(data, size)) {
        QLocale::setDefault(QLocale::c());
        const double value = Val(text);
        require(!std::isnan(value), "Val never gives NaN", text);

        QString withoutBlanks = text;
        withoutBlanks.remove(u' ').remove(u'\t').remove(u'\n');
        require(same(Val(withoutBlanks), value), "blanks, tabs and line feeds are ignored", text);
        require(same(Val(text + u'Z'), value), "a character that does not fit ends the number",
                text);

        QLocale::setDefault(comma);
        require(same(Val(text), value), "the period is the decimal point in a comma locale", text);
    }
    QLocale::setDefault(QLocale::c());
    return 0;
}
