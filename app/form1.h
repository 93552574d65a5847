// Copyright (C) 2026 the Pelmar developers
// SPDX-License-Identifier: GPL-3.0-or-later

#ifndef FORM1_H
#define FORM1_H

#include "commcontrol.h"
#include "readlist.h"
#include "result.h"
#include "sessionlog.h"
#include "speed.h"

#include <QString>
#include <QWidget>
#include <QtGlobal>

#include <cstdint>
#include <optional>

class QAbstractItemView;
class QCloseEvent;
class QLabel;
class QLineEdit;
class QPushButton;

// The main window: its controls, the form state and the handlers that tie them to the port.
class Form1 : public QWidget
{
    Q_OBJECT

public:
    explicit Form1(QWidget *parent = nullptr);

    // Opens the port and fills in the start-up texts. Throws RunTimeError when the port cannot
    // be opened; the window must then not be shown.
    void load();

    // The scale of the model, for the full-size speed: 87 (HO) unless set.
    void setScale(double scale) { m_scale = scale; }
    // Keeps a record of every read and every speed in the CSV file at path from now on. Fails
    // with the reason when the file cannot be opened.
    Result<> openLog(const QString &path);
    // How the log keeps up, for the benchmarks.
    const SessionLog &sessionLog() const { return m_log; }

    QLineEdit *Text1;
    QLineEdit *Text2;
    QLineEdit *Text3;
    QPushButton *Send;
    QPushButton *On;
    QPushButton *Off;
    QPushButton *Host;
    QPushButton *Constant;
    QPushButton *Default;
    QPushButton *Set;
    QPushButton *Clear;
    QPushButton *Clrlist;
    QPushButton *Speed;
    QAbstractItemView *List1;
    QLabel *Label1;
    QLabel *Label2;
    QLabel *Label3;
    QLabel *Label4;
    QLabel *Image1;
    CommControl Comm1;

    float Scan1 = 0;
    float Scan2 = 0;
    std::int16_t ScanFlag = 0;
    QString ReadNumber;

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    void clickSend();
    void clickOn();
    void clickOff();
    void clickHost();
    void clickConstant();
    void clickDefault();
    void clickSet();
    void clickClear();
    void clickClrlist();
    void clickSpeed();
    void comm1OnComm();
    void unload();
    void SendHex(const QString &text);

    void connectHandler(QPushButton *button, void (Form1::*handler)());
    void runHandler(void (Form1::*handler)());

    // A read as the monotonic clock saw it, the opening of the port it came through, and its
    // number and code as listed (empty when taking it from the port failed).
    struct ReadMoment
    {
        qint64 monotonicMicroseconds = 0;
        quint64 opening = 0;
        QString number;
        QString code;
    };

    ReadList m_reads;
    SessionLog m_log;
    // The reads behind Scan1 and Scan2; none before a first read.
    std::optional<ReadMoment> m_scan1Moment;
    std::optional<ReadMoment> m_scan2Moment;
    double m_scale = DefaultScale;
    bool m_tellingLoss = false;
};

#endif // FORM1_H
