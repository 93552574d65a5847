// Copyright (C) 2026 the Pelmar developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "csvrows.h"
#include "logrows.h"
#include "namedpipe.h"
#include "serialports.h"
#include "sessionlog.h"
#include "startedwindow.h"

#include <QAbstractItemView>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QSysInfo>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <ctime>
#include <memory>
#include <thread>

#include <sys/stat.h>

using namespace std::chrono_literals;

namespace {

const QRegularExpression
    Timestamp(QStringLiteral(R"(^\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{6}[+-]\d\d:\d\d$)"));

// Cells written one after the other, split at each |.
QStringList cellsOf(const char *cells)
{
    return QString::fromUtf8(cells).split(u'|');
}

// A spreadsheet runs a cell as a formula when it begins with a sign, @, a tab or a CR and is not
// a plain number.
void verifyNoFormulas(const QList<QStringList> &rows)
{
    for (const QStringList &row : rows) {
        for (const QString &cell : row) {
            bool number = false;
            cell.toDouble(&number);
            QVERIFY2(number || cell.isEmpty() || !QStringLiteral("=+-@\t\r").contains(cell.front()),
                     qPrintable(row.join(u',')));
        }
    }
}

// Pelmar's window as the command line starts it, its log opened before load, on a line under a
// lasting name (a by-id link, a COM name), so that the scanner can be unplugged and plugged in
// again.
// Its clocks are set by the test through now.
struct LoggedWindow
{
    // Nothing is sent before the start: Qt 6.8 empties the line's input as it opens the port,
    // where Qt 6.4 leaves it for load's Set to take.
    explicit LoggedWindow(const QString &logPath)
    {
        setSerialPortSource([] { return QList<SerialPortEntry> {}; });
        setMessageHandler([this](const QString &text) { messages << text; });
        setReadTimeSource([this] { return now; });
        form.Comm1.setDevicePath(line.name());
        QVERIFY(form.openLog(logPath));
        form.load();
    }
    ~LoggedWindow()
    {
        setMessageHandler({});
        setReadTimeSource({});
        setSerialPortSource({});
    }

    int lines() const { return form.List1->model()->rowCount(); }
    void read(const QByteArray &code, ReadTime at)
    {
        const int before = lines();
        now = at;
        line.write(code + "\r\n");
        QTRY_VERIFY_WITH_TIMEOUT(lines() > before, 2000);
    }
    void send(const QByteArray &bytes)
    {
        line.write(bytes);
        QTest::qWait(20);
    }
    void unplug()
    {
        line.hangUp();
        QTRY_VERIFY(!form.Comm1.PortOpen());
    }
    void plugIn()
    {
        line.plugIn();
        QTRY_VERIFY(form.Comm1.PortOpen());
    }
    PseudoTerminal line {PseudoTerminal::Naming::Lasting};
    QStringList messages;
    ReadTime now;
    Form1 form;
};

} // namespace

class TestSessionLog : public QObject
{
    Q_OBJECT

private slots:
    void readRowsSurviveARealCsvReader_data();
    void readRowsSurviveARealCsvReader();
    void logThatCannotBeOpenedSaysWhy_data();
    void logThatCannotBeOpenedSaysWhy();
    void onlyALogFileMadeAndLeftEmptyIsRemoved_data();
    void onlyALogFileMadeAndLeftEmptyIsRemoved();
    void sessionIsLoggedRowByRowUnderOneHeader();
    void slowDiskDelaysRowsButNeverLetsThemPileUp();
    void startSetsAndClearsAreLoggedInTurn();
    void earlierLogsAreAppendedToInTheirOwnColumns_data();
    void earlierLogsAreAppendedToInTheirOwnColumns();
    void speedRowsGiveTheExactTimeBesideTheListedOne_data();
    void speedRowsGiveTheExactTimeBesideTheListedOne();
    void logAndReadTimesFollowTheClockPast2038_data();
    void logAndReadTimesFollowTheClockPast2038();
};

