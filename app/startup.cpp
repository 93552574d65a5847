// Copyright (C) 2026 the Pelmar developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "startup.h"

#include "commandline.h"
#include "form1.h"
#include "messagebox.h"
#include "portchoice.h"
#include "portchooser.h"
#include "result.h"
#include "runtimeerror.h"
#include "serialports.h"
#include "standardstreams.h"

#include <QDialog>
#include <QObject>

#include <cstdio>
#include <optional>

namespace {

// A failure that keeps the window from opening: told on stderr for scripts, and in a box.
void reportStartFailure(const QString &text)
{
    printLine(text);
    showMessage(text);
}

// Opens the scanner's port and loads the window on it. Returns false when Pelmar is to end: a
// named port failed, which is told here, or the user quit the chooser.
bool loadOnScannerPort(Form1 &form, const QString &commandLinePort)
{
    const PortChoice choice = choosePort(commandLinePort, qEnvironmentVariable("PELMAR_PORT"),
                                         &rememberedPort, &availableSerialPorts);
    const auto load = [&form](const QString &port) {
        form.Comm1.setDevicePath(port);
        try {
            form.load();
            return Result<>();
        } catch (const RunTimeError &error) {
            return Result<>::failure(error.message());
        }
    };
    const auto ask = [](const QString &failedPort, const QString &reason) {
        PortChooser chooser(failedPort, reason);
        return chooser.exec() == QDialog::Accepted
            ? std::optional(ChooserAnswer {chooser.port(), chooser.remember()})
            : std::nullopt;
    };
    const Result<bool> opened = openScannerPort(choice, load, ask);
    if (!opened)
        reportStartFailure(opened.error());
    return opened && *opened;
}

} // namespace

void printLine(const QString &text)
{
    writeText(stderr, QStringLiteral("pelmar: %1\n").arg(text));
}

bool startSession(Form1 &form, const CommandLine &commandLine)
{
    QObject::connect(&form.Comm1, &CommControl::notice, &printLine);
    form.setScale(commandLine.scale());
    if (!commandLine.logFile().isEmpty()) {
        if (const Result<> log = form.openLog(commandLine.logFile()); !log) {
            reportStartFailure(QStringLiteral("The log file %1 cannot be opened: %2")
                                   .arg(commandLine.logFile(), log.error()));
            return false;
        }
    }
    return loadOnScannerPort(form, commandLine.port());
}
