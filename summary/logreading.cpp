// Copyright (C) 2026 the Pelmar developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "logreading.h"

#include "csvrecords.h"
#include "logrows.h"

#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QStringDecoder>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>

namespace {

constexpr double NotANumber = std::numeric_limits<double>::quiet_NaN();

// The columns the summary reads, found in the log's header by the names Pelmar writes; -1 where
// a header has none.
struct Columns
{
    explicit Columns(const QStringList &header)
    {
        const QStringList names = sessionLogColumns();
        const auto at = [&](qsizetype column) { return header.indexOf(names.at(column)); };
        time = at(LogColumn::Time);
        kind = at(LogColumn::Kind);
        number = at(LogColumn::Number);
        code = at(LogColumn::Code);
        fullMph = at(LogColumn::FullMph);
        scale = at(LogColumn::Scale);
        note = at(LogColumn::Note);
        exactFullMph = at(LogColumn::ExactFullMph);
        scan1Number = at(LogColumn::Scan1Number);
        scan1Code = at(LogColumn::Scan1Code);
        scan2Number = at(LogColumn::Scan2Number);
        scan2Code = at(LogColumn::Scan2Code);
        count = header.size();
    }

    qsizetype time;
    qsizetype kind;
    qsizetype number;
    qsizetype code;
    qsizetype fullMph;
    qsizetype scale;
    qsizetype note;
    qsizetype exactFullMph;
    qsizetype scan1Number;
    qsizetype scan1Code;
    qsizetype scan2Number;
    qsizetype scan2Code;
    qsizetype count;
};

// A read as the window keeps it for the pair.
struct PairRead
{
    qint32 number = -1;
    qint32 code = -1;
};

QString cellText(QByteArrayView cell)
{
    return textOfCell(QString::fromUtf8(cell));
}

// NaN for an empty cell, nothing for one that is not a number.
std::optional<double> numberOf(QByteArrayView cell)
{
    if (cell.isEmpty())
        return NotANumber;
    double value = 0;
    const auto [end, error] = std::from_chars(cell.data(), cell.data() + cell.size(), value);
    if (error != std::errc() || end != cell.data() + cell.size() || !std::isfinite(value))
        return std::nullopt;
    return value;
}

qint32 wholeNumberOf(QByteArrayView cell)
{
    qint32 value = -1;
    const auto [end, error] = std::from_chars(cell.data(), cell.data() + cell.size(), value);
    return error == std::errc() && end == cell.data() + cell.size() && value >= 0 ? value : -1;
}

bool isUtf8(QByteArrayView bytes)
{
    if (std::all_of(bytes.begin(), bytes.end(), [](char c) { return (c & 0x80) == 0; }))
        return true;
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString text = decoder.decode(bytes);
    return !decoder.hasError();
}

// Reads one log into readings, row by row, as the window went through them.
class LogReader
{
public:
    LogReader(Readings &readings, qsizetype log, const Columns &columns)
        : m_readings(readings), m_log(log), m_columns(columns)
    {
    }

    void take(qint64 line, const std::vector<QByteArrayView> &cells);
    void leaveOut(qint64 line, const QString &why);

private:
    Session &session() { return m_readings.sessions.last(); }
    void startSession(qint64 line, std::optional<LogTime> started);
    void takeSpeed(qint64 line, const LogTime &time, const std::vector<QByteArrayView> &cells);
    qint32 textId(const QString &text);
    PairRead pairRead(QByteArrayView number, QByteArrayView code);
    bool hasPairColumns() const { return m_columns.scan2Code >= 0; }

