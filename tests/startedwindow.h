#ifndef STARTEDWINDOW_H
#define STARTEDWINDOW_H

#include "form1.h"
#include "messagebox.h"
#include "pseudoterminal.h"
#include "timeofday.h"

#include <QAbstractItemView>
#include <QStringList>
#include <QTest>

// Pelmar's window after load, on the slave end of a pseudo-terminal, with its message boxes
// captured in messages and its clock set by the test through now.
struct StartedWindow
{
    explicit StartedWindow(const QByteArray &sentBeforeStart = {})
    {
        form.Comm1.setDevicePath(scanner.devicePath());
        scanner.write(sentBeforeStart);
        setMessageHandler([this](const QString &text) { messages << text; });
        setTimeOfDaySource([this] { return now; });
        form.load();
        scanner.readSent(); // load sends nothing; whatever came is not the test's
    }
    ~StartedWindow()
    {
        setMessageHandler({});
        setTimeOfDaySource({});
    }

    int lines() const { return form.List1->model()->rowCount(); }
    QString line(int row) const { return form.List1->model()->index(row, 0).data().toString(); }
    // One read of the scanner at the given time of day; waits until it is listed.
    void read(const QByteArray &code, float at)
    {
        const int before = lines();
        now = at;
        scanner.write(code + "\r\n");
        QTRY_VERIFY_WITH_TIMEOUT(lines() > before, 2000);
    }

    PseudoTerminal scanner;
    Form1 form;
    QStringList messages;
    float now = 0;
};

#endif // STARTEDWINDOW_H
