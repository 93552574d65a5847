// Copyright (C) 2026 the Pelmar developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "speedsummary.h"

#include <QHash>

#include <algorithm>
#include <cmath>
#include <map>
#include <utility>

namespace {

using Pair = std::pair<qint32, qint32>;

// Each code belongs to the pair it was read in most often, the first such pair on a tie. A pair
// whose two codes belong to one model is that model, read one way or the other; a pair whose codes
// belong to two is a pairing out of step.
QHash<qint32, Pair> ownersOfCodes(const Readings &readings, const std::vector<size_t> &candidates)
{
    std::map<Pair, qint64> counts;
    std::vector<Pair> firstSeen;
    for (const size_t index : candidates) {
        const SpeedPress &speed = readings.speeds[index];
        const Pair pair {speed.firstCode, speed.secondCode};
        if (counts[pair]++ == 0)
            firstSeen.push_back(pair);
    }
    QHash<qint32, Pair> owners;
    QHash<qint32, qint64> ownersCounts;
    for (const Pair &pair : firstSeen) {
        for (const qint32 code : {pair.first, pair.second}) {
            if (!owners.contains(code) || counts[pair] > ownersCounts.value(code)) {
                owners.insert(code, pair);
                ownersCounts.insert(code, counts[pair]);
            }
        }
    }
    return owners;
}

void summariseModel(const Readings &readings, ModelSummary &model)
{
    std::vector<double> all;
    for (const size_t index : model.passes)
        all.push_back(readings.speeds[index].bestMph());
    model.medianOfAllMph = median(all);
    std::vector<double> kept;
    for (const size_t index : model.passes) {
        const SpeedPress &speed = readings.speeds[index];
        const double mph = speed.bestMph();
        if (model.passes.size() >= MinimumPassesForOutliers
            && std::abs(mph - model.medianOfAllMph)
                > OutlierShare * std::abs(model.medianOfAllMph)) {
            model.outliers.push_back(index);
            continue;
        }
        kept.push_back(mph);
        ++(speed.exact() ? model.exactPasses : model.singlePrecisionPasses);
    }
    model.medianMph = median(kept);
    model.lowestMph = kept.front();
    model.highestMph = kept.back();
    model.spreadPercent = model.medianMph == 0
        ? 0
        : (model.highestMph - model.lowestMph) / std::abs(model.medianMph) * 100;
}

// Each session's models against the one with the code asked for (the one read that way first,
// when it ran both ways), or against the slowest.
bool compareModels(SpeedSummary &summary)
{
    bool found = false;
    const qsizetype code = summary.readings.texts.indexOf(summary.against);
    for (qsizetype first = 0; first < summary.models.size();) {
        qsizetype end = first;
        while (end < summary.models.size()
               && summary.models[end].session == summary.models[first].session)
            ++end;
        std::optional<qsizetype> reference;
        for (qsizetype i = first; i < end; ++i) {
            const ModelSummary &model = summary.models[i];
            if (summary.against.isEmpty()) {
                if (!reference || model.medianMph < summary.models[*reference].medianMph)
                    reference = i;
            } else if (model.firstCode == code) {
                reference = i;
            } else if (model.secondCode == code && !reference) {
                reference = i;
            }
        }
        // A reference of 0 mph, which only speeds both ways at once can give, is no reference.
        if (reference && summary.models[*reference].medianMph == 0)
            reference.reset();
        if (reference) {
            found = true;
            summary.models[*reference].reference = true;
            const double against = summary.models[*reference].medianMph;
            for (qsizetype i = first; i < end; ++i)
                summary.models[i].againstPercent = summary.models[i].medianMph / against * 100;
        }
        first = end;
    }
    return found || summary.models.isEmpty();
}

} // namespace

