// bench-floorwindow: the least a Qt 6 program can do and still stand where Pelmar stands at
// start-up: it opens the device named in PELMAR_PORT with QSerialPort at 9600,E,7,2 and shows one
// window of Pelmar's size with one label and one button, placed as Pelmar places its own.
// bench-startup measures Pelmar's start-up time and memory against it.

#include <QApplication>
#include <QIODevice>
#include <QLabel>
#include <QPushButton>
#include <QRect>
#include <QSerialPort>
#include <QWidget>

#include <cstdio>

namespace {

constexpr int WindowWidth = 669;
constexpr int WindowHeight = 257;
// Pelmar's "List of barcodes read" label and "Clear List" button, in pixels.
constexpr QRect LabelGeometry(520, 24, 129, 25);
constexpr QRect ButtonGeometry(504, 216, 65, 33);

} // namespace

int main(int argc, char *argv[])
{
    QApplication application(argc, argv);
    QSerialPort port;
    port.setPortName(qEnvironmentVariable("PELMAR_PORT"));
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
    QWidget window;
    window.setWindowTitle(QStringLiteral("Floor"));
    window.setFixedSize(WindowWidth, WindowHeight);
    auto *label = new QLabel(QStringLiteral("List of barcodes read"), &window);
    label->setGeometry(LabelGeometry);
    auto *button = new QPushButton(QStringLiteral("Clear List"), &window);
    button->setGeometry(ButtonGeometry);
    window.show();
    return application.exec();
}
