// Copyright (C) 2026 the Pelmar developers
// SPDX-License-Identifier: GPL-3.0-or-later

#ifndef PORTCHOOSER_H
#define PORTCHOOSER_H

#include "serialports.h"

#include <QDialog>
#include <QList>
#include <QString>
#include <QTimer>

class QCheckBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;

// Asks the user for the scanner's port before the main window opens. It lists the ports found
// and follows adapters plugged in or out; a port that could not be opened shows why beside it.
class PortChooser : public QDialog
{
    Q_OBJECT

public:
    explicit PortChooser(const QString &failedPort = {}, const QString &reason = {},
                         QWidget *parent = nullptr);

    // The name of the port chosen, its by-id link where it has one, or the device typed.
    QString port() const;
    bool remember() const;

private:
    void refresh();
    bool isFailedPort(const SerialPortEntry &port) const;
    QString rowText(const SerialPortEntry &port) const;

    QString m_failedPort;
    QString m_reason;
    QList<SerialPortEntry> m_shown;
    bool m_listed = false;
    bool m_failedPortThere = false;
    QLabel *m_heading;
    QListWidget *m_ports;
    QLineEdit *m_typed;
    QCheckBox *m_remember;
    QPushButton *m_open;
    QTimer m_refresh;
};

#endif // PORTCHOOSER_H
