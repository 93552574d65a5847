// decodeHexText turns any text into one character below 256 per pair, or into nothing when the
// text ends in a single character, and tells the user only the two fixed kinds of message.

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
        const qsizetype pairs = text.size() / 2;
        const bool odd = text.size() % 2 != 0;
        require(hex.complete == !odd, "incomplete exactly for a text of odd length", text);
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
        require(hex.messages == expected,
                "one message per non-hex character of a pair, then one for a lone last character",
                text);
    }
    return 0;
}