double median(std::vector<double> &values)
{
    std::sort(values.begin(), values.end());
    const size_t middle = values.size() / 2;
    return values.size() % 2 == 1 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

Result<SpeedSummary> summariseSpeeds(Readings readings, const QString &against)
{
    SpeedSummary summary;
    summary.against = against;
    std::vector<size_t> candidates;
    for (size_t index = 0; index < readings.speeds.size(); ++index) {
        const SpeedPress &speed = readings.speeds[index];
        std::optional<SetAsideReason> reason;
        if (speed.refused())
            reason = SetAsideReason::Refused;
        else if (speed.bestMph() == 0)
            reason = SetAsideReason::NoDistance;
        else if (speed.firstCode < 0 || speed.secondCode < 0)
            reason = SetAsideReason::WithoutReads;
        else if (speed.firstCode == speed.secondCode)
            reason = SetAsideReason::OneCodeTwice;
        else if (speed.note >= 0)
            reason = SetAsideReason::Reopened;
        if (reason)
            summary.setAside << SetAside {index, *reason};
        else
            candidates.push_back(index);
    }
    const QHash<qint32, Pair> owners = ownersOfCodes(readings, candidates);
    std::map<std::pair<qint32, Pair>, qsizetype> modelIndexes;
    for (const size_t index : candidates) {
        const SpeedPress &speed = readings.speeds[index];
        if (owners.value(speed.firstCode) != owners.value(speed.secondCode)) {
            summary.setAside << SetAside {index, SetAsideReason::MixedPair};
            continue;
        }
        const auto key = std::pair(speed.session, Pair {speed.firstCode, speed.secondCode});
        const auto [found, added] = modelIndexes.try_emplace(key, summary.models.size());
        if (added) {
            ModelSummary model;
            model.session = speed.session;
            model.firstCode = speed.firstCode;
            model.secondCode = speed.secondCode;
            summary.models << model;
        }
        summary.models[found->second].passes.push_back(index);
    }
    std::stable_sort(summary.models.begin(), summary.models.end(),
                     [](const ModelSummary &one, const ModelSummary &other) {
                         return one.session < other.session;
                     });
    std::sort(summary.setAside.begin(), summary.setAside.end(),
              [](const SetAside &one, const SetAside &other) { return one.speed < other.speed; });
    for (ModelSummary &model : summary.models)
        summariseModel(readings, model);
    summary.readings = std::move(readings);
    if (!compareModels(summary))
        return Result<SpeedSummary>::failure(
            QStringLiteral("--against %1: no model in these logs has that code").arg(against));
    return Result<SpeedSummary>(std::move(summary));
}

QString printableCode(const QString &code)
{
    QString printable;
    for (const QChar c : code) {
        const char16_t unit = c.unicode();
        if (unit < 0x20 || (unit >= 0x7F && unit < 0xA0))
            printable
                += QStringLiteral("\\x%1").arg(static_cast<int>(unit), 2, 16, QLatin1Char('0'));
        else
            printable += c;
    }
    return printable;
}

QString modelName(const SpeedSummary &summary, qint32 firstCode, qint32 secondCode)
{
    const auto code = [&summary](qint32 id) {
        return id < 0 ? QStringLiteral("?") : printableCode(summary.readings.texts.at(id));
    };
    return code(firstCode) + QStringLiteral(" -> ") + code(secondCode);
}

QString setAsideText(const SpeedSummary &summary, const SetAside &setAside)
{
    const SpeedPress &speed = summary.readings.speeds[setAside.speed];
    const auto reads = [&speed] {
        const auto number
            = [](qint64 value) { return value < 0 ? QStringLiteral("?") : QString::number(value); };
        return QStringLiteral("reads %1 and %2")
            .arg(number(speed.firstNumber), number(speed.secondNumber));
    };
    switch (setAside.reason) {
    case SetAsideReason::Refused:
        return summary.readings.texts.value(speed.note);
    case SetAsideReason::NoDistance:
        return QStringLiteral("no distance between the barcodes was typed, which gives 0 mph");
    case SetAsideReason::WithoutReads:
        return QStringLiteral("the log does not say which reads it was worked out from");
    case SetAsideReason::OneCodeTwice:
        return reads() + QStringLiteral(" are one code twice, as when a read is missed");
    case SetAsideReason::MixedPair:
        return reads() + QStringLiteral(" mix the codes of two models, as when a read is missed");
    case SetAsideReason::Reopened:
        return summary.readings.texts.value(speed.note);
    }
    return {};
}
