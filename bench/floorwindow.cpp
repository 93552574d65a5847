// Copyright (C) 2026 the Pelmar developers
// SPDX-License-Identifier: GPL-3.0-or-later

// bench-floorwindow: the least a Qt 6 program can do and still stand where Pelmar stands at
// start-up, for bench-startup to measure Pelmar against.

#include <QApplication>
#include <QIODevice>
#include <QLabel>
#include <QPushButton>
#include <QSerialPort>
#include <QWidget>

#include <cstdio>

int main(int argc, char *argv[])
{
    QApplication application(argc, argv);
    QSerialPort port(qEnvironmentVariable("PELMAR_PORT"));
    // All settings before open(): a pseudo-terminal refuses a later change of parity or data bits.
    port.setBaudRate(QSerialPort::Baud9600);
    port.setParity(QSerialPort::EvenParity);
    port.setDataBits(QSerialPort::Data7);
    port.setStopBits(QSerialPort::TwoStop);
    if (!port.open(QIODevice::ReadWrite)) {
        std::fprintf(stderr, "bench-floorwindow: %s: %s\n", qPrintable(port.portName()),
                     qPrintable(port.errorString()));
        return 1;
    }
    // Pelmar's window, its "List of barcodes read" label and its "Clear List" button, in pixels.
    QWidget window;
    window.setWindowTitle(QStringLiteral("Floor"));
    window.setFixedSize(669, 257);
    auto *label = new QLabel(QStringLiteral("List of barcodes read"), &window);
    label->setGeometry(520, 24, 129, 25);
    auto *button = new QPushButton(QStringLiteral("Clear List"), &window);
    button->setGeometry(504, 216, 65, 33);
    window.show();
    return application.exec();
}