void TestSessionLog::readRowsSurviveARealCsvReader_data()
{
    QTest::addColumn<QString>("code");
    QTest::addColumn<QString>("received");
    QTest::addColumn<QList<qsizetype>>("marks");
    QTest::addColumn<QString>("escaped");
    QTest::addColumn<QString>("codeCell");
    const auto row
        = [](const char *name, const QString &code, const QString &suffix,
             const QList<qsizetype> &marks, const char *escaped, const QString &codeCell = {}) {
              QTest::newRow(name) << code << code + suffix << marks << QString::fromLatin1(escaped)
                                  << (codeCell.isNull() ? code : codeCell);
          };
    const QString crlf = QStringLiteral("\r\n");
    row("plain", "012345678905", crlf, {}, R"(012345678905\r\n)");
    row("quotes and commas", R"(0"1,2"",3)", crlf, {}, R"(0"1,2"",3\r\n)");
    row("a comma alone", "01,2", crlf, {}, R"(01,2\r\n)");
    row("a quote alone, first", R"("012)", crlf, {}, R"("012\r\n)");
    row("a CR alone", "01\r2", crlf, {}, R"(01\r2\r\n)");
    row("CR LF inside", "01\r\n2\n3\r", crlf, {}, R"(01\r\n2\n3\r\r\n)");
    row("control bytes, DEL and Latin-1", QString::fromLatin1("A\0\t\x01\x1f~\x7f\x80\xe9\xff", 10),
        crlf, {}, R"(A\0\t\x01\x1f~\x7f\x80\xe9\xff\r\n)");
    row("a real ? beside a parity mark", "1?2?", crlf, {3}, R"(1?2\?\r\n)");
    row("backslashes", R"(a\b\?)", crlf, {}, R"(a\\b\\?\r\n)");
    row("a formula", "=1+2", crlf, {}, R"(\x3d1+2\r\n)", "'=1+2");
    row("a plus", "+1+2", crlf, {}, R"(\x2b1+2\r\n)", "'+1+2");
    row("a minus, a number otherwise", "-12", crlf, {}, R"(\x2d12\r\n)", "'-12");
    row("an at", "@SUM(A1)", crlf, {}, R"(\x40SUM(A1)\r\n)", "'@SUM(A1)");
    row("a tab", "\t=1", crlf, {}, R"(\t=1\r\n)", "'\t=1");
    row("a CR", "\r=1", crlf, {}, R"(\r=1\r\n)", "'\r=1");
    row("a quote of the spreadsheets' own", "'=1", crlf, {}, R"('=1\r\n)", "''=1");
    row("signs after the first", "1=2-@", crlf, {}, R"(1=2-@\r\n)");
    row("a space", "01 2", crlf, {}, R"(01 2\r\n)");
    row("nothing received", "", "", {}, "");
}

void TestSessionLog::readRowsSurviveARealCsvReader()
{
    QFETCH(QString, code);
    QFETCH(QString, received);
    QFETCH(QList<qsizetype>, marks);
    QFETCH(QString, escaped);
    QFETCH(QString, codeCell);
    QTemporaryDir folder;
    const QString path = folder.filePath(QStringLiteral("session.csv"));
    SessionLog log;
    QVERIFY(log.open(path));
    const QString listed = QStringLiteral("7. ") + code;
    log.append(readFields(localTimestamp(), {"7", code, received, marks, listed}));
    log.append(setFields(localTimestamp(), {12, 14, received, marks, {}}));
    log.append(clearBufferFields(localTimestamp(), received, marks));
    log.waitForWritten();
    QVERIFY(log.isOpen());

    if (!csvReaderPresent())
        QSKIP("Python's csv module, a reader of the log that is not Pelmar's, cannot be started "
              "here");
    const QList<QStringList> rows = csvRowsOf(path);
    QCOMPARE(rows.size(), 4);
    QCOMPARE(rows.at(0), sessionLogColumns());
    const QStringList &read = rows.at(1);
    QCOMPARE(read.size(), sessionLogColumns().size());
    QVERIFY2(Timestamp.match(read.at(0)).hasMatch(), qPrintable(read.at(0)));
    QCOMPARE(read.mid(1, 4), (QStringList {"read", "7", codeCell, escaped}));
    QCOMPARE(read.at(12), listed);
    QCOMPARE(unescaped(read.at(4)), received.toLatin1());
    // What Set and Clear Buffer empty is written as a read is.
    QCOMPARE(rows.at(2).at(4), escaped);
    QCOMPARE(rows.at(3).at(4), escaped);
    verifyNoFormulas(rows);
}

