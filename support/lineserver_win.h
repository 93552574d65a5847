// Copyright (C) 2026 the Pelmar developers
// SPDX-License-Identifier: GPL-3.0-or-later

#ifndef LINESERVER_WIN_H
#define LINESERVER_WIN_H

#include <QByteArray>

#include <optional>
#include <utility>

#include <winsock2.h>

// A connection to the tests' line server beside Wine (tests/wine/lineserver), at the address in
// PELMAR_LINE_SERVER, which test-windows sets. Each message either way is a type byte, the
// payload's length as 4 bytes big-endian, and the payload; what Pelmar sent on the connection's
// line comes unasked (type d) and is kept in sent.
class LineServerConnection
{
public:
    // Whether the tests run beside a line server.
    static bool present();

    LineServerConnection();
    ~LineServerConnection();
    LineServerConnection(const LineServerConnection &) = delete;
    LineServerConnection &operator=(const LineServerConnection &) = delete;

    void send(char type, const QByteArray &payload = {});
    // The answer to a message: its type (r, or e for a refusal) and payload. While Pelmar must
    // run for it to come (as for a write, answered once the line has taken the bytes), the event
    // loop keeps running.
    std::pair<char, QByteArray> exchange(char type, const QByteArray &payload = {},
                                         bool eventsRun = false);
    // As exchange, for an answer that cannot be a refusal but where the tests' equipment fails.
    QByteArray ask(char type, const QByteArray &payload = {}, bool eventsRun = false);
    // Takes what Pelmar sent into sent, waiting up to waitMs for something; false when nothing
    // came.
    bool receive(int waitMs);

    QByteArray sent; // what Pelmar sent, not yet taken

private:
    bool waitForMessage(int waitMs);
    std::optional<std::pair<char, QByteArray>> nextMessage();

    SOCKET m_connection = INVALID_SOCKET;
    QByteArray m_received; // not yet a whole message
};

#endif // LINESERVER_WIN_H
