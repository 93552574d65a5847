// Copyright (C) 2026 the Pelmar developers
// SPDX-License-Identifier: GPL-3.0-or-later

// decodeHexText turns any text into one character below 256 per pair, or into nothing when the
// text ends in a single character, and tells the user only the two fixed kinds of message and,
// last, that nothing was sent.

#include "fuzzinput.h"
#include "hexsender.h"

namespace {

const QString NotHex = QStringLiteral("Not a Hex number! ");
const QString TwoDigits = QStringLiteral("You must have entered 2 digits!");

int digitValue(QChar c)
{
    if (c >= u'0' && c <= u'9')
        return c.unicode() - u'0';
    if (c >= u'a' && c <= u'f')
        return c.unicode() - u'a' + 10;
    if (c >= u'A' && c <= u'F')
        return c.unicode() - u'A' + 10;
    return -1;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    for (const QString &text : textsFrom(data, size)) {
        const HexText hex = decodeHexText(text);
        if (text.size() > MaxHexTextLength) {
            require(!hex.send && hex.outgoing.isEmpty() && hex.messages.size() == 1,
                    "a text beyond the limit sends nothing, with one message", text);
            continue;
        }
        const qsizetype pairs = text.size() / 2;
        const bool odd = text.size() % 2 != 0;
        require(hex.send == !odd, "nothing to send exactly for a text of odd length", text);
        require(hex.outgoing.size() == (odd ? 0 : pairs), "one character per pair, none if odd",
                text);

        QStringList expected;
        for (qsizetype i = 0; i < 2 * pairs; i += 2) {
            const int high = digitValue(text.at(i));
            const int low = digitValue(text.at(i + 1));
            for (const QChar c : {text.at(i), text.at(i + 1)}) {
                if (digitValue(c) < 0)
                    expected << NotHex + c;
            }
            if (!odd) {
                const char16_t sent = hex.outgoing.at(i / 2).unicode();
                require(sent < 256, "every character is below 256", text);
                require(sent == std::max(high, 0) * 16 + std::max(low, 0),
                        "a pair is its value, a non-hex digit counting as 0", text);
            }
        }
        if (odd)
            expected << TwoDigits;
        const QStringList told = odd ? hex.messages.first(hex.messages.size() - 1) : hex.messages;
        require(!odd || hex.messages.last().contains(QStringLiteral("Nothing was sent")),
                "a text of odd length ends by saying nothing was sent", text);
        require(told == expected,
                "one message per non-hex character of a pair, then one for a lone last character",
                text);
    }
    return 0;
}