// A file that is there keeps what it held.
void TestSessionLog::logThatCannotBeOpenedSaysWhy_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("why");
    const QByteArray header = "time,kind,number,code,received,distance_in,scan1,scan2,model_mph,"
                              "full_mph,full_kmh,scale,listed,note,exact_seconds,exact_model_mph,"
                              "exact_full_mph";
    const QString another = QStringLiteral("its first line is not the header");
    QTest::newRow("no such folder")
        << "missing/session.csv" << QByteArray() << "No such file or directory";
    QTest::newRow("a folder") << "." << QByteArray() << "Is a directory";
    // Made below; waiting for a reader would hold the start up for ever.
    QTest::newRow("a pipe nobody reads")
        << "session.fifo" << QByteArray() << "No such device or address";
    QTest::newRow("an older Pelmar's log")
        << "session.csv"
        << QByteArray("time,kind,number,code,received,distance_in,scan1,scan2,model_mph,full_mph,"
                      "full_kmh,scale,listed,note\r\n2026-12-08T10:00:00.000000+00:00,read,1,0,"
                      "0\\r\\n,,,,,,,,1. 0,\r\n")
        << another;
    QTest::newRow("not a log at all")
        << "notes.txt" << QByteArray("Bring the 2-8-0 on Sunday\n") << another;
    QTest::newRow("a column more") << "session.csv" << header + ",operator\r\n" << another;
    QTest::newRow("a column less")
        << "session.csv" << header.chopped(QByteArray(",exact_full_mph").size()) + "\r\n"
        << another;
    QTest::newRow("LF line ends") << "session.csv" << header + "\n" << another;
    QTest::newRow("a line end alone") << "session.csv" << QByteArray("\n") << another;
    QTest::newRow("a byte-order mark") << "session.csv"
                                       << "\xef\xbb\xbf" + header + "\r\n"
                                       << another;
}

void TestSessionLog::logThatCannotBeOpenedSaysWhy()
{
    QFETCH(QString, name);
    QFETCH(QByteArray, content);
    QFETCH(QString, why);
    QTemporaryDir folder;
    const QString path = folder.filePath(name);
    if (!content.isNull()) {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write(content) == content.size());
    }
    if (name.endsWith(u".fifo")) {
        if (!NamedPipe::supported())
            QSKIP("the system has no named pipe among its files");
        QVERIFY(NamedPipe::make(path));
    }
    SessionLog log;
    const Result<> opened = log.open(path);
    QVERIFY(!opened);
    QVERIFY2(opened.error().contains(why), qPrintable(opened.error()));
    QVERIFY(!log.isOpen());
    log.append({QStringLiteral("a row")});
    if (!content.isNull()) {
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), content);
    }
}

void TestSessionLog::onlyALogFileMadeAndLeftEmptyIsRemoved_data()
{
    QTest::addColumn<bool>("thereBefore");
    QTest::addColumn<bool>("rowWritten");
    QTest::addColumn<bool>("replaced"); // by another empty file while the log was open
    QTest::addColumn<bool>("kept");
    QTest::newRow("made, nothing logged") << false << false << false << false;
    QTest::newRow("made, a row logged") << false << true << false << true;
    QTest::newRow("made, nothing logged, another put in its place")
        << false << false << true << true;
    QTest::newRow("there before and empty") << true << false << false << true;
    QTest::newRow("there before and empty, a row logged") << true << true << false << true;
}

void TestSessionLog::onlyALogFileMadeAndLeftEmptyIsRemoved()
{
    QFETCH(bool, thereBefore);
    QFETCH(bool, rowWritten);
    QFETCH(bool, replaced);
    QFETCH(bool, kept);
    QTemporaryDir folder;
    const QString path = folder.filePath(QStringLiteral("session.csv"));
    if (thereBefore)
        QVERIFY(QFile(path).open(QIODevice::WriteOnly));
    {
        SessionLog log;
        QVERIFY(log.open(path));
        if (rowWritten)
            log.append({QStringLiteral("a row")});
        if (replaced) {
            const bool renamed = QFile::rename(path, path + QStringLiteral(".old"));
            if (!renamed && QSysInfo::productType() == u"windows")
                QSKIP("the system lets no file that a program holds open be renamed");
            QVERIFY(renamed);
            QVERIFY(QFile(path).open(QIODevice::WriteOnly));
        }
    }
    QCOMPARE(QFile::exists(path), kept);
    if (rowWritten) {
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), (csvRow(sessionLogColumns()) + csvRow({"a row"})).toUtf8());
    }
}

