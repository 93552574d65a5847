#include "commandline.h"
#include "form1.h"
#include "messagebox.h"
#include "portchoice.h"
#include "portchooser.h"
#include "runtimeerror.h"

#include <QApplication>
#include <QIcon>
#include <QImageReader>
#include <QPixmap>

#include <cstdio>
#include <thread>

#include <fontconfig/fontconfig.h>

namespace {

void printLine(const QString &text)
{
    std::fprintf(stderr, "pelmar: %s\n", qPrintable(text));
}

// A failure that keeps the window from opening: told on stderr for scripts, and in a box.
void reportStartFailure(const QString &text)
{
    printLine(text);
    showMessage(text);
}

// Qt ends a program that has no display with an abort and a word about reinstalling it; a user at
// a terminal without a desktop is better told what is missing.
bool hasDisplay()
{
    return !qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")
        || !qEnvironmentVariableIsEmpty("DISPLAY")
        || !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY");
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
    QObject::connect(&form.Comm1, &CommControl::notice, &printLine);
    form.setScale(commandLine.scale());
    if (!commandLine.logFile().isEmpty()) {
        if (const Result<> log = form.openLog(commandLine.logFile()); !log) {
            reportStartFailure(QStringLiteral("The log file %1 cannot be opened: %2")
                                   .arg(commandLine.logFile(), log.error()));
            return 1;
        }
    }
    if (!loadOnScannerPort(form, commandLine.port()))
        return 1;
    form.show();
    return application.exec();
}
