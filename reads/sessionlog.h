#ifndef SESSIONLOG_H
#define SESSIONLOG_H

#include <QFile>
#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

// One read as it goes into the log.
struct ReadRecord
{
    QString number;
    QString code; // as listed
    QString received; // every character the read took from the port
    QList<qsizetype> marks; // where received holds a '?' for a byte with a parity error
    QString listed; // the line put on top of the list
};

// One press of Calculate Speed as it goes into the log.
struct SpeedRecord
{
    double distanceInches = 0;
    float scan1 = 0;
    float scan2 = 0;
    double scale = 0;
    std::optional<double> modelMph; // none when the speed was refused or overflowed
    std::optional<double> fullMph;
    QString listed; // the line put on top of the list, or empty
    QString note; // why nothing was listed, or empty
};

// The log's columns, its header row.
QStringList sessionLogColumns();
QStringList readFields(const QString &time, const ReadRecord &read);
QStringList speedFields(const QString &time, const SpeedRecord &speed);

// The received characters, one a byte, in printable ASCII that keeps every byte apart: \\ for a
// backslash, \r \n \t \0, \xHH for any other byte below 0x20, 0x7F and from 0x80 up, and \? for
// a '?' put in place of a byte with a parity error (a real '?' stays '?').
QString escapeReceived(const QString &received, const QList<qsizetype> &marks);

// One row of RFC 4180 CSV, ended by CR LF: a field holding a comma, a quote, CR or LF is quoted
// and its quotes doubled.
QString csvRow(const QStringList &fields);

// The session's record in a file: one row appended for every read and every speed, and handed
// to the disk before the next, so that a crash or a power cut loses at most the row being written.
class SessionLog
{
public:
    // Opens path to append to; the first row is preceded by the header when the file is new or
    // empty. Returns why it cannot be opened, or empty text.
    QString open(const QString &path);
    bool isOpen() const { return m_file.isOpen(); }
    QString path() const { return m_file.fileName(); }
    // Appends one row. Returns why it could not be written, or empty text; the log is closed
    // after a failure, so that the user is told once.
    QString append(const QStringList &fields);

private:
    QFile m_file;
    bool m_headerDue = false;
};

#endif // SESSIONLOG_H