// Three sessions on one file: reads, a refused speed and a measured one, one header in all; the
// second goes on from a whole row, the third from a row a crash cut short, which stays a row of
// its own.
void TestSessionLog::sessionIsLoggedRowByRowUnderOneHeader()
{
    QTemporaryDir folder;
    const QString path = folder.filePath(QStringLiteral("session.csv"));
    const QByteArray cutShort = "2026-12-08T10:00:00.000000+00:00,read,3,0123";
    for (int session = 1; session <= 3; ++session) {
        if (session == 3) {
            QFile file(path);
            QVERIFY(file.open(QIODevice::Append));
            file.write(cutShort);
        }
        StartedWindow pelmar;
        QVERIFY(pelmar.form.openLog(path));
        pelmar.read("012345678905", 1);
        pelmar.form.Speed->click();
        pelmar.read("036000291452", 2);
        pelmar.form.Speed->click();
    }
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray bytes = file.readAll();
    QCOMPARE(bytes.count("\r\n"), bytes.count('\n'));
    if (!csvReaderPresent())
        QSKIP("Python's csv module, a reader of the log that is not Pelmar's, cannot be started "
              "here");
    QList<QStringList> rows = csvRowsOf(path);
    QCOMPARE(rows.size(), 14);
    QCOMPARE(rows.at(0), sessionLogColumns());
    QCOMPARE(rows.takeAt(9).join(u','), QString::fromLatin1(cutShort));
    // The refused speed names the one read it had, the measured one both.
    const QStringList refused
        = cellsOf("speed||||12|1|0||||87||Scan1 > Scan2, try again!||||1|012345678905||");
    const QStringList measured
        = cellsOf("speed||||12|1|2|0.681818181818182|59.3181818181818|95.46336|87|59 MPH||1|"
                  "0.681818181818182|59.3181818181818|1|012345678905|2|036000291452");
    for (int session = 0; session < 3; ++session) {
        const int first = 1 + 4 * session;
        QCOMPARE(rows.at(first).mid(1, 3), (QStringList {"read", "1", "012345678905"}));
        QCOMPARE(rows.at(first + 1).mid(1), refused);
        QCOMPARE(rows.at(first + 2).mid(1, 3), (QStringList {"read", "2", "036000291452"}));
        QCOMPARE(rows.at(first + 3).mid(1), measured);
    }
}

