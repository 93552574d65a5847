// Copyright (C) 2026 the Pelmar developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "pseudoterminal.h"

#include "lineserver_win.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QString>
#include <QTest>

namespace {

constexpr int CompletionMilliseconds = 50;

} // namespace

struct PseudoTerminal::Line
{
    LineServerConnection server;
    QString name;
};

// Every line on Windows has a COM name that lasts: one of the pool's when none is asked for.
PseudoTerminal::PseudoTerminal(Naming) : PseudoTerminal(QString()) { }

PseudoTerminal::PseudoTerminal(const QString &name) : m_line(std::make_unique<Line>())
{
    m_line->name = QString::fromLatin1(m_line->server.ask('o', name.toLatin1()));
}

// The line server hangs the line up and frees its name when the connection ends.
PseudoTerminal::~PseudoTerminal() = default;

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
    m_line->server.ask('w', bytes, true);
}

bool PseudoTerminal::allRead() const
{
    if (m_line->server.ask('a') != "1")
        return false;
    // Wine has read the bytes off the line, but Qt learns of the read's end through a completion
    // port, a moment later in the event loop: the port holds them once that has run.
    QTest::qWait(CompletionMilliseconds);
    return true;
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
        while (m_line->server.receive(2)) { }
        if (m_line->server.sent.size() > before) {
            before = m_line->server.sent.size();
            quiet.restart();
        }
    }
    QByteArray sent;
    sent.swap(m_line->server.sent);
    return sent;
}

void PseudoTerminal::hangUp()
{
    m_line->server.ask('h');
}

void PseudoTerminal::plugIn()
{
    m_line->server.ask('p');
}

std::optional<int> PseudoTerminal::modemLines() const
{
    const QByteArray lines = m_line->server.ask('m');
    bool number = false;
    const int value = lines.toInt(&number);
    return number ? std::optional(value) : std::nullopt;
}
