#include "cli/clioptions.h"

#include "store/sourcesettings.h"

#include <QCommandLineParser>
#include <QDate>

namespace Quorvane {

namespace {

const QString ProgramName = QStringLiteral("quorvane-cli");

CommandLineExit usageError(const QString &text)
{
    return {ExitStatus::UsageError, {}, ProgramName + QStringLiteral(": ") + text + u'\n'};
}

QCommandLineOption valueOption(const QString &name, const QString &help, const QString &value)
{
    return QCommandLineOption(name, help, value);
}

// Where the files are; every command that reads or writes them takes these.
QList<QCommandLineOption> placeOptions()
{
    return {
        QCommandLineOption(QStringLiteral("sample"),
                           QStringLiteral("Run on the built-in sample services (127.0.0.1, no key, "
                                          "no network), with quorvane-sample's settings and "
                                          "reports.")),
        valueOption(QStringLiteral("settings"),
                    QStringLiteral("Use this settings file instead of the window's."),
                    QStringLiteral("file")),
        valueOption(QStringLiteral("report-folder"),
                    QStringLiteral("Use this report folder instead of the window's."),
                    QStringLiteral("folder")),
    };
}

QList<QCommandLineOption> outputOptions()
{
    return {
        valueOption(QStringLiteral("format"),
                    QStringLiteral("table, tsv, csv, json or report (default: table on a "
                                   "terminal, tsv otherwise)."),
                    QStringLiteral("format")),
        valueOption(QStringLiteral("output"),
                    QStringLiteral("Write one file per keyword into this folder instead of "
                                   "standard output."),
                    QStringLiteral("folder")),
    };
}

// Which sources' reports a command runs or reads; the window's choice by default.
QList<QCommandLineOption> sourceOptions()
{
    return {
        valueOption(QStringLiteral("source"),
                    QStringLiteral("The source of suggestions and counts for this command (see "
                                   "the sources command; default: the window's choice)."),
                    QStringLiteral("id")),
        valueOption(QStringLiteral("counts-source"),
                    QStringLiteral("The source of the result counts for this command."),
                    QStringLiteral("id")),
    };
}

struct CommandForm
{
    QString word;
    QString summary;
    QStringList usage;
    QList<QCommandLineOption> options;
};

QList<CommandForm> commandForms()
{
    QList<QCommandLineOption> suggest = outputOptions();
    suggest << valueOption(QStringLiteral("seeds"),
                           QStringLiteral("Read the keywords from this file, one a line (blank "
                                          "lines and lines starting with # skipped; - for "
                                          "standard input)."),
                           QStringLiteral("file"))
            << QCommandLineOption(QStringLiteral("refresh"),
                                  QStringLiteral("Run anew even when this month's report is "
                                                 "stored."))
            << QCommandLineOption(QStringLiteral("no-wait"),
                                  QStringLiteral("End with status 75 instead of waiting out the "
                                                 "pause between runs."))
            << QCommandLineOption({QStringLiteral("q"), QStringLiteral("quiet")},
                                  QStringLiteral("No progress on standard error."))
            << sourceOptions()
            << valueOption(QStringLiteral("max-cost"),
                           QStringLiteral("Refuse when the runs are estimated to cost more than "
                                          "this many dollars at list prices."),
                           QStringLiteral("amount"));
    suggest << placeOptions();
    QList<QCommandLineOption> show = outputOptions();
    show << sourceOptions() << placeOptions();
    QList<QCommandLineOption> compare {
        valueOption(QStringLiteral("format"),
                    QStringLiteral("table, tsv, csv or json (default: table on a terminal, tsv "
                                   "otherwise)."),
                    QStringLiteral("format")),
        valueOption(QStringLiteral("from"),
                    QStringLiteral("The earlier month (default: the month before --to)."),
                    QStringLiteral("YYYY-MM")),
        valueOption(QStringLiteral("to"),
                    QStringLiteral("The later month (default: the current report)."),
                    QStringLiteral("YYYY-MM")),
    };
    compare << sourceOptions() << placeOptions();
    QList<QCommandLineOption> history = placeOptions();
    history << QCommandLineOption(QStringLiteral("yes"), QStringLiteral("Confirm history clear."));
    return {
        {QStringLiteral("suggest"),
         QStringLiteral("Runs each keyword as the window's Suggest does (this month's stored "
                        "report is reused) and prints the results."),
         {QStringLiteral("[options] KEYWORD..."), QStringLiteral("[options] --seeds FILE")},
         suggest},
        {QStringLiteral("show"),
         QStringLiteral("Prints the stored report of each keyword, without a run."),
         {QStringLiteral("[options] KEYWORD...")},
         show},
        {QStringLiteral("history"),
         QStringLiteral("Lists the keyword history, newest first; deletes a keyword or all of "
                        "them, each with its report."),
         {QStringLiteral("[options]"), QStringLiteral("delete [options] KEYWORD"),
          QStringLiteral("clear --yes [options]")},
         history},
        {QStringLiteral("compare"),
         QStringLiteral("Compares two months' reports of a keyword, phrase by phrase."),
         {QStringLiteral("[options] KEYWORD")},
         compare},
        {QStringLiteral("sources"),
         QStringLiteral("Lists the sources and whether the keychain holds each one's key (never "
                        "the key)."),
         {QStringLiteral("[options]")},
         {}},
        {QStringLiteral("set-key"),
         QStringLiteral("Reads a source's key from standard input, without echo, into the "
                        "system keychain."),
         {QStringLiteral("SOURCE")},
         {}},
    };
}

CommandLineExit overallHelp(const QList<CommandForm> &forms, const QStringList &arguments)
{
    CommandLineProgram program {ProgramName,
                                QStringLiteral("Quorvane from a terminal, a script or a schedule: "
                                               "the same runs, reports, history and settings as "
                                               "the window."),
                                {},
                                {},
                                false};
    for (const CommandForm &form : forms) {
        for (const QString &usage : form.usage)
            program.usage << form.word + u' ' + usage;
    }
    std::optional<CommandLineExit> exit = readCommandLine(program, arguments);
    if (!exit)
        return usageError(QStringLiteral("no command given (see --help)"));
    if (exit->status == 0 && exit->standardOutput.startsWith(QStringLiteral("Usage")))
        exit->standardOutput += QStringLiteral("\nEach command tells its own options: "
                                               "quorvane-cli COMMAND --help.\n");
    return *exit;
}

} // namespace

QStringList seedKeywords(const QString &text)
{
    QStringList keywords;
    for (const QString &rawLine : text.split(u'\n')) {
        const QString line = rawLine.trimmed();
        if (line.isEmpty() || line.startsWith(u'#'))
            continue;
        keywords << line;
    }
    return keywords;
}

std::variant<CliOptions, CommandLineExit> parseCliArguments(const QStringList &arguments)
{
    const QList<CommandForm> forms = commandForms();
    if (arguments.size() < 2 || arguments.at(1).startsWith(u'-'))
        return overallHelp(forms, arguments);

    const QString word = arguments.at(1);
    const auto form = std::find_if(forms.begin(), forms.end(),
                                   [&word](const CommandForm &s) { return s.word == word; });
    if (form == forms.end())
        return usageError(QStringLiteral("unknown command \"%1\" (see --help)").arg(word));

    QStringList rest = arguments;
    rest.removeAt(1);
    const CommandLineProgram program {ProgramName + u' ' + form->word, form->summary, form->usage,
                                      form->options, false};
    if (std::optional<CommandLineExit> exit = readCommandLine(program, rest))
        return *exit;

    QCommandLineParser parser;
    parser.addOptions(form->options);
    parser.addOption(QCommandLineOption(QStringList {QStringLiteral("h"), QStringLiteral("help")}));
    parser.addOption(
        QCommandLineOption(QStringList {QStringLiteral("v"), QStringLiteral("version")}));
    if (!parser.parse(rest))
        return usageError(parser.errorText());
    const auto value = [&parser](const char *name) {
        return parser.isSet(QLatin1String(name)) ? parser.value(QLatin1String(name)) : QString();
    };
    const auto flag = [&parser, &form](const char *name) {
        const bool known = std::any_of(form->options.begin(), form->options.end(),
                                       [name](const QCommandLineOption &o) {
                                           return o.names().contains(QLatin1String(name));
                                       });
        return known && parser.isSet(QLatin1String(name));
    };

    CliOptions options;
    QStringList positional = parser.positionalArguments();
    if (flag("format") && word == QLatin1String("compare")) {
        options.compareFormat = compareFormatFromName(value("format"));
        if (!options.compareFormat)
            return usageError(QStringLiteral("unknown format \"%1\"; use table, tsv, csv or json")
                                  .arg(value("format")));
    } else if (flag("format")) {
        options.format = resultFormatNamed(value("format"));
        if (!options.format)
            return usageError(QStringLiteral("unknown format \"%1\"; use table, tsv, csv, json or "
                                             "report")
                                  .arg(value("format")));
    }
    if (flag("output"))
        options.outputFolder = value("output");
    if (flag("seeds"))
        options.seedsFile = value("seeds");
    if (flag("source"))
        options.source = value("source");
    if (flag("counts-source"))
        options.countsSource = value("counts-source");
    if (flag("max-cost")) {
        options.maxCost = dollarsFromText(value("max-cost"));
        if (!options.maxCost)
            return usageError(
                QStringLiteral("--max-cost takes an amount of dollars, such as 0.50"));
    }
    for (const char *month : {"from", "to"}) {
        if (!flag(month))
            continue;
        const QString text = value(month);
        if (!QDate::fromString(text + QStringLiteral("-01"), Qt::ISODate).isValid())
            return usageError(QStringLiteral("--%1 takes a month as YYYY-MM, not \"%2\"")
                                  .arg(QLatin1String(month), text));
        (qstrcmp(month, "from") == 0 ? options.fromMonth : options.toMonth) = text;
    }
    options.refresh = flag("refresh");
    options.noWait = flag("no-wait");
    options.quiet = flag("quiet");
    options.yes = flag("yes");
    options.sample = flag("sample");
    if (flag("settings"))
        options.settingsFile = value("settings");
    if (flag("report-folder"))
        options.reportFolder = value("report-folder");

    if (word == QLatin1String("suggest")) {
        options.command = CliCommand::Suggest;
        options.keywords = positional;
        if (options.keywords.isEmpty() && options.seedsFile.isEmpty())
            return usageError(QStringLiteral("suggest needs a keyword or --seeds FILE"));
    } else if (word == QLatin1String("show")) {
        options.command = CliCommand::Show;
        options.keywords = positional;
        if (options.keywords.isEmpty())
            return usageError(QStringLiteral("show needs a keyword"));
    } else if (word == QLatin1String("history")) {
        const QString action = positional.value(0);
        if (action.isEmpty()) {
            options.command = CliCommand::History;
        } else if (action == QLatin1String("delete") && positional.size() == 2) {
            options.command = CliCommand::HistoryDelete;
            options.keywords = {positional.at(1)};
        } else if (action == QLatin1String("clear") && positional.size() == 1) {
            options.command = CliCommand::HistoryClear;
            if (!options.yes)
                return usageError(QStringLiteral("history clear deletes every keyword of the "
                                                 "history with its report; add --yes"));
        } else {
            return usageError(QStringLiteral("history takes nothing, delete KEYWORD or clear "
                                             "--yes"));
        }
        positional.clear();
    } else if (word == QLatin1String("compare")) {
        options.command = CliCommand::Compare;
        if (positional.size() != 1)
            return usageError(QStringLiteral("compare needs one keyword"));
        options.keywords = positional;
    } else if (word == QLatin1String("sources")) {
        options.command = CliCommand::Sources;
    } else {
        options.command = CliCommand::SetKey;
        if (positional.size() != 1)
            return usageError(QStringLiteral("set-key needs one source (see the sources command); "
                                             "the key is read from standard input"));
        options.keywords = positional;
    }
    if ((options.command == CliCommand::Sources && !positional.isEmpty()))
        return usageError(QStringLiteral("sources takes no arguments"));
    return options;
}

} // namespace Quorvane