// A sync of 100 ms, as on an SD card, against a read every 16 ms, as from a scanner at 9600 baud;
// then a sync that fails, and a pipe read more slowly than rows come, whose reader then goes.
void TestSessionLog::slowDiskDelaysRowsButNeverLetsThemPileUp()
{
    QTemporaryDir folder;
    const QString path = folder.filePath(QStringLiteral("session.csv"));
    QList<qint64> sizesSynced;
    std::atomic<int> syncError = 0;
    SessionLog log;
    log.setSync([&sizesSynced, &syncError](int handle) {
        if (syncError != 0) {
            errno = syncError;
            return -1;
        }
        std::this_thread::sleep_for(100ms);
        struct stat file
        {
        };
        fstat(handle, &file);
        sizesSynced << file.st_size;
        return 0;
    });
    std::atomic<int> failures = 0;
    QObject::connect(
        &log, &SessionLog::writeFailed, &log, [&failures] { ++failures; }, Qt::DirectConnection);
    QVERIFY(log.open(path));
    QByteArray expected = csvRow(sessionLogColumns()).toUtf8();
    auto next = std::chrono::steady_clock::now();
    std::chrono::steady_clock::duration longestAppend {};
    for (int row = 1; row <= 60; ++row) {
        const QStringList fields {QString::number(row), QStringLiteral("read")};
        const auto appending = std::chrono::steady_clock::now();
        log.append(fields);
        longestAppend = std::max(longestAppend, std::chrono::steady_clock::now() - appending);
        expected += csvRow(fields).toUtf8();
        next += 16ms;
        std::this_thread::sleep_until(next);
    }
    log.waitForWritten();

    // The window's thread, which times the reads, never waits for the disk.
    QVERIFY(longestAppend < 50ms);
    QVERIFY2(log.mostRowsWaiting() > 1 && log.mostRowsWaiting() < 10,
             qPrintable(QString::number(log.mostRowsWaiting())));
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), expected);
    // Every sync finds rows written since the one before, and the last, which has ended by now,
    // finds them all.
    QVERIFY(!sizesSynced.isEmpty());
    for (qsizetype i = 0; i < sizesSynced.size(); ++i)
        QVERIFY(sizesSynced.at(i) > (i == 0 ? 0 : sizesSynced.at(i - 1)));
    QCOMPARE(sizesSynced.last(), expected.size());

    // A file that cannot be synced at all (a pipe, a terminal) is no failure; a disk error is,
    // told once, and nothing more is written.
    syncError = EINVAL;
    log.append({QStringLiteral("61")});
    log.waitForWritten();
    QVERIFY(log.isOpen());
    // Rows appended while a group syncs all wait, and are counted to the last.
    std::atomic<bool> syncing = false;
    std::atomic<bool> synced = false;
    SessionLog held;
    held.setSync([&](int) {
        syncing = true;
        while (!synced)
            std::this_thread::sleep_for(1ms);
        return 0;
    });
    // A failed check below still lets the sync end, or closing the log would wait for ever.
    const auto release = qScopeGuard([&] { synced = true; });
    QVERIFY(held.open(folder.filePath(QStringLiteral("held.csv"))));
    held.append({QStringLiteral("0")});
    QTRY_VERIFY(syncing);
    for (int row = 1; row <= 5; ++row)
        held.append({QString::number(row)});
    synced = true;
    held.waitForWritten();
    QCOMPARE(held.mostRowsWaiting(), 5);

    syncError = EIO;
    log.append({QStringLiteral("62")});
    log.waitForWritten();
    QVERIFY(!log.isOpen());
    log.append({QStringLiteral("63")});
    log.waitForWritten();
    QTRY_COMPARE(failures.load(), 1);
    QCOMPARE(file.readAll(), QByteArray("61\r\n62\r\n"));

    // A full pipe holds the rows back until its reader takes them, as a slow disk does.
    if (!NamedPipe::supported())
        QSKIP("the system has no named pipe among its files");
    const QString pipe = folder.filePath(QStringLiteral("session.fifo"));
    NamedPipe reader(pipe);
    QVERIFY(reader.isOpen());
    SessionLog piped;
    QVERIFY(piped.open(pipe));
    QByteArray sent = csvRow(sessionLogColumns()).toUtf8();
    for (int row = 1; row <= 2000; ++row) { // more than a pipe holds
        const QStringList fields {QString::number(row), QString(40, u'x')};
        piped.append(fields);
        sent += csvRow(fields).toUtf8();
    }
    std::this_thread::sleep_for(200ms);
    QCOMPARE(reader.read(sent.size(), 2000), sent);
    QVERIFY(piped.isOpen());
    // A reader gone fails the log like a full disk, and the program goes on.
    reader.close();
    piped.append({QStringLiteral("2001")});
    piped.waitForWritten();
    QVERIFY(!piped.isOpen());
}

