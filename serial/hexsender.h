#ifndef HEXSENDER_H
#define HEXSENDER_H

#include <QString>
#include <QStringList>

class CommControl;

// The longest hex text that is sent: its length is a signed 16-bit count.
inline constexpr qsizetype MaxHexTextLength = 32767;

// The decimal text of the value of a two-character hex pair, high digit first; "" for a piece of
// any other length. A character that is not a hex digit counts as 0. What the user must be told
// about the pair is appended to messages, in the order it is to be shown.
QString HexToDec(const QString &pair, QStringList &messages);

struct HexText
{
    QString outgoing; // one character per pair, its Latin-1 code the pair's value
    QStringList messages;
    bool complete = true; // false when the text ends in a piece of one character
};

// Reads text in pieces of two characters from its start, as SendHex does.
HexText decodeHexText(const QString &text);

// Shows the messages about text, then sends its bytes to the port in one transmission. A text
// that ends in a single character, or is longer than MaxHexTextLength, sends nothing, and the
// user is told so.
void SendHex(CommControl &Comm1, const QString &text);

#endif // HEXSENDER_H