    Readings &m_readings;
    qsizetype m_log;
    const Columns &m_columns;
    QHash<QString, qint32> m_textIds;
    bool m_inSession = false;
    // The window's pairing, for a log whose speed rows do not name their pair: the next read is
    // the first of a pair, and the two reads of the pair, while known.
    std::optional<bool> m_nextIsFirst;
    std::optional<PairRead> m_scan1;
    std::optional<PairRead> m_scan2;
    // The press of Calculate Speed before, while no read has come since.
    std::optional<size_t> m_lastPress;
};

qint32 LogReader::textId(const QString &text)
{
    const auto found = m_textIds.constFind(text);
    if (found != m_textIds.constEnd())
        return *found;
    const qint32 id = static_cast<qint32>(m_readings.texts.size());
    m_readings.texts << text;
    m_textIds.insert(text, id);
    return id;
}

PairRead LogReader::pairRead(QByteArrayView number, QByteArrayView code)
{
    if (number.isEmpty())
        return {};
    return {wholeNumberOf(number), textId(cellText(code))};
}

void LogReader::startSession(qint64 line, std::optional<LogTime> started)
{
    Session session;
    session.log = m_log;
    session.firstLine = line;
    session.lastLine = line;
    session.started = started;
    m_readings.sessions << session;
    m_inSession = true;
    m_lastPress.reset();
    if (!started) {
        // Rows before any start row: the window's pairing before them is not known.
        m_nextIsFirst.reset();
        m_scan1.reset();
        m_scan2.reset();
        return;
    }
    // A new Pelmar has read nothing yet: its Scan1 and Scan2 are 0, and no speed can be had.
    m_nextIsFirst = true;
    m_scan1 = PairRead {};
    m_scan2 = PairRead {};
}

// A row that cannot be taken may be a read: the pairing is not known until the window's own
// pairing starts again.
void LogReader::leaveOut(qint64 line, const QString &why)
{
    m_readings.problems << LogProblem {m_log, line, why};
    m_nextIsFirst.reset();
    m_scan1.reset();
    m_scan2.reset();
    m_lastPress.reset();
}

void LogReader::take(qint64 line, const std::vector<QByteArrayView> &cells)
{
    if (static_cast<qsizetype>(cells.size()) != m_columns.count) {
        leaveOut(line,
                 QStringLiteral("a row of %1 cells where the header has %2, as of a row cut short "
                                "by a crash: left out")
                     .arg(cells.size())
                     .arg(m_columns.count));
        return;
    }
    const QByteArrayView kind = cells[m_columns.kind];
    // Only the times of starts and speeds are used; a read's is never read.
    std::optional<LogTime> time;
    if (kind == "start" || kind == "speed") {
        time = parseLogTime(cells[m_columns.time]);
        if (!time) {
            leaveOut(line, QStringLiteral("its time is not one a Pelmar log writes: left out"));
            return;
        }
    }
    if (kind == "start") {
        startSession(line, time);
        const std::optional<double> scale = numberOf(cells[m_columns.scale]);
        session().scale = scale.value_or(0);
        session().startNote = cellText(cells[m_columns.note]);
        return;
    }
    if (!m_inSession)
        startSession(line, std::nullopt);
    session().lastLine = line;
    if (kind == "read") {
        m_lastPress.reset();
        // A log whose speed rows name their pair needs the window's pairing no more.
        if (!m_nextIsFirst || hasPairColumns())
            return;
        (*m_nextIsFirst ? m_scan1 : m_scan2)
            = pairRead(cells[m_columns.number], cells[m_columns.code]);
        m_nextIsFirst = !*m_nextIsFirst;
    } else if (kind == "speed") {
        takeSpeed(line, *time, cells);
    } else if (kind == "clear") {
        if (cellText(cells[m_columns.note]) == u"Clear List")
            m_nextIsFirst = true;
    } else if (kind != "set") {
        leaveOut(line,
                 QStringLiteral("its kind, %1, is not one a Pelmar log writes: left out")
                     .arg(cellText(kind)));
    }
}

void LogReader::takeSpeed(qint64 line, const LogTime &time,
                          const std::vector<QByteArrayView> &cells)
{
    const std::optional<double> full = numberOf(cells[m_columns.fullMph]);
    const std::optional<double> exact
        = m_columns.exactFullMph >= 0 ? numberOf(cells[m_columns.exactFullMph]) : NotANumber;
    const std::optional<double> scale = numberOf(cells[m_columns.scale]);
    if (!full || !exact || !scale) {
        leaveOut(line, QStringLiteral("a speed row whose figures are not numbers: left out"));
        return;
    }
    SpeedPress press;
    press.utcMicroseconds = time.utcMicroseconds;
    press.utcOffsetSeconds = time.offsetSeconds;
    press.fullMph = *full;
    press.exactFullMph = *exact;
    press.session = static_cast<qint32>(m_readings.sessions.size() - 1);
    const QString note = cellText(cells[m_columns.note]);
    press.note = note.isEmpty() ? -1 : textId(note);
    std::optional<PairRead> first;
    std::optional<PairRead> second;
    if (hasPairColumns()) {
        first = pairRead(cells[m_columns.scan1Number], cells[m_columns.scan1Code]);
        second = pairRead(cells[m_columns.scan2Number], cells[m_columns.scan2Code]);
    } else {
        first = m_scan1;
        second = m_scan2;
        press.pairFromReads = true;
    }
    if (first && second) {
        press.firstCode = first->code;
        press.firstNumber = first->number;
        press.secondCode = second->code;
        press.secondNumber = second->number;
    }
    if (session().scale == 0 && !std::isnan(*scale))
        session().scale = *scale;
    // Calculate Speed pressed again with no read since works on the same pair: it is the same
    // pass, and the last press, with the distance as finally typed, is the one that counts.
    if (m_lastPress) {
        m_readings.speeds[*m_lastPress] = press;
        ++session().repeatedPresses;
        return;
    }
    m_lastPress = m_readings.speeds.size();
    m_readings.speeds.push_back(press);
}

Result<> readLog(Readings &readings, qsizetype log)
{
    const QString &path = readings.logs.at(log);
    const QFileInfo info(path);
    if (!info.exists())
        return Result<>::failure(QStringLiteral("%1: no such file").arg(path));
    if (info.isDir())
        return Result<>::failure(QStringLiteral("%1 is a folder, not a session log").arg(path));
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return Result<>::failure(
            QStringLiteral("%1 cannot be read: %2").arg(path, file.errorString()));
    CsvRecords records(file);
    const CsvRecords::Outcome first = records.next();
    if (first == CsvRecords::Outcome::End)
        return Result<>::failure(
            QStringLiteral("%1 is empty, where a session log begins with its header").arg(path));
    if (first == CsvRecords::Outcome::ReadFailed)
        return Result<>::failure(
            QStringLiteral("%1 cannot be read: %2").arg(path, records.errorString()));
    QStringList header;
    if (first == CsvRecords::Outcome::Record) {
        for (const QByteArrayView field : records.fields())
            header << QString::fromLatin1(field);
    }
    const QList<QStringList> headers = earlierSessionLogHeaders() << sessionLogColumns();
    if (!headers.contains(header))
        return Result<>::failure(QStringLiteral("%1 is not a Pelmar session log: its first line "
                                                "is not the header of one")
                                     .arg(path));
    const Columns columns(header);
    LogReader reader(readings, log, columns);
    for (;;) {
        switch (records.next()) {
        case CsvRecords::Outcome::Record:
            if (isUtf8(records.raw()))
                reader.take(records.line(), records.fields());
            else
                reader.leaveOut(records.line(),
                                QStringLiteral("bytes that are not UTF-8, which Pelmar never "
                                               "writes: left out"));
            break;
        case CsvRecords::Outcome::End:
            return {};
        case CsvRecords::Outcome::CutShort:
            reader.leaveOut(records.line(),
                            QStringLiteral("the last row is cut short, as by a crash while it was "
                                           "written: the log is summed up to the row before it"));
            return {};
        case CsvRecords::Outcome::TooLong:
            reader.leaveOut(records.line(),
                            QStringLiteral("a row longer than any a Pelmar log holds (a quote "
                                           "left open?): the log is summed up to the row before "
                                           "it"));
            return {};
        case CsvRecords::Outcome::ReadFailed:
            reader.leaveOut(records.line(),
                            QStringLiteral("the log could not be read on (%1): it is summed up to "
                                           "the row before")
                                .arg(records.errorString()));
            return {};
        }
    }
}

} // namespace

Result<> readSessionLogs(const QStringList &paths, Readings &readings)
{
    readings.logs = paths;
    for (qsizetype log = 0; log < paths.size(); ++log) {
        if (const Result<> read = readLog(readings, log); !read)
            return read;
    }
    return {};
}