// What came before the window is what load's Set throws away.
void TestSessionLog::startSetsAndClearsAreLoggedInTurn()
{
    QTemporaryDir folder;
    const QString path = folder.filePath(QStringLiteral("session.csv"));
    QString device;
    bool raised = false;
    {
        LoggedWindow pelmar(path);
        device = pelmar.line.name();
        // Whether the line has modem lines at all: the start row says whether they were raised.
        raised = pelmar.line.modemLines().has_value();
        pelmar.read("012345678905", {64800, 0});
        pelmar.send("@x");
        pelmar.form.Clear->click();
        pelmar.form.Text2->setText(QStringLiteral("40000"));
        pelmar.form.Set->click();
        pelmar.form.Text2->setText(QStringLiteral("12.5"));
        pelmar.send("ab");
        pelmar.form.Set->click();
        pelmar.form.Clrlist->click();
        pelmar.unplug();
        pelmar.form.Set->click();
        pelmar.plugIn();
        pelmar.read("036000291452", {64801, 1'000'000});
        QCOMPARE(pelmar.messages.size(), 4);
    }
    if (!csvReaderPresent())
        QSKIP("Python's csv module, a reader of the log that is not Pelmar's, cannot be started "
              "here");
    QList<QStringList> rows = csvRowsOf(path);
    verifyNoFormulas(rows);
    QCOMPARE(rows.takeFirst(), sessionLogColumns());
    // Kind, number, code, received, scale and note.
    QList<QStringList> cells;
    for (const QStringList &row : rows)
        cells << (row.mid(1, 4) << row.at(11) << row.at(13));
    const QString refused = QStringLiteral("barcode length 40000: Length of barcode must be a "
                                           "number from 0 to 32765. The receive threshold stays "
                                           "at 14.");
    const QString gone = QStringLiteral("barcode length 12.5, threshold 14; The scanner's serial "
                                        "port %1 is gone (unplugged, or the line was closed at "
                                        "the far end). Pelmar opens the port again by itself once "
                                        "the scanner is back.")
                             .arg(device);
    // A pseudo-terminal has no modem lines; the Windows suite's line has them.
    const QString lines = raised ? QStringLiteral(", DTR and RTS raised")
                                 : QStringLiteral(", which has no modem lines");
    const QList<QStringList> expected {
        {"start", "", "", "", "87", "Pelmar " PELMAR_VERSION " on " + device + lines},
        {"set", "", "", "", "", "barcode length 12, threshold 14"},
        {"read", "1", "012345678905", R"(012345678905\r\n)", "", ""},
        {"clear", "", "", R"(\x40x)", "", "Clear Buffer"},
        {"set", "", "", "", "", refused},
        {"set", "", "", "ab", "", "barcode length 12.5, threshold 14"},
        {"clear", "", "", "", "", "Clear List"},
        {"set", "", "", "", "", gone},
        {"read", "1", "036000291452", R"(036000291452\r\n)", "", ""},
    };
    QCOMPARE(cells, expected);
}

void TestSessionLog::earlierLogsAreAppendedToInTheirOwnColumns_data()
{
    QTest::addColumn<QByteArray>("content"); // none for a file not there yet
    QTest::addColumn<QStringList>("header"); // the file's own after the append
    const QStringList current = sessionLogColumns();
    const QStringList previous = earlierSessionLogHeaders().constLast();
    const QByteArray row = "2026-12-08T10:00:00.000000+00:00,read,1,012345678905,,,,,,,,,,";
    QTest::newRow("a new file") << QByteArray() << current;
    QTest::newRow("this version's") << csvRow(current).toUtf8() << current;
    QTest::newRow("the previous version's") << csvRow(previous).toUtf8() + row + ",,,\r\n"
                                            << previous;
    QTest::newRow("the previous version's, its last row cut")
        << csvRow(previous).toUtf8() + row.first(40) << previous;
}

void TestSessionLog::earlierLogsAreAppendedToInTheirOwnColumns()
{
    QFETCH(QByteArray, content);
    QFETCH(QStringList, header);
    QTemporaryDir folder;
    const QString path = folder.filePath(QStringLiteral("session.csv"));
    if (!content.isNull()) {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write(content) == content.size());
    }
    SpeedRecord speed;
    speed.distanceInches = 12;
    speed.scan1 = 64800;
    speed.scan2 = 64801;
    speed.scale = 87;
    speed.modelMph = 0.681818181818182;
    speed.fullMph = 59.3181818181818;
    speed.exactMicroseconds = 1'000'000;
    speed.scan1Number = QStringLiteral("1");
    speed.scan1Code = QStringLiteral("=012345678905");
    speed.scan2Number = QStringLiteral("2");
    speed.scan2Code = QStringLiteral("036000291452");
    {
        SessionLog log;
        QVERIFY(log.open(path));
        log.append(speedFields(localTimestamp(), speed));
        log.waitForWritten();
        QVERIFY(log.isOpen());
    }
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QVERIFY(file.readAll().startsWith(content));
    const QList<QStringList> rows = csvRowsOf(path);
    QCOMPARE(rows.first(), header);
    for (const QStringList &row : rows)
        QCOMPARE(row.size(), row.size() < 5 ? row.size() : header.size());
    const QStringList &written = rows.last();
    QCOMPARE(written.mid(1, 1), QStringList {"speed"});
    QCOMPARE(written.at(16), QStringLiteral("59.3181818181818"));
    if (header.size() > 17) {
        QCOMPARE(written.mid(17), (QStringList {"1", "'=012345678905", "2", "036000291452"}));
    }
}

