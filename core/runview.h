#pragma once

#include <QString>

namespace Quorvane {

struct RunState;

// What the reuse rule did for a requested keyword.
enum class ReuseOutcome {
    Loaded, // a report of this month is shown; the request is done
    NoReport, // nothing to reuse; the request goes on towards a run
    Failed, // the window has told the user; the request ends with nothing changed
};

// The window as the run sees it. The main window implements it; tests and tools implement it
// with plain records. Every call comes on the window's thread.
class RunView
{
public:
    virtual ~RunView() = default;

    // The Suggest/Stop button: its caption is the run's only "under way" mark ("&Stop").
    virtual QString suggestCaption() const = 0;
    virtual void setSuggestCaption(const QString &caption) = 0;
    virtual void setSuggestEnabled(bool enabled) = 0;
    // Moves the keyboard focus away from the keyword box and the button.
    virtual void focusTxtDumb() = 0;

    virtual int progressValue() const = 0;
    virtual int progressMaximum() const = 0;
    virtual void setProgressValue(int value) = 0;
    virtual void setProgressMaximum(int maximum) = 0;

    // The status line; a text stays until the next one replaces it.
    virtual void setStatus(const QString &text) = 0;

    // Modal boxes captioned "Quorvane 1.2" with an OK button: Warn with the exclamation icon,
    // Inform without an icon.
    virtual void warn(const QString &text) = 0;
    virtual void inform(const QString &text) = 0;

    // The keyword box.
    virtual QString keywordText() const = 0;
    virtual void setKeywordText(const QString &text) = 0;
    virtual void selectAllKeywordText() = 0;

    // The reuse rule for keyword: deletes its reports of earlier months and, when one of this
    // month exists, shows it (setting run.ReportFileName and run.QueryAddresses).
    virtual ReuseOutcome reuseStoredReport(const QString &keyword, RunState &run) = 0;
    // Fills the list from run.SuggestionTable and writes run.ReportFileName. Must not throw;
    // a failure inside is the window's to contain, the run ends as usual.
    virtual void getReport(const RunState &run) = 0;
    // Records the keyword in the history and saves it.
    virtual void makeProject(const QString &newKeyword) = 0;
    // Export, Delete and Delete All.
    virtual void enableReportButtons() = 0;
    virtual void setResultsShown(bool shown) = 0;
};

} // namespace Quorvane
