#ifndef STARTEDWINDOW_H
#define STARTEDWINDOW_H

#include "form1.h"
#include "messagebox.h"
#include "pseudoterminal.h"

#include <QStringList>

// Pelmar's window after load, on the slave end of a pseudo-terminal, with its message boxes
// captured in messages.
struct StartedWindow
{
    StartedWindow()
    {
        scanner.becomePort1();
        setMessageHandler([this](const QString &text) { messages << text; });
        form.load();
        scanner.readSent(); // load sends nothing; whatever came is not the test's
    }
    ~StartedWindow() { setMessageHandler({}); }

    PseudoTerminal scanner;
    Form1 form;
    QStringList messages;
};

#endif // STARTEDWINDOW_H
