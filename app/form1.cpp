// Copyright (C) 2026 the Pelmar developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "form1.h"

#include "conversions.h"
#include "hexsender.h"
#include "listboxtable.h"
#include "logrows.h"
#include "messagebox.h"
#include "scannercommands.h"
#include "speed.h"
#include "timeofday.h"
#include "wrappingbutton.h"

#include <QCloseEvent>
#include <QFont>
#include <QImageReader>
#include <QLabel>
#include <QLineEdit>
#include <QPixmap>
#include <QPushButton>
#include <QRect>
#include <QScopedValueRollback>
#include <QString>

#include <cmath>
#include <cstddef>
#include <iterator>
#include <limits>

namespace {

constexpr int TwipsPerPixel = 15;
constexpr int ClientWidth = 10035;
constexpr int ClientHeight = 3855;
// The layout is fixed in pixels, so the font is too: at 10 pixels every caption and label of the
// layout fits its box, where a desktop's 9 or 11 point font cuts off the labels' second lines.
constexpr int FontPixelSize = 10;
// A barcode is followed by two more characters on the line.
constexpr double CharactersAfterBarcode = 2;
// The longest barcode whose threshold, its length and the two characters after it, the port takes.
constexpr int HighestLength = 32767 - static_cast<int>(CharactersAfterBarcode);

QRect twips(int left, int top, int width, int height)
{
    return QRect(left / TwipsPerPixel, top / TwipsPerPixel, width / TwipsPerPixel,
                 height / TwipsPerPixel);
}

// Every control carries its stored name, so that tests and inspection tools find it by name.
template<typename Widget> Widget *place(Widget *widget, const char *name, const QRect &geometry)
{
    widget->setObjectName(QLatin1String(name));
    widget->setGeometry(geometry);
    return widget;
}

// A label's stored caption is its name; start-up replaces it before anyone sees it.
QLabel *label(const char *name, const QRect &geometry, QWidget *parent)
{
    auto *label = place(new QLabel(QLatin1String(name), parent), name, geometry);
    label->setWordWrap(true);
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    return label;
}

QLineEdit *textBox(const char *name, const QRect &geometry, QWidget *parent)
{
    auto *textBox = place(new QLineEdit(parent), name, geometry);
    // QLineEdit would cut a long hex text at 32767 characters and hide that it was too long.
    textBox->setMaxLength(std::numeric_limits<int>::max());
    return textBox;
}

QPushButton *button(const char *name, const QString &caption, const QRect &geometry,
                    QWidget *parent)
{
    return place(new WrappingButton(caption, parent), name, geometry);
}

} // namespace

