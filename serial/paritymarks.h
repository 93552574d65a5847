#ifndef PARITYMARKS_H
#define PARITYMARKS_H

#include <QByteArray>
#include <QByteArrayView>

// Decodes what the terminal driver delivers with parity marking on. A byte received with a parity
// error arrives as 0xFF 0x00 X and becomes '?', the character the port puts in its place; a real
// 0xFF arrives doubled. A break arrives as 0xFF 0x00 0x00, which cannot be told from a bad NUL,
// so it becomes '?' too. The decoder keeps its state between reads, so a marker split across two
// reads is decoded whole.
class ParityMarkDecoder
{
public:
    static constexpr char Replacement = '?';

    // Appends to marked, when given, one byte a character returned: 1 where it stands for a
    // byte received with a parity error or a break, 0 elsewhere.
    QByteArray decode(QByteArrayView raw, QByteArray *marked = nullptr);

private:
    int m_markerBytesSeen = 0;
};

#endif // PARITYMARKS_H
