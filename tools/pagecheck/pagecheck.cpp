// quorvane-pagecheck: what a saved page yields, as one JSON object, so that a changed page of
// a service can be looked at without running the program.

#include "pageparsers.h"
#include "pagetext.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>
#include <cstdio>
#include <vector>

using namespace Quorvane;

namespace {

constexpr int UsageError = 2;

int fail(const QString &message)
{
    std::fprintf(stderr, "quorvane-pagecheck: %s\n", qPrintable(message));
    std::fprintf(stderr,
                 "usage: quorvane-pagecheck keyword FILE... [--repeat N]\n"
                 "       quorvane-pagecheck results FILE [KEY] [--repeat N]\n");
    return UsageError;
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    const size_t middle = values.size() / 2;
    return values.size() % 2 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

QJsonObject keywordReport(const QStringList &pages, QStringList &status)
{
    SuggestionTable table;
    const bool stop = false;
    const StatusSink sink = [&status](const QString &text) {
        status << text;
    };
    bool result = false;
    for (const QString &page : pages)
        result = ParseKeyword(page, QString(), table, stop, sink);

    const int count = qBound<int>(0, table.SuggestionCount, MaxSuggestions);
    QJsonArray entries;
    for (int i = 0; i < count; ++i) {
        entries.append(QJsonObject {{QStringLiteral("searches"), table.Entries[i].Searches},
                                    {QStringLiteral("keyword"), table.Entries[i].Keyword}});
    }
    QJsonObject report {{QStringLiteral("result"), result},
                        {QStringLiteral("suggestionCount"), table.SuggestionCount},
                        {QStringLiteral("noSuggestions"), table.NoSuggestions},
                        {QStringLiteral("entries"), entries}};
    if (count < MaxSuggestions) {
        report.insert(QStringLiteral("next"),
                      QJsonObject {{QStringLiteral("searches"), table.Entries[count].Searches}});
    }
    return report;
}

QJsonObject resultsReport(const QString &page, const QString &key, QStringList &status)
{
    SuggestionTable table;
    const bool stop = false;
    const StatusSink sink = [&status](const QString &text) {
        status << text;
    };
    const bool result = ParseGoogleResults(page, key, table, stop, sink);
    const int entry = EntryIndexFromKey(key);
    const bool inTable = entry >= 0 && entry < MaxSuggestions;
    return {{QStringLiteral("result"), result},
            {QStringLiteral("entry"), entry},
            {QStringLiteral("results"), inTable ? table.Entries[entry].Results : QString()},
            {QStringLiteral("hasAds"), inTable && table.Entries[entry].HasAds}};
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QStringList arguments = QCoreApplication::arguments().mid(1);

    int repeat = 0;
    const qsizetype repeatAt = arguments.indexOf(QStringLiteral("--repeat"));
    if (repeatAt >= 0) {
        bool ok = false;
        repeat = arguments.value(repeatAt + 1).toInt(&ok);
        if (!ok || repeat < 1)
            return fail(QStringLiteral("--repeat needs a whole number of at least 1"));
        arguments.remove(repeatAt, 2);
    }
    if (arguments.isEmpty())
        return fail(QStringLiteral("no mode given"));

    const QString mode = arguments.takeFirst();
    QString key = QStringLiteral("0");
    if (mode == QLatin1String("keyword")) {
        if (arguments.isEmpty())
            return fail(QStringLiteral("keyword needs at least one FILE"));
    } else if (mode == QLatin1String("results")) {
        if (arguments.isEmpty() || arguments.size() > 2)
            return fail(QStringLiteral("results needs one FILE and at most one KEY"));
        if (arguments.size() == 2)
            key = arguments.takeLast();
    } else {
        return fail(QStringLiteral("unknown mode \"%1\"").arg(mode));
    }

    QStringList pages;
    for (const QString &name : std::as_const(arguments)) {
        if (name.startsWith(QLatin1String("--")))
            return fail(QStringLiteral("unknown option %1").arg(name));
        QFile file(name);
        if (!file.open(QIODevice::ReadOnly))
            return fail(QStringLiteral("cannot read %1: %2").arg(name, file.errorString()));
        pages << PageText(file.readAll());
    }

    QJsonObject report;
    QStringList status;
    std::vector<double> msPerPage;
    for (int run = 0; run < std::max(repeat, 1); ++run) {
        status.clear();
        QElapsedTimer timer;
        timer.start();
        report = mode == QLatin1String("keyword") ? keywordReport(pages, status)
                                                  : resultsReport(pages.first(), key, status);
        msPerPage.push_back(double(timer.nsecsElapsed()) / 1e6 / double(pages.size()));
    }
    report.insert(QStringLiteral("status"), QJsonArray::fromStringList(status));
    if (repeat > 0)
        report.insert(QStringLiteral("ms_per_page"), median(msPerPage));

    const QByteArray json = QJsonDocument(report).toJson(QJsonDocument::Compact);
    std::fwrite(json.constData(), 1, size_t(json.size()), stdout);
    std::fputc('\n', stdout);
    return 0;
}
