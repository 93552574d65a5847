// Copyright (C) 2026 the Pelmar developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "desktop.h"

#include <QGuiApplication>
#include <QIcon>
#include <QImageReader>
#include <QPixmap>
#include <QtGlobal>

#include <fontconfig/fontconfig.h>

QStringList commandLineArguments(int argc, char *argv[])
{
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    return arguments;
}

// Qt ends a program that has no display with an abort and a word about reinstalling it; a user at
// a terminal without a desktop is better told what is missing.
std::optional<QString> missingDisplay()
{
    if (!qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") || !qEnvironmentVariableIsEmpty("DISPLAY")
        || !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY")) {
        return std::nullopt;
    }
    return QStringLiteral("there is no display to show the window on (neither DISPLAY nor "
                          "WAYLAND_DISPLAY is set). Start Pelmar in a desktop session; --help, "
                          "--version, --list-ports, --check-port and --summary need none.");
}

void useParentConsole() { }

void useApplicationIcon()
{
    // Wayland finds the window's entry and icon through the desktop file's name.
    QGuiApplication::setDesktopFileName(QStringLiteral("io.github.pelmar.Pelmar"));
    // One size, read as a PNG by name: a window's icon is drawn small, and Qt would otherwise
    // load every image plugin to ask whose the file is.
    QImageReader icon(QStringLiteral(":/icon-48.png"), "png");
    icon.setAutoDetectImageFormat(false);
    QGuiApplication::setWindowIcon(QIcon(QPixmap::fromImage(icon.read())));
}

// Reading the system's font configuration is the largest piece of start-up work and needs
// nothing from Qt: it is done while QApplication waits on the display and the session bus.
StartUpWork::StartUpWork() : m_thread([] { FcInit(); }) { }

StartUpWork::~StartUpWork()
{
    m_thread.join();
}
