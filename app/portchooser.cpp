// Copyright (C) 2026 the Pelmar developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "portchooser.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QStringList>
#include <QVBoxLayout>

namespace {

// Often enough to show an adapter soon after it is plugged in; the list of ports is cheap to
// read, and nothing tells Qt when it changes.
constexpr int RefreshMilliseconds = 1000;

} // namespace

PortChooser::PortChooser(const QString &failedPort, const QString &reason, QWidget *parent)
    : QDialog(parent),
      m_failedPort(failedPort),
      m_reason(reason),
      m_heading(new QLabel(this)),
      m_ports(new QListWidget(this)),
      m_typed(new QLineEdit(this)),
      m_remember(new QCheckBox(QStringLiteral("Remember this port"), this))
{
    setWindowTitle(QStringLiteral("Pelmar: the scanner's port"));
    m_heading->setWordWrap(true);
    m_ports->setWordWrap(true);
    m_ports->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    // Not every device is a serial port Qt can find: a simulator's pseudo-terminal, a link.
    m_typed->setPlaceholderText(
        QStringLiteral("or type the device, e.g. %1").arg(examplePortName()));
    m_remember->setChecked(true);
    auto *buttons = new QDialogButtonBox(this);
    m_open = buttons->addButton(QStringLiteral("Open"), QDialogButtonBox::AcceptRole);
    buttons->addButton(QStringLiteral("Quit"), QDialogButtonBox::RejectRole);
    m_open->setEnabled(false);

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(m_heading);
    layout->addWidget(m_ports);
    layout->addWidget(m_typed);
    layout->addWidget(m_remember);
    layout->addWidget(buttons);
    resize(560, 300);

    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    const auto enableOpen = [this] { m_open->setEnabled(!port().isEmpty()); };
    connect(m_ports, &QListWidget::itemSelectionChanged, this, [this, enableOpen] {
        if (!m_ports->selectedItems().isEmpty())
            m_typed->clear();
        enableOpen();
    });
    connect(m_typed, &QLineEdit::textEdited, this, [this, enableOpen] {
        m_ports->clearSelection();
        enableOpen();
    });
    connect(m_ports, &QListWidget::itemActivated, this, [this](QListWidgetItem *item) {
        if (item->flags() & Qt::ItemIsEnabled)
            accept();
    });
    connect(&m_refresh, &QTimer::timeout, this, &PortChooser::refresh);
    m_refresh.start(RefreshMilliseconds);
    refresh();
}

QString PortChooser::port() const
{
    if (const QString typed = m_typed->text().trimmed(); !typed.isEmpty())
        return typed;
    const QList<QListWidgetItem *> selected = m_ports->selectedItems();
    return selected.isEmpty() ? QString() : selected.constFirst()->data(Qt::UserRole).toString();
}

bool PortChooser::remember() const
{
    return m_remember->isChecked();
}

void PortChooser::refresh()
{
    const QList<SerialPortEntry> found = availableSerialPorts();
    const bool failedPortThere = deviceIsPresent(m_failedPort);
    if (m_listed && found == m_shown && failedPortThere == m_failedPortThere)
        return;
    m_listed = true;
    m_shown = found;
    m_failedPortThere = failedPortThere;
    const QList<QListWidgetItem *> selection = m_ports->selectedItems();
    const QString selected
        = selection.isEmpty() ? QString() : selection.constFirst()->data(Qt::UserRole).toString();
    m_ports->clear();
    bool failedListed = false;
    for (const SerialPortEntry &entry : found) {
        auto *item = new QListWidgetItem(rowText(entry), m_ports);
        item->setData(Qt::UserRole, entry.name());
        item->setSelected(entry.name() == selected);
        failedListed |= isFailedPort(entry);
    }
    // A remembered adapter that is unplugged, or a device Qt does not list, must still show why
    // it was not opened; it can be chosen again once it is there.
    if (!m_failedPort.isEmpty() && !failedListed) {
        auto *item = new QListWidgetItem(m_failedPort + QStringLiteral("\n    ") + m_reason);
        item->setData(Qt::UserRole, m_failedPort);
        if (!failedPortThere)
            item->setFlags(Qt::NoItemFlags);
        m_ports->insertItem(0, item);
        item->setSelected(m_failedPort == selected && failedPortThere);
    }
    m_heading->setText(found.isEmpty()
                           ? QStringLiteral("No serial port found. Plug in the scanner (its USB "
                                            "adapter): it shows here by itself.")
                           : QStringLiteral("Choose the serial port of the barcode scanner."));
}

bool PortChooser::isFailedPort(const SerialPortEntry &port) const
{
    return port.name() == m_failedPort || port.devicePath == m_failedPort;
}

QString PortChooser::rowText(const SerialPortEntry &port) const
{
    QStringList details;
    for (const QString &detail : {port.description, port.serialNumber}) {
        if (!detail.isEmpty())
            details << detail;
    }
    if (!port.byIdPath.isEmpty())
        details << port.devicePath;
    if (isFailedPort(port))
        details << m_reason;
    QString text = port.name();
    if (!details.isEmpty())
        text += QStringLiteral("\n    ") + details.join(QStringLiteral("\n    "));
    return text;
}
