#include "commandline.h"
#include "desktop.h"
#include "form1.h"
#include "startup.h"

#include <QApplication>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QIcon>
#include <QImageReader>
#include <QPixmap>
#include <QString>

#include <optional>

int main(int argc, char *argv[])
{
    QCoreApplication::setApplicationName(QStringLiteral("pelmar"));
    QCoreApplication::setApplicationVersion(QStringLiteral(PELMAR_VERSION));
    useParentConsole();
    const CommandLine commandLine(commandLineArguments(argc, argv));
    if (commandLine.action() != CommandLine::OpenWindow) {
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
    // Wayland finds the window's entry and icon through the desktop file's name.
    QGuiApplication::setDesktopFileName(QStringLiteral("io.github.pelmar.Pelmar"));
    // One size, read as a PNG by name: a window's icon is drawn small, and Qt would otherwise load
    // every image plugin to ask whose the file is.
    QImageReader icon(QStringLiteral(":/icon-48.png"), "png");
    icon.setAutoDetectImageFormat(false);
    QApplication::setWindowIcon(QPixmap::fromImage(icon.read()));
    Form1 form;
    if (!startSession(form, commandLine))
        return 1;
    form.show();
    return application.exec();
}
