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
    virtual QString SuggestCaption() const = 0;
    virtual void SetSuggestCaption(const QString &caption) = 0;
    virtual void SetSuggestEnabled(bool enabled) = 0;
    // Moves the keyboard focus away from the keyword box and the button.
    virtual void FocusTxtDumb() = 0;

    virtual int ProgressValue() const = 0;
    virtual int ProgressMaximum() const = 0;
    virtual void SetProgressValue(int value) = 0;
    virtual void SetProgressMaximum(int maximum) = 0;

    // The status line; a text stays until the next one replaces it.
    virtual void SetStatus(const QString &text) = 0;

    // Modal boxes captioned "Quorvane 1.2" with an OK button: Warn with the exclamation icon,
    // Inform without an icon.
    virtual void Warn(const QString &text) = 0;
    virtual void Inform(const QString &text) = 0;

    // The keyword box.
    virtual QString KeywordText() const = 0;
    virtual void SetKeywordText(const QString &text) = 0;
    virtual void SelectAllKeywordText() = 0;

    // The reuse rule for keyword: deletes its reports of earlier months and, when one of this
    // month exists, shows it (setting run.ReportFileName and run.QueryAddresses).
    virtual ReuseOutcome ReuseStoredReport(const QString &keyword, RunState &run) = 0;
    // Fills the list from run.SuggestionTable and writes run.ReportFileName. Must not throw;
    // a failure inside is the window's to contain, the run ends as usual.
    virtual void GetReport(const RunState &run) = 0;
    // Records the keyword in the history and saves it.
    virtual void MakeProject(const QString &newKeyword) = 0;
    // Export, Delete and Delete All.
    virtual void EnableReportButtons() = 0;
    virtual void SetResultsShown(bool shown) = 0;
};

} // namespace Quorvane
