// Copyright (C) 2026 the Pelmar developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "commandline.h"

#include "portcheck.h"
#include "runsummary.h"
#include "serialports.h"
#include "standardstreams.h"

#include <QCoreApplication>
#include <QLocale>

#include <cmath>
#include <cstdio>

namespace {

// Not QCommandLineParser's own, which adds --help-all for Qt's options: this command line is
// read before Qt is started and does not take them.
const QCommandLineOption HelpOption({QStringLiteral("h"), QStringLiteral("help")},
                                    QStringLiteral("Show this help and exit."));
const QCommandLineOption VersionOption({QStringLiteral("v"), QStringLiteral("version")},
                                       QStringLiteral("Show the version and exit."));
const QCommandLineOption PortOption(
    QStringLiteral("port"),
    portNamingHelp()
        + QStringLiteral(" Without it: PELMAR_PORT, the remembered port, %1 when it is the only "
                         "port, else Pelmar asks.")
              .arg(devicePathForPort(1)),
    QStringLiteral("device"));
const QCommandLineOption ListPortsOption(QStringLiteral("list-ports"),
                                         QStringLiteral("List the serial ports found and exit."));
const QCommandLineOption CheckPortOption(
    QStringLiteral("check-port"),
    QStringLiteral("Check <port> as the scanner's (no window): print what the system and the "
                   "adapter tell, every byte received, and what an unplug and a plug-in do; "
                   "send it with a problem report."),
    QStringLiteral("port"));
const QCommandLineOption
    LogOption(QStringLiteral("log"),
              QStringLiteral("Append a CSV row to <file> at the start and for every read, "
                             "speed, Set and clear; a file under another header is refused."),
              QStringLiteral("file"));
const QCommandLineOption SummaryOption(QStringLiteral("summary"), QString(SummaryHelp),
                                       QStringLiteral("log"));
const QCommandLineOption SummaryCsvOption(QStringLiteral("summary-csv"), QString(SummaryCsvHelp),
                                          QStringLiteral("file"));
const QCommandLineOption ReportOption(QStringLiteral("report"), QString(ReportHelp),
                                      QStringLiteral("file.html"));
const QCommandLineOption AgainstOption(QStringLiteral("against"), QString(AgainstHelp),
                                       QStringLiteral("code"));
const QCommandLineOption ScaleOption(
    QStringLiteral("scale"),
    QStringLiteral("The model's scale ratio for the full-size speed: 87 for HO (the default), "
                   "22.5 G, 48 O, 120 TT, 160 N, 220 Z."),
    QStringLiteral("ratio"));

} // namespace

CommandLine::CommandLine(const QStringList &arguments)
{
    m_parser.setApplicationDescription(
        QStringLiteral("Lists what a serial barcode scanner reads and measures the speed of a "
                       "model passing it."));
    m_parser.addOptions({HelpOption, VersionOption, PortOption, ListPortsOption, CheckPortOption,
                         LogOption, ScaleOption, SummaryOption, SummaryCsvOption, ReportOption,
                         AgainstOption});

    if (!m_parser.parse(arguments)) {
        m_action = Refuse;
        m_error = m_parser.errorText();
        return;
    }
    const bool summing = m_parser.isSet(SummaryOption);
    for (const QCommandLineOption &option : {SummaryCsvOption, ReportOption, AgainstOption}) {
        if (!summing && m_parser.isSet(option)) {
            m_action = Refuse;
            m_error = QStringLiteral("--%1 goes with --summary.").arg(option.names().constFirst());
            return;
        }
    }
    // pelmar --summary A.csv B.csv: the logs after the first are the arguments left.
    if (!summing && !m_parser.positionalArguments().isEmpty()) {
        m_action = Refuse;
        m_error = QStringLiteral("Unexpected argument '%1'.")
                      .arg(m_parser.positionalArguments().constFirst());
        return;
    }
    if (m_parser.isSet(ScaleOption)) {
        const QString text = m_parser.value(ScaleOption);
        bool number = false;
        m_scale = QLocale::c().toDouble(text, &number);
        if (!number || !std::isfinite(m_scale) || m_scale <= 0) {
            m_action = Refuse;
            m_error
                = QStringLiteral("The scale '%1' is not a positive number (87 for HO).").arg(text);
            return;
        }
    }
    m_port = m_parser.value(PortOption);
    m_logFile = m_parser.value(LogOption);
    if (m_parser.isSet(HelpOption))
        m_action = ShowHelp;
    else if (m_parser.isSet(VersionOption))
        m_action = ShowVersion;
    else if (m_parser.isSet(ListPortsOption))
        m_action = ListPorts;
    else if (m_parser.isSet(CheckPortOption))
        m_action = CheckPort;
    else if (summing)
        m_action = Summarize;
}

int CommandLine::runWithoutWindow() const
{
    switch (m_action) {
    case ShowHelp:
        writeText(stdout, m_parser.helpText());
        return 0;
    case ShowVersion:
        writeText(stdout,
                  QStringLiteral("%1 %2\n").arg(QCoreApplication::applicationName(),
                                                QCoreApplication::applicationVersion()));
        return 0;
    case ListPorts:
        writeText(stdout, portListing(availableSerialPorts()));
        return 0;
    case CheckPort:
        return checkPort(m_parser.value(CheckPortOption), stdout);
    case Summarize:
        return runSummary(
            {m_parser.values(SummaryOption) + m_parser.positionalArguments(),
             m_parser.value(SummaryCsvOption), m_parser.value(ReportOption),
             m_parser.value(AgainstOption)},
            [](const QString &text) { writeText(stdout, text); },
            [](const QString &line) {
                writeText(stderr, QStringLiteral("pelmar: %1\n").arg(line));
            });
    case Refuse:
        writeText(stderr, QStringLiteral("pelmar: %1\n\n").arg(m_error) + m_parser.helpText());
        return 2;
    case OpenWindow:
        break;
    }
    return 0;
}
