#pragma once

#include "core/commandline.h"
#include "results/monthcompare.h"
#include "results/resultformats.h"

#include <QString>
#include <QStringList>

#include <optional>
#include <variant>

namespace Quorvane {

// quorvane-cli's exit statuses.
namespace ExitStatus {
inline constexpr int Complete = 0;
inline constexpr int KeywordFailed = 1; // failed, nothing found, counts missing, no report
inline constexpr int UsageError = 2;
inline constexpr int NoKey = 3; // the chosen source has no key in the keychain
inline constexpr int PauseMet = 75; // --no-wait met the pause between runs
inline constexpr int Interrupted = 130; // SIGINT
inline constexpr int Terminated = 143; // SIGTERM
} // namespace ExitStatus

enum class CliCommand {
    Suggest,
    Show,
    History,
    HistoryDelete,
    HistoryClear,
    Sources,
    SetKey,
    Compare,
};

struct CliOptions
{
    CliCommand command = CliCommand::Suggest;
    QStringList keywords; // suggest, show, history delete
    QString seedsFile; // "-": standard input
    std::optional<ResultFormat> format; // nothing: table on a terminal, tsv otherwise
    QString outputFolder;
    QString source; // empty: the settings' choice
    QString countsSource; // empty: --source, else the settings' choice
    std::optional<double> maxCost; // dollars a run may be estimated at
    std::optional<CompareFormat> compareFormat; // compare: nothing for table on a terminal
    QString fromMonth; // compare: "YYYY-MM" or empty
    QString toMonth;
    bool refresh = false;
    bool noWait = false;
    bool quiet = false;
    bool yes = false;
    bool sample = false;
    QString settingsFile; // empty: the window's
    QString reportFolder; // empty: the window's
};

// The arguments as main gets them (the program's path first): the options, or how the program
// ends before it starts (help, version, usage error).
std::variant<CliOptions, CommandLineExit> parseCliArguments(const QStringList &arguments);

// Keywords one a line; blank lines and lines starting with "#" are skipped.
QStringList seedKeywords(const QString &text);

} // namespace Quorvane
