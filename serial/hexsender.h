#ifndef HEXSENDER_H
#define HEXSENDER_H

#include <QString>
#include <QStringList>

// The longest hex text that is sent: its length is a signed 16-bit count.
inline constexpr qsizetype MaxHexTextLength = 32767;

// The decimal text of the value of a two-character hex pair, high digit first; "" for a piece of
// any other length. A character that is not a hex digit counts as 0. What the user must be told
// about the pair is appended to messages, in the order it is to be shown.
QString HexToDec(const QString &pair, QStringList &messages);

// What sending a hex text comes to: the messages to show, in order, and then the bytes to send
// in one transmission, unless send is false.
struct HexText
{
    QStringList messages;
    QString outgoing; // one character per pair, its Latin-1 code the pair's value
    bool send = true; // false for a text ending in a single character or beyond MaxHexTextLength
};

// Reads text in pieces of two characters from its start. A text that cannot be sent whole sends
// nothing at all, and its last message says so.
HexText decodeHexText(const QString &text);

#endif // HEXSENDER_H
