#include "logrows.h"

#include "conversions.h"

#include <algorithm>

namespace {

constexpr double KilometresPerMile = 1.609344;

enum Column {
    Time,
    Kind,
    Number,
    Code,
    Received,
    DistanceInches,
    Scan1,
    Scan2,
    ModelMph,
    FullMph,
    FullKmh,
    Scale,
    Listed,
    Note,
    ColumnCount
};

// The same figures in every locale: the comma is the field separator.
QString number(double value)
{
    return numberToText(value, QStringLiteral("."));
}

} // namespace

QStringList sessionLogColumns()
{
    return {"time",  "kind",      "number",   "code",     "received", "distance_in", "scan1",
            "scan2", "model_mph", "full_mph", "full_kmh", "scale",    "listed",      "note"};
}

QStringList readFields(const QString &time, const ReadRecord &read)
{
    QStringList fields(ColumnCount);
    fields[Time] = time;
    fields[Kind] = QStringLiteral("read");
    fields[Number] = read.number;
    fields[Code] = read.code;
    fields[Received] = escapeReceived(read.received, read.marks);
    fields[Listed] = read.listed;
    return fields;
}

QStringList speedFields(const QString &time, const SpeedRecord &speed)
{
    QStringList fields(ColumnCount);
    fields[Time] = time;
    fields[Kind] = QStringLiteral("speed");
    fields[DistanceInches] = number(speed.distanceInches);
    fields[Scan1] = number(static_cast<double>(speed.scan1));
    fields[Scan2] = number(static_cast<double>(speed.scan2));
    if (speed.modelMph && speed.fullMph) {
        fields[ModelMph] = number(*speed.modelMph);
        fields[FullMph] = number(*speed.fullMph);
        fields[FullKmh] = number(*speed.fullMph * KilometresPerMile);
    }
    fields[Scale] = number(speed.scale);
    fields[Listed] = speed.listed;
    fields[Note] = speed.note;
    return fields;
}

QString escapeReceived(const QString &received, const QList<qsizetype> &marks)
{
    QString escaped;
    escaped.reserve(received.size());
    for (qsizetype i = 0; i < received.size(); ++i) {
        const char16_t c = received.at(i).unicode();
        if (std::binary_search(marks.begin(), marks.end(), i))
            escaped += QStringLiteral("\\?");
        else if (c == u'\\')
            escaped += QStringLiteral("\\\\");
        else if (c == u'\r')
            escaped += QStringLiteral("\\r");
        else if (c == u'\n')
            escaped += QStringLiteral("\\n");
        else if (c == u'\t')
            escaped += QStringLiteral("\\t");
        else if (c == 0)
            escaped += QStringLiteral("\\0");
        else if (c < 0x20 || c >= 0x7F)
            escaped += QStringLiteral("\\x%1").arg(static_cast<int>(c), 2, 16, QLatin1Char('0'));
        else
            escaped += QChar(c);
    }
    return escaped;
}

QString csvRow(const QStringList &fields)
{
    QString row;
    for (qsizetype i = 0; i < fields.size(); ++i) {
        if (i > 0)
            row += u',';
        const QString &field = fields.at(i);
        if (field.contains(u',') || field.contains(u'"') || field.contains(u'\r')
            || field.contains(u'\n')) {
            row += u'"' + QString(field).replace(u'"', QStringLiteral("\"\"")) + u'"';
        } else {
            row += field;
        }
    }
    return row + QStringLiteral("\r\n");
}