void TestSessionLog::speedRowsGiveTheExactTimeBesideTheListedOne_data()
{
    QTest::addColumn<QString>("distance");
    QTest::addColumn<float>("secondRead"); // the time of day, the first read's being 18:00
    QTest::addColumn<qint64>("apart"); // by the monotonic clock, in microseconds
    QTest::addColumn<QString>("unplugged"); // "before", "between" or "after" the reads, or never
    QTest::addColumn<QStringList>("cells"); // distance_in to exact_full_mph, at the scale given
    // One float step at 18:00 is 3.9 ms: the read 1.000123 s after the first is stamped 1 s
    // after it.
    QTest::newRow("a float step off")
        << "12" << 64801.000123f << qint64(1'000'123) << ""
        << cellsOf("12|64800|64801|0.681818181818182|59.3181818181818|95.46336|87|59 MPH||1.000123|"
                   "0.681734328495777|59.3108865791326");
    QTest::newRow("at N scale")
        << "12" << 64801.000123f << qint64(1'000'123) << ""
        << cellsOf("12|64800|64801|0.681818181818182|109.090909090909|175.5648|160|109 MPH||"
                   "1.000123|0.681734328495777|109.077492559324");
    QTest::newRow("backwards") << "-12" << 64801.000123f << qint64(1'000'123) << ""
                               << cellsOf("-12|64800|64801|-0.681818181818182|-59.3181818181818|"
                                          "-95.46336|87|'-59 MPH||1.000123|-0.681734328495777|"
                                          "-59.3108865791326");
    QTest::newRow("both reads in one float step")
        << "12" << 64800.001f << qint64(1'000) << ""
        << cellsOf("12|64800|64800||||87||Scan1 > Scan2, try again!|||");
    QTest::newRow("a distance beyond a double")
        << "-1e400" << 64801.000123f << qint64(1'000'123) << ""
        << cellsOf("'-Infinity|64800|64801||||87||Overflow: a distance of -Infinity inches gives "
                   "a speed too large to compute. Nothing was listed.|||");
    QTest::newRow("refused, unplugged between the reads")
        << "12" << 64800.001f << qint64(1'000) << "between"
        << cellsOf("12|64800|64800||||87||Scan1 > Scan2, try again!|||");
    QTest::newRow("unplugged between the reads")
        << "24" << 64800.5f << qint64(499'996) << "between"
        << cellsOf("24|64800|64800.5|2.72727272727273|237.272727272727|381.85344|87|237 MPH|"
                   "the scanner's port was lost and opened again between the two reads, which "
                   "may not be of one pass|0.499996|2.72729454562909|237.274625469731");
    QTest::newRow("unplugged before both reads")
        << "24" << 64800.5f << qint64(499'996) << "before"
        << cellsOf("24|64800|64800.5|2.72727272727273|237.272727272727|381.85344|87|237 MPH||"
                   "0.499996|2.72729454562909|237.274625469731");
    QTest::newRow("unplugged after both reads")
        << "24" << 64800.5f << qint64(499'996) << "after"
        << cellsOf("24|64800|64800.5|2.72727272727273|237.272727272727|381.85344|87|237 MPH||"
                   "0.499996|2.72729454562909|237.274625469731");
}

// The message and the listed line keep the single-precision read times, digit for digit.
void TestSessionLog::speedRowsGiveTheExactTimeBesideTheListedOne()
{
    QFETCH(QString, distance);
    QFETCH(float, secondRead);
    QFETCH(qint64, apart);
    QFETCH(QString, unplugged);
    QFETCH(QStringList, cells);
    constexpr qint64 FirstRead = 5'000'000'000;
    QTemporaryDir folder;
    const QString path = folder.filePath(QStringLiteral("session.csv"));
    {
        LoggedWindow pelmar(path);
        pelmar.form.setScale(cells.at(6).toDouble());
        pelmar.form.Text3->setText(distance);
        const auto unplugAndPlugIn = [&pelmar] {
            pelmar.unplug();
            pelmar.plugIn();
        };
        if (unplugged == u"before")
            unplugAndPlugIn();
        pelmar.read("012345678905", {64800, FirstRead});
        if (unplugged == u"between")
            unplugAndPlugIn();
        pelmar.read("036000291452", {secondRead, FirstRead + apart});
        if (unplugged == u"after")
            unplugAndPlugIn();
        pelmar.messages.clear();
        pelmar.form.Speed->click();
        const QString message = cells.at(3).isEmpty()
            ? cells.at(8)
            : QStringLiteral("Real speed = %1mph That would be %2mph in real life!")
                  .arg(cells.at(3), cells.at(4));
        QCOMPARE(pelmar.messages.size(), 1);
        QVERIFY2(pelmar.messages.first().endsWith(message), qPrintable(pelmar.messages.first()));
    }
    if (!csvReaderPresent())
        QSKIP("Python's csv module, a reader of the log that is not Pelmar's, cannot be started "
              "here");
    const QList<QStringList> rows = csvRowsOf(path);
    verifyNoFormulas(rows);
    QCOMPARE(rows.last().at(1), QStringLiteral("speed"));
    QCOMPARE(rows.last().mid(5, cells.size()), cells);
    // The pair is the two reads by their numbers, the port lost between them or not.
    QCOMPARE(rows.last().mid(5 + cells.size()),
             (QStringList {"1", "012345678905", "2", "036000291452"}));
}

void TestSessionLog::logAndReadTimesFollowTheClockPast2038_data()
{
    QTest::addColumn<qint64>("secondsSinceEpoch");
    QTest::addColumn<qint64>("nanoseconds");
    QTest::addColumn<QString>("timestamp");
    QTest::addColumn<double>("timeOfDay");
    QTest::newRow("winter") << Q_INT64_C(1796760245) << Q_INT64_C(123456789)
                            << "2026-12-08T21:04:05.123456+01:00" << 75845.123456789;
    QTest::newRow("summer time") << Q_INT64_C(1782900000) << Q_INT64_C(500000000)
                                 << "2026-07-01T12:00:00.500000+02:00" << 43200.5;
    QTest::newRow("last second of a 32-bit time_t")
        << Q_INT64_C(2147483647) << Q_INT64_C(999999000) << "2038-01-19T04:14:07.999999+01:00"
        << 15247.999999;
    QTest::newRow("first second past it")
        << Q_INT64_C(2147483648) << Q_INT64_C(0) << "2038-01-19T04:14:08.000000+01:00" << 15248.0;
    QTest::newRow("summer time past 2038") << Q_INT64_C(2161591200) << Q_INT64_C(250000000)
                                           << "2038-07-01T12:00:00.250000+02:00" << 43200.25;
    QTest::newRow("past an unsigned 32-bit count")
        << Q_INT64_C(4294967296) << Q_INT64_C(0) << "2106-02-07T07:28:16.000000+01:00" << 26896.0;
}

// A 32-bit system's clock cannot be set past 2038 for one process: the clock is given instead,
// with central European time in a rule that needs no time zone files.
void TestSessionLog::logAndReadTimesFollowTheClockPast2038()
{
    QFETCH(qint64, secondsSinceEpoch);
    QFETCH(qint64, nanoseconds);
    QFETCH(QString, timestamp);
    QFETCH(double, timeOfDay);
    const QByteArray zone = qgetenv("TZ");
    const bool hadZone = qEnvironmentVariableIsSet("TZ");
    const auto restore = qScopeGuard([&] {
        setClockSource({});
        if (hadZone)
            qputenv("TZ", zone);
        else
            qunsetenv("TZ");
        tzset();
    });
    qputenv("TZ", "CET-1CEST,M3.5.0,M10.5.0/3");
    tzset();
    // Windows' C library takes the zone's offset from TZ but no rule for its summer time.
    const std::time_t july = 1782900000;
    if (timestamp.endsWith(u"+02:00") && std::localtime(&july)->tm_isdst <= 0)
        QSKIP("the C library here takes no rule for summer time from TZ");
    setClockSource([=] { return ClockReading {secondsSinceEpoch, nanoseconds, 5'000'000}; });

    QCOMPARE(localTimestamp(), timestamp);
    const ReadTime read = readTime();
    QCOMPARE(read.timeOfDay, static_cast<float>(timeOfDay));
    QCOMPARE(read.monotonicMicroseconds, Q_INT64_C(5'000'000));
}

QTEST_MAIN(TestSessionLog)
#include "tst_sessionlog.moc"
