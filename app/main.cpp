// Copyright (C) 2026 the Pelmar developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "commandline.h"
#include "desktop.h"
#include "form1.h"
#include "startup.h"

#include <QApplication>
#include <QCoreApplication>
#include <QString>

#include <optional>

int main(int argc, char *argv[])
{
    QCoreApplication::setApplicationName(QStringLiteral("pelmar"));
    QCoreApplication::setApplicationVersion(QStringLiteral(PELMAR_VERSION));
    const CommandLine commandLine(commandLineArguments(argc, argv));
    if (commandLine.action() != CommandLine::OpenWindow) {
        useParentConsole();
        const QCoreApplication application(argc, argv);
        return commandLine.runWithoutWindow();
    }
    if (const std::optional<QString> missing = missingDisplay()) {
        printLine(*missing);
        return 1;
    }

    std::optional<StartUpWork> startUpWork(std::in_place);
    QApplication application(argc, argv);
    startUpWork.reset();
    useApplicationIcon();
    Form1 form;
    if (!startSession(form, commandLine))
        return 1;
    form.show();
    return application.exec();
}
