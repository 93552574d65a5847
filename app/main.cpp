#include "commandline.h"
#include "form1.h"
#include "startup.h"

#include <QApplication>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QIcon>
#include <QImageReader>
#include <QPixmap>
#include <QString>
#include <QStringList>

#include <thread>

#include <fontconfig/fontconfig.h>

namespace {

// Qt ends a program that has no display with an abort and a word about reinstalling it; a user at
// a terminal without a desktop is better told what is missing.
bool hasDisplay()
{
    return !qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")
        || !qEnvironmentVariableIsEmpty("DISPLAY")
        || !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY");
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication::setApplicationName(QStringLiteral("pelmar"));
    QCoreApplication::setApplicationVersion(QStringLiteral(PELMAR_VERSION));
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    const CommandLine commandLine(arguments);
    if (commandLine.action() != CommandLine::OpenWindow) {
        const QCoreApplication application(argc, argv);
        return commandLine.runWithoutWindow();
    }
    if (!hasDisplay()) {
        printLine(QStringLiteral("there is no display to show the window on (neither DISPLAY nor "
                                 "WAYLAND_DISPLAY is set). Start Pelmar in a desktop session; "
                                 "--help, --version and --list-ports need none."));
        return 1;
    }

    // Reading the system's font configuration is the largest piece of start-up work and needs
    // nothing from Qt: it is done while QApplication waits on the display and the session bus.
    std::thread fontConfiguration([] { FcInit(); });
    QApplication application(argc, argv);
    fontConfiguration.join();
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
