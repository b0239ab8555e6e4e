// quorvane-pagecheck: what a saved page yields, as one JSON object, so that a changed page of
// a service can be looked at without running the program.

#include "core/commandline.h"
#include "fetch/pageparsers.h"
#include "fetch/pagetext.h"

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

struct Parse
{
    SuggestionTable table;
    bool result = false;
    QStringList status;
};

void parseKeywordPages(const QStringList &pages, Parse &parse)
{
    const bool stop = false;
    const StatusSink sink = [&parse](const QString &text) {
        parse.status << text;
    };
    for (const QString &page : pages)
        parse.result = parseKeyword(page, QString(), parse.table, stop, sink);
}

void parseResultPage(const QString &page, const QString &key, Parse &parse)
{
    const bool stop = false;
    const StatusSink sink = [&parse](const QString &text) {
        parse.status << text;
    };
    parse.result = parseGoogleResults(page, key, parse.table, stop, sink);
}

QJsonObject keywordReport(const Parse &parse)
{
    const SuggestionTable &table = parse.table;
    const int count = qBound<int>(0, table.suggestionCount, MaxSuggestions);
    QJsonArray entries;
    for (int i = 0; i < count; ++i) {
        entries.append(QJsonObject {{QStringLiteral("searches"), table.entries[i].searches},
                                    {QStringLiteral("keyword"), table.entries[i].keyword}});
    }
    QJsonObject report {{QStringLiteral("result"), parse.result},
                        {QStringLiteral("suggestionCount"), table.suggestionCount},
                        {QStringLiteral("noSuggestions"), table.noSuggestions},
                        {QStringLiteral("entries"), entries}};
    if (count < MaxSuggestions) {
        report.insert(QStringLiteral("next"),
                      QJsonObject {{QStringLiteral("searches"), table.entries[count].searches}});
    }
    return report;
}

QJsonObject resultsReport(const Parse &parse, const QString &key)
{
    const int entry = entryIndexFromKey(key);
    const bool inTable = entry >= 0 && entry < MaxSuggestions;
    return {{QStringLiteral("result"), parse.result},
            {QStringLiteral("entry"), entry},
            {QStringLiteral("results"), inTable ? parse.table.entries[entry].results : QString()},
            {QStringLiteral("hasAds"), inTable && parse.table.entries[entry].hasAds}};
}

} // namespace

int main(int argc, char *argv[])
{
    const CommandLineProgram commandLine {
        QStringLiteral("quorvane-pagecheck"),
        QStringLiteral("Shows what Quorvane's page parsers make of saved pages, as one JSON "
                       "object."),
        {QStringLiteral("keyword PAGE... [--repeat N]"),
         QStringLiteral("results PAGE [KEY] [--repeat N]")},
        {QCommandLineOption(QStringLiteral("repeat"),
                            QStringLiteral("Parse N times and add ms_per_page, the median time to "
                                           "parse one page."),
                            QStringLiteral("N"))}};
    if (const std::optional<int> status = answerCommandLine(commandLine, argc, argv))
        return *status;

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
        pages << pageText(file.readAll());
    }

    const bool keyword = mode == QLatin1String("keyword");
    Parse parse;
    std::vector<double> msPerPage;
    for (int run = 0; run < std::max(repeat, 1); ++run) {
        parse = Parse {};
        QElapsedTimer timer;
        timer.start();
        if (keyword)
            parseKeywordPages(pages, parse);
        else
            parseResultPage(pages.first(), key, parse);
        msPerPage.push_back(double(timer.nsecsElapsed()) / 1e6 / double(pages.size()));
    }
    QJsonObject report = keyword ? keywordReport(parse) : resultsReport(parse, key);
    report.insert(QStringLiteral("status"), QJsonArray::fromStringList(parse.status));
    if (repeat > 0)
        report.insert(QStringLiteral("ms_per_page"), median(msPerPage));

    const QByteArray json = QJsonDocument(report).toJson(QJsonDocument::Compact);
    std::fwrite(json.constData(), 1, size_t(json.size()), stdout);
    std::fputc('\n', stdout);
    return 0;
}