Form1::Form1(QWidget *parent) : QWidget(parent), Comm1(this)
{
    Comm1.setObjectName(QStringLiteral("Comm1"));
    setWindowTitle(QStringLiteral("Pelmar"));
    setFixedSize(ClientWidth / TwipsPerPixel, ClientHeight / TwipsPerPixel);
    QFont font = this->font();
    font.setPixelSize(FontPixelSize);
    setFont(font);

    // Labels and the picture first: everything made later is drawn over them where they overlap.
    Label3 = label("Label3", twips(120, 3240, 1455, 495), this);
    Image1 = place(new QLabel(this), "Image1", twips(240, 1560, 2925, 1560));
    // Read as a BMP by name, so that Qt does not load every image plugin to ask whose it is.
    QImageReader picture(QStringLiteral(":/locomotive.bmp"), "bmp");
    picture.setAutoDetectImageFormat(false);
    Image1->setPixmap(QPixmap::fromImage(picture.read()));
    Image1->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    Label4 = label("Label4", twips(7800, 360, 1935, 375), this);
    Label2 = label("Label2", twips(5160, 360, 1335, 375), this);
    Label1 = label("Label1", twips(360, 240, 3255, 375), this);

    Text3 = textBox("Text3", twips(1560, 3240, 495, 375), this);
    Clrlist = button("Clrlist", QStringLiteral("Clear List"), twips(7560, 3240, 975, 495), this);
    List1 = place(new ListBoxTable(&m_reads, this), "List1", twips(7560, 720, 2175, 2400));
    Clear = button("Clear", QStringLiteral("Clear Buffer"), twips(8640, 3240, 1095, 495), this);
    Speed = button("Speed", QStringLiteral("Calculate Speed"), twips(2160, 3240, 975, 495), this);
    Text2 = textBox("Text2", twips(5520, 720, 495, 375), this);
    Set = button("Set", QStringLiteral("Set"), twips(5520, 1200, 495, 495), this);
    Default = button("Default", QStringLiteral("Default"), twips(5880, 3240, 1095, 495), this);
    Constant = button("Constant", QStringLiteral("Constant Scan and Report Mode"),
                      twips(4080, 2640, 1695, 495), this);
    Host = button("Host", QStringLiteral("Host Triggering Mode"), twips(4080, 3240, 1695, 495),
                  this);
    Off = button("Off", QStringLiteral("Off"), twips(6480, 2640, 495, 495), this);
    On = button("On", QStringLiteral("On"), twips(5880, 2640, 495, 495), this);
    Send = button("Send", QStringLiteral("Send"), twips(3480, 720, 975, 375), this);
    Text1 = textBox("Text1", twips(480, 720, 2775, 375), this);

    // What a screen reader names each text box and the list by: the label beside it.
    Label1->setBuddy(Text1);
    Label2->setBuddy(Text2);
    Label3->setBuddy(Text3);
    Label4->setBuddy(List1);

    QWidget *const tabOrder[] = {Text1, Send,  On,    Off,   Host,  Constant, Default,
                                 Set,   Text2, Speed, Clear, List1, Clrlist,  Text3};
    for (std::size_t i = 1; i < std::size(tabOrder); ++i)
        setTabOrder(tabOrder[i - 1], tabOrder[i]);
    Text1->setFocus();

    connectHandler(Send, &Form1::clickSend);
    connectHandler(On, &Form1::clickOn);
    connectHandler(Off, &Form1::clickOff);
    connectHandler(Host, &Form1::clickHost);
    connectHandler(Constant, &Form1::clickConstant);
    connectHandler(Default, &Form1::clickDefault);
    connectHandler(Set, &Form1::clickSet);
    connectHandler(Clear, &Form1::clickClear);
    connectHandler(Clrlist, &Form1::clickClrlist);
    connectHandler(Speed, &Form1::clickSpeed);
    connect(&Comm1, &CommControl::OnComm, this, [this] { runHandler(&Form1::comm1OnComm); });
    // A log that cannot be written is told once and given up; the session goes on without it.
    connect(&m_log, &SessionLog::writeFailed, this, [this](const QString &reason) {
        showMessage(QStringLiteral("The log file %1 could not be written (%2). Nothing more is "
                                   "logged; Pelmar goes on, and the list keeps every line.")
                        .arg(m_log.path(), reason));
    });
    // Told from the event loop rather than from inside the port's error handling, where a box's
    // nested loop could see the port open again under it; a device that comes and goes while
    // its box is open adds no second box.
    connect(
        &Comm1, &CommControl::deviceLost, this,
        [this](const QString &description) {
            if (m_tellingLoss)
                return;
            const QScopedValueRollback telling(m_tellingLoss, true);
            showMessage(description);
        },
        Qt::QueuedConnection);
}

void Form1::load()
{
    Comm1.setCommPort(1);
    Comm1.setSettings(QStringLiteral("9600,E,7,2"));
    Comm1.setInputMode(CommControl::InputModeText);
    Comm1.setInputLen(0);
    Comm1.setPortOpen(true);
    Label1->setText(
        QStringLiteral("Type what you want to send to the scanner and then press Vemto."));
    Label2->setText(QStringLiteral("Length of barcode"));
    Label3->setText(QStringLiteral("Distance between barcodes in inches"));
    Label4->setText(QStringLiteral("List of barcodes read"));
    // A table, unlike a text box, does not take its name from its buddy.
    List1->setAccessibleName(Label4->text());
    Text2->setText(QStringLiteral("12"));
    Text3->setText(QStringLiteral("12"));
    ScanFlag = 1;
    ReadNumber = QStringLiteral("1");
    m_log.append(startFields(localTimestamp(), QStringLiteral(PELMAR_VERSION), Comm1.devicePath(),
                             m_scale, Comm1.modemLinesRaised()));
    // Applies the threshold and throws away whatever arrived before the window is up.
    clickSet();
}

void Form1::closeEvent(QCloseEvent *event)
{
    unload();
    event->accept();
}

void Form1::unload()
{
    try {
        if (Comm1.PortOpen())
            Comm1.setPortOpen(false);
    } catch (const RunTimeError &error) {
        showMessage(error.message());
    }
}

void Form1::connectHandler(QPushButton *button, void (Form1::*handler)())
{
    connect(button, &QPushButton::clicked, this, [this, handler] { runHandler(handler); });
}

// A failure ends the action that met it, and only that action: the window, the list and the
// port stay as they are.
void Form1::runHandler(void (Form1::*handler)())
{
    try {
        (this->*handler)();
    } catch (const RunTimeError &error) {
        showMessage(error.message());
    }
}

void Form1::clickSend()
{
    SendHex(Text1->text());
}

void Form1::clickOn()
{
    SendHex(QLatin1String(ScannerCommands::On));
}

void Form1::clickOff()
{
    SendHex(QLatin1String(ScannerCommands::Off));
}

void Form1::clickHost()
{
    SendHex(QLatin1String(ScannerCommands::Host));
}

