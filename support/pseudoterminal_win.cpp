#include "pseudoterminal.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QString>
#include <QtEndian>

#include <utility>

#include <winsock2.h>
#include <ws2tcpip.h>

namespace {

// Each message either way: a type byte, then the payload's length as 4 bytes, big-endian.
constexpr qsizetype HeaderSize = 5;

[[noreturn]] void connectionFailed(const char *what)
{
    qFatal("the line server's connection failed while %s (Winsock error %d)", what,
           WSAGetLastError());
}

} // namespace

struct PseudoTerminal::Line
{
    SOCKET connection = INVALID_SOCKET;
    QString name;
    QByteArray received; // from the line server, not yet a whole message
    QByteArray sent; // what Pelmar sent, taken from the messages while waiting for an answer

    void connectToServer()
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
        connection = socket(found->ai_family, found->ai_socktype, found->ai_protocol);
        const bool connected = connection != INVALID_SOCKET
            && ::connect(connection, found->ai_addr, static_cast<int>(found->ai_addrlen)) == 0;
        freeaddrinfo(found);
        if (!connected)
            connectionFailed("connecting");
        const BOOL noDelay = TRUE;
        setsockopt(connection, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char *>(&noDelay),
                   sizeof noDelay);
    }

    void send(char type, const QByteArray &payload = {})
    {
        QByteArray message(HeaderSize, Qt::Uninitialized);
        message[0] = type;
        qToBigEndian(static_cast<quint32>(payload.size()), message.data() + 1);
        message += payload;
        qsizetype done = 0;
        while (done < message.size()) {
            const int n = ::send(connection, message.constData() + done,
                                 static_cast<int>(message.size() - done), 0);
            if (n == SOCKET_ERROR)
                connectionFailed("sending");
            done += n;
        }
    }

    // Takes what has come, waiting up to waitMs for something; false when nothing came.
    bool receive(int waitMs)
    {
        fd_set readable;
        FD_ZERO(&readable);
        FD_SET(connection, &readable);
        timeval wait {waitMs / 1000, (waitMs % 1000) * 1000};
        if (select(0, &readable, nullptr, nullptr, &wait) != 1)
            return false;
        char buffer[65536];
        const int n = recv(connection, buffer, sizeof buffer, 0);
        if (n <= 0)
            connectionFailed("receiving");
        received.append(buffer, n);
        return true;
    }

    // The next whole message other than what Pelmar sent, which is kept in sent meanwhile.
    std::optional<std::pair<char, QByteArray>> nextMessage()
    {
        while (received.size() >= HeaderSize) {
            const auto length
                = static_cast<qsizetype>(qFromBigEndian<quint32>(received.constData() + 1));
            if (received.size() < HeaderSize + length)
                return std::nullopt;
            const char type = received.at(0);
            const QByteArray payload = received.mid(HeaderSize, length);
            received.remove(0, HeaderSize + length);
            if (type != 'd')
                return std::pair {type, payload};
            sent += payload;
        }
        return std::nullopt;
    }

    // The line server's answer to a message; while Pelmar must run for it to come (as for a
    // write, answered once the line has taken the bytes), the event loop keeps running.
    QByteArray ask(char type, const QByteArray &payload = {}, bool eventsRun = false)
    {
        send(type, payload);
        for (;;) {
            if (const auto answer = nextMessage()) {
                if (answer->first == 'e')
                    qFatal("the line server refused: %s", answer->second.constData());
                return answer->second;
            }
            if (eventsRun)
                QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
            receive(eventsRun ? 1 : 1000);
        }
    }

    void open(const QString &wanted)
    {
        connectToServer();
        name = QString::fromLatin1(ask('o', wanted.toLatin1()));
    }
};

PseudoTerminal::PseudoTerminal(Naming) : m_line(std::make_unique<Line>())
{
    m_line->open({});
}

PseudoTerminal::PseudoTerminal(const QString &name) : m_line(std::make_unique<Line>())
{
    m_line->open(name);
}

PseudoTerminal::~PseudoTerminal()
{
    closesocket(m_line->connection);
}

QString PseudoTerminal::devicePath() const
{
    return m_line->name;
}

QString PseudoTerminal::name() const
{
    return m_line->name;
}

void PseudoTerminal::write(const QByteArray &bytes)
{
    m_line->ask('w', bytes, true);
}

bool PseudoTerminal::allRead() const
{
    return m_line->ask('a') == "1";
}

QByteArray PseudoTerminal::readSent(int quietMs, int totalMs)
{
    QElapsedTimer total;
    QElapsedTimer quiet;
    total.start();
    quiet.start();
    qsizetype before = 0;
    while (quiet.elapsed() < quietMs && total.elapsed() < totalMs) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        while (m_line->receive(2))
            m_line->nextMessage();
        if (m_line->sent.size() > before) {
            before = m_line->sent.size();
            quiet.restart();
        }
    }
    QByteArray sent;
    sent.swap(m_line->sent);
    return sent;
}

void PseudoTerminal::hangUp()
{
    m_line->ask('h');
}

void PseudoTerminal::plugIn()
{
    m_line->ask('p');
}

std::optional<int> PseudoTerminal::modemLines() const
{
    const QByteArray lines = m_line->ask('m');
    bool number = false;
    const int value = lines.toInt(&number);
    return number ? std::optional(value) : std::nullopt;
}
