// Copyright (C) 2026 the Pelmar developers
// SPDX-License-Identifier: GPL-3.0-or-later

// textToInteger16/32 either give a number or throw RunTimeError (type mismatch or overflow), in
// the C locale and in a comma locale, and agree with each other where both ranges hold the value.

#include "conversions.h"
#include "fuzzinput.h"
#include "runtimeerror.h"

#include <QLocale>

#include <optional>

namespace {

struct Outcome
{
    std::optional<qint64> value;
    int error = 0;
};

template<typename Convert> Outcome convert(Convert convertText, const QString &text)
{
    try {
        return {convertText(text), 0};
    } catch (const RunTimeError &error) {
        require(error.number() == RunTimeError::Overflow
                    || error.number() == RunTimeError::TypeMismatch,
                "only overflow or type mismatch is raised", text);
        return {std::nullopt, error.number()};
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    static const QLocale locales[] = {QLocale::c(), QLocale(QLocale::German, QLocale::Germany)};
    for (const QString &text : textsFrom(data, size)) {
        for (const QLocale &locale : locales) {
            QLocale::setDefault(locale);
            const Outcome small = convert(textToInteger16, text);
            const Outcome large = convert(textToInteger32, text);
            require((small.error == RunTimeError::TypeMismatch)
                        == (large.error == RunTimeError::TypeMismatch),
                    "both widths agree on what is a number", text);
            if (small.value)
                require(large.value == small.value, "a 16-bit value is the same in 32 bits", text);
            if (large.value && *large.value >= -32768 && *large.value <= 32767)
                require(small.value == large.value, "a value within 16 bits converts to 16 bits",
                        text);
            if (large.value) {
                const QString written = numberToText(double(*large.value));
                require(convert(textToInteger32, written).value == large.value,
                        "the text of a converted value converts back to it", text);
            }
        }
    }
    QLocale::setDefault(QLocale::c());
    return 0;
}