void Form1::clickConstant()
{
    SendHex(QLatin1String(ScannerCommands::Constant));
}

void Form1::clickDefault()
{
    SendHex(ScannerCommands::defaultCommand());
}

// Every message about the text is shown before anything goes out, and a text that cannot be sent
// whole sends nothing.
void Form1::SendHex(const QString &text)
{
    const HexText hex = decodeHexText(text);
    for (const QString &message : hex.messages)
        showMessage(message);
    if (hex.send)
        Comm1.setOutput(hex.outgoing);
}

// Whoever reads the log learns the threshold in force from it, and what Set threw away.
void Form1::clickSet()
{
    SetRecord record;
    const auto logSet = [this, &record] { m_log.append(setFields(localTimestamp(), record)); };
    record.length = Val(Text2->text());
    // A length below 0 would give a threshold that lists every character on its own, or none
    // at all; the port takes no threshold above 32767.
    const double rounded = std::nearbyint(record.length);
    if (!(rounded >= 0 && rounded <= HighestLength)) {
        record.problem = QStringLiteral("Length of barcode must be a number from 0 to %1. The "
                                        "receive threshold stays at %2.")
                             .arg(HighestLength)
                             .arg(Comm1.RThreshold());
        logSet();
        showMessage(record.problem);
        return;
    }
    record.threshold = doubleToInteger16(record.length + CharactersAfterBarcode);
    Comm1.setRThreshold(*record.threshold);
    try {
        record.emptied = Comm1.Input();
    } catch (const RunTimeError &error) {
        record.problem = error.description();
        logSet();
        throw;
    }
    record.marks = Comm1.lastInputMarks();
    logSet();
}

void Form1::comm1OnComm()
{
    const ReadTime time = readTime();
    std::optional<ReadMoment> &moment = ScanFlag == 1 ? m_scan1Moment : m_scan2Moment;
    if (ScanFlag == 1) {
        Scan1 = time.timeOfDay;
        ScanFlag = 0;
    } else {
        Scan2 = time.timeOfDay;
        ScanFlag = 1;
    }
    moment = ReadMoment {time.monotonicMicroseconds, Comm1.openings(), {}, {}};
    const QString data = Comm1.InputRead();
    const double length = Val(Text2->text());
    // A negative length shows no code rather than failing on every read.
    const QString code = length < 0 ? QString() : substring(data, 1, length);
    const QString line = ReadNumber + QStringLiteral(". ") + code;
    m_reads.insertTop(line);
    const QString number = ReadNumber;
    moment->number = number;
    moment->code = code;
    ReadNumber = numberToText(Val(ReadNumber) + 1);
    m_log.append(readFields(localTimestamp(), {number, code, data, Comm1.lastInputMarks(), line}));
}

void Form1::clickClear()
{
    const QString data = Comm1.Input();
    m_log.append(clearBufferFields(localTimestamp(), data, Comm1.lastInputMarks()));
    showMessage(data + QStringLiteral(" has been cleared from the buffer"));
}

void Form1::clickClrlist()
{
    m_reads.clear();
    ReadNumber = QStringLiteral("1");
    ScanFlag = 1;
    m_log.append(clearListFields(localTimestamp()));
}

// The log's row is written before the box is shown, which may stay open a long time.
void Form1::clickSpeed()
{
    SpeedRecord record;
    const auto logSpeed = [this, &record] { m_log.append(speedFields(localTimestamp(), record)); };
    record.distanceInches = Val(Text3->text());
    record.scan1 = Scan1;
    record.scan2 = Scan2;
    record.scale = m_scale;
    // The reads the speed is worked out from, whose codes tell which model passed.
    if (m_scan1Moment) {
        record.scan1Number = m_scan1Moment->number;
        record.scan1Code = m_scan1Moment->code;
    }
    if (m_scan2Moment) {
        record.scan2Number = m_scan2Moment->number;
        record.scan2Code = m_scan2Moment->code;
    }
    if (m_scan1Moment && m_scan2Moment) {
        record.exactMicroseconds
            = m_scan2Moment->monotonicMicroseconds - m_scan1Moment->monotonicMicroseconds;
        record.reopenedBetween = m_scan1Moment->opening != m_scan2Moment->opening;
    }
    SpeedResult result;
    try {
        result = calculateSpeed(Scan1, Scan2, Text3->text(), m_scale);
    } catch (const RunTimeError &error) {
        record.note = error.description();
        logSpeed();
        throw;
    }
    if (result.computed) {
        record.modelMph = result.modelMph;
        record.fullMph = result.fullMph;
        record.listed = result.listLine;
    } else {
        record.note = result.message;
    }
    logSpeed();
    showMessage(result.message);
    if (!result.listLine.isEmpty())
        m_reads.insertTop(result.listLine);
}

Result<> Form1::openLog(const QString &path)
{
    return m_log.open(path);
}
