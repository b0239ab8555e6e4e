// quorvane-cli: the window's runs, reports, history and settings from a terminal, a script or
// a schedule. A thin front over RunController and the store; nothing here decides what a run,
// a report or the history does.

#include "cli/clioptions.h"
#include "cli/clisources.h"
#include "cli/keywordbatch.h"
#include "cli/terminal.h"
#include "core/runcontroller.h"
#include "core/sourcechoice.h"
#include "core/startup.h"
#include "sample/samplelocations.h"
#include "sample/sampleservices.h"
#include "sources/serviceaddresses.h"
#include "sources/sourcecatalog.h"
#include "store/filelocations.h"
#include "store/keychain.h"
#include "store/keywordhistory.h"
#include "store/settingsstore.h"

#include <QCoreApplication>
#include <QDir>
#include <QEventLoop>
#include <QFile>

#include <memory>
#include <variant>

using namespace Quorvane;

namespace {

const QString Name = QStringLiteral("quorvane-cli");

int complain(const QString &text, int status)
{
    writeError(Name + QStringLiteral(": ") + text + u'\n');
    return status;
}

// The settings as the window would find them. A first start writes the window's defaults only
// when something is to be stored; a damaged value is told as the window's start-up tells it.
std::optional<int> loadSettings(SettingsStore &store, Settings &settings, bool writes)
{
    if (!store.keyExists(SettingsKey)) {
        if (writes)
            store.writeDefaultSettings(settings);
        return std::nullopt;
    }
    StartupResult result;
    result.load = store.loadSettings(settings);
    if (result.load == LoadSettingsResult::Loaded)
        return std::nullopt;
    return complain(startupFailureDetail(result, store.location()), ExitStatus::KeywordFailed);
}

struct Places
{
    SettingsLocation settings;
    QString reportFolder;
};

Places placesFor(const CliOptions &options)
{
    Places places {options.sample ? sampleSettingsLocation() : SettingsLocation::userDefault(),
                   options.sample ? sampleReportFolder() : reportFolderAtStart()};
    if (!options.settingsFile.isEmpty())
        places.settings = SettingsLocation::iniFile(options.settingsFile);
    if (!options.reportFolder.isEmpty())
        places.reportFolder = options.reportFolder;
    return places;
}

std::optional<QStringList> keywordsOf(const CliOptions &options)
{
    QStringList keywords = options.keywords;
    if (options.seedsFile.isEmpty())
        return keywords;
    QFile file;
    const bool opened = options.seedsFile == QLatin1String("-")
        ? file.open(stdin, QIODevice::ReadOnly)
        : (file.setFileName(options.seedsFile), file.open(QIODevice::ReadOnly));
    if (!opened) {
        complain(QStringLiteral("cannot read the seeds file %1: %2")
                     .arg(options.seedsFile, file.errorString()),
                 ExitStatus::UsageError);
        return std::nullopt;
    }
    keywords << seedKeywords(QString::fromUtf8(file.readAll()));
    return keywords;
}

ResultFormat formatOf(const CliOptions &options)
{
    if (options.format)
        return *options.format;
    return options.outputFolder.isEmpty() && standardOutputIsTerminal() ? ResultFormat::Table
                                                                        : ResultFormat::Tsv;
}

// The sample services on 127.0.0.1 stand in for the real ones. QUORVANE_SAMPLE_ROWS and
// QUORVANE_SAMPLE_MINUTE_MS make a trial (or a test) shorter.
struct SampleRun
{
    SampleServices services;

