#pragma once

#include "results/resultlist.h"
#include "results/suggestiontable.h"

#include <QByteArray>
#include <QDateTime>
#include <QLocale>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

namespace Quorvane {

// Gives the current local time; the month test of the reuse rule asks it.
using Clock = std::function<QDateTime()>;

// The folder that holds the report files. The program chooses it once at start and hands the
// same object to everything that touches reports; tests give their own folder and clock.
class ReportFolder
{
public:
    explicit ReportFolder(QString path, Clock clock = {});

    QString path() const { return m_path; }
    QDateTime now() const;
    bool ensureExists() const;
    QString filePath(const QString &fileName) const;
    // The name on disk of the file whose name equals fileName ignoring letter case, or an
    // empty text when there is none.
    QString existingName(const QString &fileName) const;

private:
    QString m_path;
    Clock m_clock;
};

// The report name stem of a seed keyword: lower case, spaces as "_". Characters a file name
// cannot hold (/ \ : * ? " < > | and control characters) become "_", as does a stem of only
// dots; a reserved device name gets a leading "_"; a name over 200 bytes is shortened and
// told apart by a hash. Ordinary keywords keep their plain names (golf clubs -> golf_clubs).
QString reportStem(const QString &keyword);
// The report file name of a seed keyword: its stem followed by ".kwd". The one name used by
// the reuse rule, writeReport, Delete, Delete All and Export.
QString reportFileName(const QString &keyword);

// The reuse rule. Creates the folder when missing, then looks for the keyword's report file
// (its name equal to reportFileName ignoring case): one modified in the clock's current year
// and month is reused. An older one is left in place for the run's writeReport to replace; no
// file is ever deleted here. A damaged file (see readReport) is not reused. Gives the reused
// file's name on disk, or nothing when a run is needed.
std::optional<QString> findReusableReport(const ReportFolder &folder, const QString &keyword);
// Whether the keyword's report file is there but damaged, so that the run replaces it.
bool hasDamagedReport(const ReportFolder &folder, const QString &keyword);
// What the user is told when the keyword's damaged report is passed over for a run.
QString damagedReportMessage(const QString &keyword);

// The exact bytes of a report: line 1 with the seed keyword and the total, an empty line, the
// heading line and one line per row in fixed fields, every line ended by CR LF, in the
// system's 8-bit encoding.
QByteArray reportBytes(const QString &seedKeyword, qint64 totalSearches, const QList<ListRow> &rows,
                       const QLocale &locale = QLocale());

// A stored report as the list shows it after a load.
struct StoredReport
{
    QString suggestionsCaption; // Keyword "golf",searches 12,345 (top 42 only)
    QList<ListRow> rows;
};

// Reads a report file. Nothing when it is damaged: it cannot be read, does not end with a line
// break (cut short), or its lines do not have a report's shape (line 1 with "Keyword=" and
// ",Total Searches=", an empty line 2, the heading line, then rows with every fixed field, a
// row number, two percentages and an "Ad" of "" or "Y").
std::optional<StoredReport> readReport(const QString &filePath, const QLocale &locale = QLocale());

// After a run: the rows of entries 0 .. suggestionCount - 1 replace the list's rows, column 1
// gets the summary caption, and the report file `reportFileName` (any file of that name
// ignoring case) is replaced atomically. queryAddresses and resultsShown are left to the
// caller. False, with the reason in *error, when the file could not be written; the list is
// filled all the same.
bool writeReport(SuggestionTable &table, const QString &seedKeyword, const ReportFolder &folder,
                 const QString &reportFileName, ResultList &list, const QLocale &locale = QLocale(),
                 QString *error = nullptr);

// Shows the stored report `fileName` (a name findReusableReport gave): rows, caption of
// column 1 and one query address per row, in file order. False, and the list unchanged, when
// the file is damaged; the caller then treats the keyword as not stored.
bool loadReport(const ReportFolder &folder, const QString &fileName, ResultList &list,
                const QueryAddressBuilder &queryAddress, const QLocale &locale = QLocale());

// Path of the keyword's report file (name equal ignoring case), or an empty text when the
// folder holds none. For Export.
QString findReportFile(const ReportFolder &folder, const QString &keyword);

// Deletes every file of the folder whose name equals the keyword's report file name ignoring
// case. True when one was there and is gone.
bool deleteReportFile(const ReportFolder &folder, const QString &keyword);

} // namespace Quorvane
