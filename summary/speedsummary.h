// Copyright (C) 2026 the Pelmar developers
// SPDX-License-Identifier: GPL-3.0-or-later

#ifndef SPEEDSUMMARY_H
#define SPEEDSUMMARY_H

#include "logreading.h"
#include "result.h"

#include <QList>
#include <QString>

#include <optional>
#include <vector>

// Every model's passes in a session summed up: a model is the two codes of its pair, in the order
// they were read.

// A pass more than this share of its model's median (of all its passes in the session) away from
// it is left out as an outlier, once the model has at least MinimumPassesForOutliers.
inline constexpr double OutlierShare = 0.10;
inline constexpr int MinimumPassesForOutliers = 3;

struct ModelSummary
{
    qint32 session = 0;
    qint32 firstCode = 0;
    qint32 secondCode = 0;
    std::vector<size_t> passes; // into Readings::speeds, outliers included, oldest first
    std::vector<size_t> outliers;
    double medianOfAllMph = 0; // what outliers are judged against
    // Of the passes kept.
    double medianMph = 0;
    double lowestMph = 0;
    double highestMph = 0;
    double spreadPercent = 0; // highest less lowest, as a share of the median
    int exactPasses = 0; // timed by the monotonic clock
    int singlePrecisionPasses = 0;
    // This median as a share of the reference model's in the same session; none when the session
    // has no reference.
    std::optional<double> againstPercent;
    bool reference = false;

    qsizetype keptPasses() const { return qsizetype(passes.size() - outliers.size()); }
};

// Why a press of Calculate Speed is not averaged in.
enum class SetAsideReason {
    Refused, // the window gave no speed: the note says why
    NoDistance, // 0 mph, as from a distance box holding no number
    WithoutReads, // the log does not say which reads the speed was worked out from
    OneCodeTwice, // a barcode read twice, as when the other was missed
    MixedPair, // the codes of two models: reads missed put the pairing out of step
    Reopened, // the scanner was unplugged between the two reads, which may not be of one pass
};

struct SetAside
{
    size_t speed; // into Readings::speeds
    SetAsideReason reason;
};

struct SpeedSummary
{
    Readings readings;
    QList<ModelSummary> models; // by session, then in the order each model first passed
    QList<SetAside> setAside; // in the order of the logs
    QString against; // the code asked for, or empty for the slowest model of each session
};

// Fails when against is given and no model of any session has that code.
Result<SpeedSummary> summariseSpeeds(Readings readings, const QString &against);

// The median of values, which it sorts.
double median(std::vector<double> &values);

// Why, in words: "Scan1 > Scan2, try again!", "reads 5 and 6 mix the codes of two models".
QString setAsideText(const SpeedSummary &summary, const SetAside &setAside);

// "A -> B", the codes with their control characters written \xHH so that no terminal acts on them
// and every page shows them.
QString modelName(const SpeedSummary &summary, qint32 firstCode, qint32 secondCode);
QString printableCode(const QString &code);

#endif // SPEEDSUMMARY_H
