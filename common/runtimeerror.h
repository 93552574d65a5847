// Copyright (C) 2026 the Pelmar developers
// SPDX-License-Identifier: GPL-3.0-or-later

#ifndef RUNTIMEERROR_H
#define RUNTIMEERROR_H

#include <QByteArray>
#include <QString>

#include <exception>

// A failure inside one action: it carries a number and a description, and the action that
// raised it ends there. The window reports it and runs on.
class RunTimeError : public std::exception
{
public:
    enum Number {
        InvalidArgument = 5,
        Overflow = 6,
        TypeMismatch = 13,
        InvalidPropertyValue = 380,
        PortInvalid = 8002,
        PortAlreadyOpen = 8005,
        PortNoPermission = 8010,
        PortNotOpen = 8012,
        PortGone = 8020,
    };

    RunTimeError(int number, const QString &description)
        : m_number(number), m_description(description), m_what(message().toUtf8())
    {
    }

    int number() const { return m_number; }
    QString description() const { return m_description; }
    // The text the user sees: the number and the description on one line.
    QString message() const
    {
        return QStringLiteral("Run-time error '%1': %2").arg(m_number).arg(m_description);
    }
    const char *what() const noexcept override { return m_what.constData(); }

private:
    int m_number;
    QString m_description;
    QByteArray m_what;
};

#endif // RUNTIMEERROR_H
