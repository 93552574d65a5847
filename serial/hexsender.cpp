// Copyright (C) 2026 the Pelmar developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "hexsender.h"

#include "conversions.h"

#include <QChar>

#include <cstdint>

namespace {

// The digit's value, or 0 with a message for a character that is not a hex digit.
std::int16_t hexDigit(QChar c, QStringList &messages)
{
    if (c >= u'0' && c <= u'9')
        return c.unicode() - u'0';
    if (c >= u'a' && c <= u'f')
        return c.unicode() - 87;
    if (c >= u'A' && c <= u'F')
        return c.unicode() - 55;
    messages << QStringLiteral("Not a Hex number! ") + c;
    return 0;
}

} // namespace

Result<HexPair> HexToDec(const QString &pair)
{
    if (pair.size() != 2)
        return Result<HexPair>::failure(QStringLiteral("You must have entered 2 digits!"));
    HexPair value;
    const std::int16_t high = hexDigit(pair.at(0), value.messages);
    const std::int16_t low = hexDigit(pair.at(1), value.messages);
    value.decimal = numberToText(static_cast<std::int16_t>(high * 16 + low));
    return Result<HexPair>(value);
}

HexText decodeHexText(const QString &text)
{
    HexText hex;
    if (text.size() > MaxHexTextLength) {
        hex.send = false;
        hex.messages << QStringLiteral("The text to send has %1 characters; at most %2 can be "
                                       "sent. Nothing was sent to the scanner.")
                            .arg(text.size())
                            .arg(MaxHexTextLength);
        return hex;
    }
    hex.outgoing.reserve(text.size() / 2);
    for (qsizetype i = 0; i < text.size(); i += 2) {
        const Result<HexPair> pair = HexToDec(text.mid(i, 2));
        if (!pair) {
            hex.send = false;
            hex.outgoing.clear();
            hex.messages << pair.error()
                         << QStringLiteral("The text to send has an odd number of characters, "
                                           "%1. Nothing was sent to the scanner.")
                                .arg(text.size());
            break;
        }
        hex.messages << pair->messages;
        hex.outgoing += QChar(textToInteger32(pair->decimal));
    }
    return hex;
}
