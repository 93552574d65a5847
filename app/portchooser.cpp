#include "portchooser.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
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
      m_remember(new QCheckBox(QStringLiteral("Remember this port"), this))
{
    setWindowTitle(QStringLiteral("Pelmar: the scanner's port"));
    m_heading->setWordWrap(true);
    m_remember->setChecked(true);
    auto *buttons = new QDialogButtonBox(this);
    m_open = buttons->addButton(QStringLiteral("Open"), QDialogButtonBox::AcceptRole);
    buttons->addButton(QStringLiteral("Quit"), QDialogButtonBox::RejectRole);
    m_open->setEnabled(false);

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(m_heading);
    layout->addWidget(m_ports);
    layout->addWidget(m_remember);
    layout->addWidget(buttons);
    resize(560, 300);

    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(m_ports, &QListWidget::itemSelectionChanged, this,
            [this] { m_open->setEnabled(!m_ports->selectedItems().isEmpty()); });
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
    if (m_listed && found == m_shown)
        return;
    m_listed = true;
    m_shown = found;
    const QString selected = port();
    m_ports->clear();
    bool failedListed = false;
    for (const SerialPortEntry &entry : found) {
        auto *item = new QListWidgetItem(rowText(entry), m_ports);
        item->setData(Qt::UserRole, entry.name());
        item->setSelected(entry.name() == selected);
        failedListed |= entry.name() == m_failedPort || entry.devicePath == m_failedPort;
    }
    // A remembered adapter that is not plugged in is not found, yet the user must see why it
    // was not opened.
    if (!m_failedPort.isEmpty() && !failedListed) {
        auto *item = new QListWidgetItem(m_failedPort + QStringLiteral("\n    ") + m_reason);
        item->setFlags(Qt::NoItemFlags);
        m_ports->insertItem(0, item);
    }
    m_heading->setText(found.isEmpty()
                           ? QStringLiteral("No serial port found. Plug in the scanner (its USB "
                                            "adapter): it shows here by itself.")
                           : QStringLiteral("Choose the serial port of the barcode scanner."));
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
    if (port.name() == m_failedPort || port.devicePath == m_failedPort)
        details << m_reason;
    QString text = port.name();
    if (!details.isEmpty())
        text += QStringLiteral("\n    ") + details.join(QStringLiteral("\n    "));
    return text;
}
