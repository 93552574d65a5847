// Copyright (C) 2026 the Pelmar developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "lineserver_win.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QtEndian>

#include <ws2tcpip.h>

namespace {

constexpr qsizetype HeaderSize = 5;

[[noreturn]] void connectionFailed(const char *what)
{
    qFatal("the line server's connection failed while %s (Winsock error %d)", what,
           WSAGetLastError());
}

} // namespace

bool LineServerConnection::present()
{
    return qEnvironmentVariableIsSet("PELMAR_LINE_SERVER");
}

LineServerConnection::LineServerConnection()
{
    const QByteArray address = qgetenv("PELMAR_LINE_SERVER");
    const qsizetype colon = address.lastIndexOf(':');
    if (colon < 0)
        qFatal("PELMAR_LINE_SERVER is not HOST:PORT of the tests' line server (it is set by "
               "tests/wine/test-windows, which starts that server beside Wine)");
    WSADATA winsock;
    if (WSAStartup(MAKEWORD(2, 2), &winsock) != 0)
        qFatal("Winsock does not start");
    addrinfo hints {};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo *found = nullptr;
    if (getaddrinfo(address.left(colon).constData(), address.mid(colon + 1).constData(), &hints,
                    &found)
        != 0)
        qFatal("PELMAR_LINE_SERVER names no address: %s", address.constData());
    m_connection = socket(found->ai_family, found->ai_socktype, found->ai_protocol);
    const bool connected = m_connection != INVALID_SOCKET
        && ::connect(m_connection, found->ai_addr, static_cast<int>(found->ai_addrlen)) == 0;
    freeaddrinfo(found);
    if (!connected)
        connectionFailed("connecting");
    const BOOL noDelay = TRUE;
    setsockopt(m_connection, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char *>(&noDelay),
               sizeof noDelay);
}

LineServerConnection::~LineServerConnection()
{
    closesocket(m_connection);
    WSACleanup();
}

void LineServerConnection::send(char type, const QByteArray &payload)
{
    QByteArray message(HeaderSize, Qt::Uninitialized);
    message[0] = type;
    qToBigEndian(static_cast<quint32>(payload.size()), message.data() + 1);
    message += payload;
    qsizetype done = 0;
    while (done < message.size()) {
        const int n = ::send(m_connection, message.constData() + done,
                             static_cast<int>(message.size() - done), 0);
        if (n == SOCKET_ERROR)
            connectionFailed("sending");
        done += n;
    }
}

bool LineServerConnection::receive(int waitMs)
{
    if (!waitForMessage(waitMs))
        return false;
    if (const auto unasked = nextMessage())
        qFatal("the line server said what was not asked (%c)", unasked->first);
    return true;
}

bool LineServerConnection::waitForMessage(int waitMs)
{
    fd_set readable;
    FD_ZERO(&readable);
    FD_SET(m_connection, &readable);
    timeval wait {waitMs / 1000, (waitMs % 1000) * 1000};
    if (select(0, &readable, nullptr, nullptr, &wait) != 1)
        return false;
    char buffer[65536];
    const int n = recv(m_connection, buffer, sizeof buffer, 0);
    if (n <= 0)
        connectionFailed("receiving");
    m_received.append(buffer, n);
    return true;
}

// The next whole message other than what Pelmar sent, which is kept in sent meanwhile.
std::optional<std::pair<char, QByteArray>> LineServerConnection::nextMessage()
{
    while (m_received.size() >= HeaderSize) {
        const auto length
            = static_cast<qsizetype>(qFromBigEndian<quint32>(m_received.constData() + 1));
        if (m_received.size() < HeaderSize + length)
            return std::nullopt;
        const char type = m_received.at(0);
        const QByteArray payload = m_received.mid(HeaderSize, length);
        m_received.remove(0, HeaderSize + length);
        if (type != 'd')
            return std::pair {type, payload};
        sent += payload;
    }
    return std::nullopt;
}

std::pair<char, QByteArray> LineServerConnection::exchange(char type, const QByteArray &payload,
                                                           bool eventsRun)
{
    send(type, payload);
    for (;;) {
        if (const auto answer = nextMessage())
            return *answer;
        if (eventsRun)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
        waitForMessage(eventsRun ? 1 : 1000);
    }
}

QByteArray LineServerConnection::ask(char type, const QByteArray &payload, bool eventsRun)
{
    const auto [answer, text] = exchange(type, payload, eventsRun);
    if (answer == 'e')
        qFatal("the line server refused: %s", text.constData());
    return text;
}