    bool start()
    {
        if (!services.start())
            return false;
        if (const int rows = qEnvironmentVariableIntValue("QUORVANE_SAMPLE_ROWS"); rows > 0)
            services.setKeywordRowCount(rows);
        overrideEndpoints(services.endpoints());
        // The API sources too, as quorvane-sample points them; the sample services take any key.
        qputenv("QUORVANE_DATAFORSEO_URL", services.apiBaseAddress().toUtf8());
        qputenv("QUORVANE_SERPAPI_URL", services.apiBaseAddress().toUtf8());
        return true;
    }
};

// Waits for the keychain's answer; the command line has nothing else to do meanwhile.
template<typename Answer, typename Ask>
Answer awaitAnswer(Ask ask)
{
    std::optional<Answer> answer;
    QEventLoop loop;
    ask([&answer, &loop](const Answer &given) {
        answer = given;
        loop.quit();
    });
    if (!answer)
        loop.exec();
    return *answer;
}

// The window's choice of sources, overridden for this command by --source and --counts-source.
std::optional<SourceChoice> sourceChoiceFor(const CliOptions &options, const SettingsStore &store)
{
    SourceChoice choice = sourceChoiceFromSettings(store);
    const auto unknown = [](const QString &id) {
        complain(QStringLiteral("unknown source \"%1\" (see quorvane-cli sources)").arg(id),
                 ExitStatus::UsageError);
        return std::nullopt;
    };
    if (!options.source.isEmpty()) {
        const std::optional<CliSource> source = cliSourceNamed(options.source);
        if (!source)
            return unknown(options.source);
        if (source->givesSuggestions)
            choice.suggestions = source->id;
        if (source->givesCounts)
            choice.counts = source->id;
    }
    if (!options.countsSource.isEmpty()) {
        const std::optional<CliSource> source = cliSourceNamed(options.countsSource);
        if (!source)
            return unknown(options.countsSource);
        if (!source->givesCounts) {
            complain(QStringLiteral("the source %1 gives no result counts").arg(source->id),
                     ExitStatus::UsageError);
            return std::nullopt;
        }
        choice.counts = source->id;
    }
    return choice;
}

int suggest(const CliOptions &options, const Places &places)
{
    const std::optional<QStringList> keywords = keywordsOf(options);
    if (!keywords)
        return ExitStatus::UsageError;
    if (keywords->isEmpty())
        return complain(QStringLiteral("no keywords to run"), ExitStatus::UsageError);

    SettingsStore store(places.settings);
    const std::optional<SourceChoice> choice = sourceChoiceFor(options, store);
    if (!choice)
        return ExitStatus::UsageError;
    // No question before a paid run here: nobody may be there to answer. --max-cost is the
    // command line's limit instead.
    const RunCost cost = estimateRunCost(choice->suggestions, choice->counts);
    if (options.maxCost && cost.dollars * double(keywords->size()) > *options.maxCost + 1e-9)
        return complain(QStringLiteral("the runs are estimated at %1 at list prices, more than "
                                       "--max-cost %2; nothing was run")
                            .arg(dollarsText(cost.dollars * double(keywords->size())),
                                 dollarsText(*options.maxCost)),
                        ExitStatus::KeywordFailed);

    std::unique_ptr<SampleRun> sample;
    if (options.sample) {
        sample = std::make_unique<SampleRun>();
        if (!sample->start())
            return complain(QStringLiteral("the sample services could not start"),
                            ExitStatus::KeywordFailed);
    }

    Settings settings;
    if (const std::optional<int> failed = loadSettings(store, settings, true))
        return *failed;
    KeyStore keys;
    const ChosenSources chosen = awaitAnswer<ChosenSources>(
        [&keys, &choice](auto done) { readChosenSources(keys, *choice, std::move(done)); });
    if (!chosen.missingKeys.isEmpty())
        return complain(missingKeyText(chosen.missingKeys.first()), ExitStatus::NoKey);
    // --refresh: the reuse rule is asked in no month at all, so no stored report is this
    // month's; an earlier report stays until the run's new one replaces it.
    Clock clock;
    if (options.refresh)
        clock = [] {
            return QDateTime();
        };
    RunController controller(ReportFolder(places.reportFolder, clock), settings, &store);
    controller.setSources(chosen.suggestions, chosen.counts);
    if (sample) {
        controller.setOnlineProbe([] { return true; });
    }

    ResultSink sink(formatOf(options), options.outputFolder);
    ProgressLine progress(standardErrorIsTerminal(), options.quiet);
    KeywordBatch batch(controller, *keywords, sink, progress, options.noWait);
    batch.setSourceId(choice->suggestions);
    if (sample) {
        if (const int minute = qEnvironmentVariableIntValue("QUORVANE_SAMPLE_MINUTE_MS");
            minute > 0) {
            controller.setPauseMinuteTick(std::chrono::milliseconds(minute));
            batch.setPauseMinute(std::chrono::milliseconds(minute));
        }
    }
    SignalWatcher signals;
    QObject::connect(&signals, &SignalWatcher::received, &batch, &KeywordBatch::interrupt);
    int status = ExitStatus::Complete;
    QObject::connect(&batch, &KeywordBatch::finished, &batch, [&status](int exitStatus) {
        status = exitStatus;
        QCoreApplication::exit(exitStatus);
    });
    batch.start();
    QCoreApplication::exec();
    controller.shutdown();
    if (cost.isPaid())
        writeError(costSpentText(batch.spent()) + u'\n');
    return status;
}

struct SourcesFolder
{
    ReportFolder folder;
    QString source; // of the suggestions
};

// The report folder of the chosen sources (API sources keep theirs in a subfolder); nothing,
// after telling why, for an unknown source.
std::optional<SourcesFolder> chosenReportFolder(const CliOptions &options, const Places &places)
{
    const SettingsStore store(places.settings);
    const std::optional<SourceChoice> choice = sourceChoiceFor(options, store);
    if (!choice)
        return std::nullopt;
    const ChosenSources chosen = makeChosenSources(*choice, {}, {});
    const QString subfolder = reportSubfolder(*chosen.suggestions, *chosen.counts);
    return SourcesFolder {ReportFolder(subfolder.isEmpty()
                                           ? places.reportFolder
                                           : QDir(places.reportFolder).filePath(subfolder)),
                          choice->suggestions};
}

int show(const CliOptions &options, const Places &places)
{
    const std::optional<SourcesFolder> chosenFolder = chosenReportFolder(options, places);
    if (!chosenFolder)
        return ExitStatus::UsageError;
    const ReportFolder &folder = chosenFolder->folder;
    ResultSink sink(formatOf(options), options.outputFolder);
    QStringList missing;
    for (const QString &keyword : options.keywords) {
        const std::optional<KeywordResult> result =
            storedResult(folder, keyword, chosenFolder->source);
        QString error;
        if (!result) {
            missing << keyword;
            complain(QStringLiteral("no stored report of \"%1\" in %2").arg(keyword, folder.path()),
                     ExitStatus::KeywordFailed);
        } else if (!sink.write(*result, &error)) {
            missing << keyword;
            complain(error, ExitStatus::KeywordFailed);
        }
    }
    return missing.isEmpty() ? ExitStatus::Complete : ExitStatus::KeywordFailed;
}

int history(const CliOptions &options, const Places &places)
{
    SettingsStore store(places.settings);
    Settings settings;
    const bool writes = options.command != CliCommand::History;
    if (const std::optional<int> failed = loadSettings(store, settings, writes))
        return *failed;
    if (options.command == CliCommand::History) {
        QByteArray text;
        for (const QString &entry : settings.keywordHistory)
            text += entry.toUtf8() + '\n';
        writeOut(text);
        return ExitStatus::Complete;
    }
    // The window's own rules, through its controller: the report goes with the entry.
    RunController controller(ReportFolder(places.reportFolder), settings, &store);
    int status = ExitStatus::Complete;
    QObject::connect(&controller, &RunController::warning, &controller,
                     [&status](const QString &text) {
                         status = complain(text.simplified(), ExitStatus::KeywordFailed);
                     });
    if (options.command == CliCommand::HistoryClear) {
        controller.deleteAllKeywords();
        return status;
    }
    const QString keyword = options.keywords.first();
    if (!historyEntryToDelete(settings.keywordHistory, keyword))
        return complain(QStringLiteral("\"%1\" is not in the history").arg(keyword),
                        ExitStatus::KeywordFailed);
    controller.deleteKeyword(keyword);
    return status;
}

int sources()
{
    KeyStore keys;
    QByteArray text;
    for (const CliSource &source : cliSources()) {
        const SourceCredentials stored =
            awaitAnswer<SourceCredentials>([&keys, &source](auto done) {
                readSourceCredentials(keys, source.id, std::move(done));
            });
        text += sourceLine(source, hasAllKeys(source.id, stored)).toUtf8() + '\n';
    }
    writeOut(text);
    if (keys.memoryOnly())
        writeError(Name + QStringLiteral(": no keychain answered, so no key could be read\n"));
    return ExitStatus::Complete;
}

// One line of standard input, asked for on a terminal; nothing at the end of the input.
std::optional<QString> askSecret(const QString &what)
{
    if (standardInputIsTerminal())
        writeError(what + QStringLiteral(": "));
    std::optional<QString> line = readSecretLine();
    if (standardInputIsTerminal())
        writeError(QStringLiteral("\n"));
    return line;
}

int setKey(const CliOptions &options)
{
    const QString id = options.keywords.first();
    const SourceInfo *info = findSource(id);
    if (!info)
        return complain(QStringLiteral("unknown source \"%1\" (see quorvane-cli sources)").arg(id),
                        ExitStatus::UsageError);
    if (info->keyKind == KeyKind::None)
        return complain(QStringLiteral("the source %1 needs no key").arg(id),
                        ExitStatus::UsageError);
    QList<std::pair<QString, QString>> entries; // keychain entry, value
    if (!info->loginEntry.isEmpty()) {
        const std::optional<QString> login =
            askSecret(info->displayName + QStringLiteral(" login"));
        if (!login || login->trimmed().isEmpty())
            return complain(QStringLiteral("no login given; nothing was stored"),
                            ExitStatus::UsageError);
        entries.append({info->loginEntry, login->trimmed()});
    }
    const std::optional<QString> secret =
        askSecret(info->displayName
                  + (info->keyKind == KeyKind::LoginAndPassword ? QStringLiteral(" password")
                                                                : QStringLiteral(" key")));
    if (!secret || secret->trimmed().isEmpty())
        return complain(QStringLiteral("no key given; nothing was stored"), ExitStatus::UsageError);
    entries.append({info->secretEntry, secret->trimmed()});

    KeyStore keys;
    for (const auto &[entry, value] : entries) {
        const KeyStore::Outcome outcome =
            awaitAnswer<KeyStore::Outcome>([&keys, &entry = entry, &value = value](auto done) {
                keys.write(entry, value,
                           [done](KeyStore::Outcome written, const QString &) { done(written); });
            });
        // Kept in memory only, it would be gone when this program ends: a key never goes to a
        // file instead.
        if (outcome != KeyStore::Outcome::InKeychain)
            return complain(QStringLiteral("no keychain answered, so the key of %1 was not "
                                           "stored (keys are kept in the system keychain only)")
                                .arg(info->displayName),
                            ExitStatus::KeywordFailed);
    }
    writeError(QStringLiteral("The key of %1 is stored in the keychain.\n").arg(info->displayName));
    return ExitStatus::Complete;
}

int compare(const CliOptions &options, const Places &places)
{
    const std::optional<SourcesFolder> chosen = chosenReportFolder(options, places);
    if (!chosen)
        return ExitStatus::UsageError;
    QString error;
    const std::optional<MonthComparison> comparison = compareKeywordMonths(
        chosen->folder, options.keywords.first(), options.fromMonth, options.toMonth, &error);
    if (!comparison)
        return complain(error, ExitStatus::KeywordFailed);
    const CompareFormat format = options.compareFormat.value_or(
        standardOutputIsTerminal() ? CompareFormat::Table : CompareFormat::Tsv);
    writeOut(formatComparison(*comparison, format).toUtf8());
    return ExitStatus::Complete;
}

} // namespace

int main(int argc, char *argv[])
{
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    const std::variant<CliOptions, CommandLineExit> parsed = parseCliArguments(arguments);
    if (const auto *exit = std::get_if<CommandLineExit>(&parsed)) {
        writeOut(exit->standardOutput.toLocal8Bit());
        writeError(exit->standardError);
        return exit->status;
    }
    const CliOptions &options = std::get<CliOptions>(parsed);

    QCoreApplication app(argc, argv);
    // The window's folders are named after the application.
    QCoreApplication::setApplicationName(options.sample ? SampleApplicationName
                                                        : QStringLiteral("Quorvane"));
    const Places places = placesFor(options);
    switch (options.command) {
    case CliCommand::Suggest:
        return suggest(options, places);
    case CliCommand::Show:
        return show(options, places);
    case CliCommand::History:
    case CliCommand::HistoryDelete:
    case CliCommand::HistoryClear:
        return history(options, places);
    case CliCommand::Sources:
        return sources();
    case CliCommand::SetKey:
        return setKey(options);
    case CliCommand::Compare:
        return compare(options, places);
    }
    return ExitStatus::UsageError;
}
