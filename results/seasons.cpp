#include "results/seasons.h"

#include "results/atomicfile.h"
#include "results/reportfile.h"

#include <QCryptographicHash>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>
#include <map>
#include <optional>

namespace Quorvane {

namespace {

const QString ReportKey = QStringLiteral("report_sha1");
const QString PhrasesKey = QStringLiteral("phrases");
const QString PhraseKey = QStringLiteral("phrase");
const QString MonthsKey = QStringLiteral("months");
const QString YearKey = QStringLiteral("year");
const QString MonthKey = QStringLiteral("month");
const QString SearchesKey = QStringLiteral("searches");

// A seasons file is a hundred phrases of twelve months; anything far larger is not one.
constexpr qint64 MaxSeasonsBytes = 4 * 1024 * 1024;

QByteArray sha1Hex(const QByteArray &bytes)
{
    return QCryptographicHash::hash(bytes, QCryptographicHash::Sha1).toHex();
}

std::optional<QByteArray> fileBytes(const QString &path, qint64 limit)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly) || file.size() > limit)
        return std::nullopt;
    QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError)
        return std::nullopt;
    return bytes;
}

} // namespace

QString seasonsPath(const QString &reportPath)
{
    QString base = reportPath;
    if (base.endsWith(QLatin1String(".kwd"), Qt::CaseInsensitive))
        base.chop(4);
    return base + QStringLiteral(".months.json");
}

Seasons normalizedSeasons(const Seasons &seasons)
{
    Seasons result;
    for (auto it = seasons.cbegin(); it != seasons.cend(); ++it) {
        std::map<int, qint64> byMonth;
        for (const MonthlySearches &m : it.value()) {
            if (m.month < 1 || m.month > 12 || m.year < 1 || m.year > 9999 || m.searches < 0)
                continue;
            byMonth[m.year * 12 + m.month - 1] = m.searches;
        }
        QList<MonthlySearches> months;
        for (const auto &[index, searches] : byMonth)
            months.append({index / 12, index % 12 + 1, searches});
        if (months.size() > SeasonMonths)
            months = months.mid(months.size() - SeasonMonths);
        if (!months.isEmpty())
            result.insert(it.key(), months);
    }
    return result;
}

QByteArray seasonsFileBytes(const Seasons &seasons, const QByteArray &reportBytes)
{
    const Seasons normal = normalizedSeasons(seasons);
    QStringList phrases = normal.keys();
    std::sort(phrases.begin(), phrases.end());
    QJsonArray list;
    for (const QString &phrase : std::as_const(phrases)) {
        QJsonArray months;
        for (const MonthlySearches &m : normal.value(phrase))
            months.append(QJsonObject {
                {YearKey, m.year}, {MonthKey, m.month}, {SearchesKey, double(m.searches)}});
        list.append(QJsonObject {{PhraseKey, phrase}, {MonthsKey, months}});
    }
    const QJsonObject root {{ReportKey, QString::fromLatin1(sha1Hex(reportBytes))},
                            {PhrasesKey, list}};
    return QJsonDocument(root).toJson(QJsonDocument::Indented);
}

bool writeSeasons(const QString &reportPath, const Seasons &seasons, QString *error)
{
    const QString path = seasonsPath(reportPath);
    if (normalizedSeasons(seasons).isEmpty()) {
        // No months from this run: whatever an earlier run left must not be shown with it.
        if (QFileInfo::exists(path) && !QFile::remove(path)) {
            if (error)
                *error = QStringLiteral("cannot remove %1").arg(path);
            return false;
        }
        return true;
    }
    const std::optional<QByteArray> report = fileBytes(reportPath, MaxSeasonsBytes);
    if (!report) {
        if (error)
            *error = QStringLiteral("cannot read %1").arg(reportPath);
        return false;
    }
    return writeFileAtomically(path, seasonsFileBytes(seasons, *report), error);
}

bool writeSeasons(const ReportFolder &folder, const QString &keyword, const Seasons &seasons,
                  QString *error)
{
    const QString existing = folder.existingName(reportFileName(keyword));
    return writeSeasons(folder.filePath(existing.isEmpty() ? reportFileName(keyword) : existing),
                        seasons, error);
}

Seasons readSeasons(const QString &reportPath)
{
    const std::optional<QByteArray> bytes = fileBytes(seasonsPath(reportPath), MaxSeasonsBytes);
    const std::optional<QByteArray> report = fileBytes(reportPath, MaxSeasonsBytes);
    if (!bytes || !report)
        return {};
    const QJsonObject root = QJsonDocument::fromJson(*bytes).object();
    if (root.value(ReportKey).toString().toLatin1() != sha1Hex(*report))
        return {};
    Seasons seasons;
    for (const QJsonValue &entry : root.value(PhrasesKey).toArray()) {
        const QJsonObject phrase = entry.toObject();
        QList<MonthlySearches> months;
        for (const QJsonValue &value : phrase.value(MonthsKey).toArray()) {
            const QJsonObject m = value.toObject();
            months.append({m.value(YearKey).toInt(), m.value(MonthKey).toInt(),
                           qint64(m.value(SearchesKey).toDouble(-1))});
        }
        seasons.insert(phrase.value(PhraseKey).toString(), months);
    }
    return normalizedSeasons(seasons);
}

} // namespace Quorvane
