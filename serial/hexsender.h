// Copyright (C) 2026 the Pelmar developers
// SPDX-License-Identifier: GPL-3.0-or-later

#ifndef HEXSENDER_H
#define HEXSENDER_H

#include "result.h"

#include <QString>
#include <QStringList>

// The longest hex text that is sent: its length is a signed 16-bit count.
inline constexpr qsizetype MaxHexTextLength = 32767;

// A two-character hex pair read as a number.
struct HexPair
{
    QString decimal; // the pair's value, 0 to 255, as decimal text
    QStringList messages; // one for each character that is not a hex digit, in order
};

// The value of a two-character hex pair, high digit first; a character that is not a hex digit
// counts as 0. A piece of any other length fails, with the message that says so.
Result<HexPair> HexToDec(const QString &pair);

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
