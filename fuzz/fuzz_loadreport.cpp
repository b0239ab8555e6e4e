// loadReport on arbitrary file bytes: a report folder may hold anything (a cut-short write of an
// older version, a file the user edited, a file of another program with the same name). The
// load either refuses the file, which then counts as damaged, and leaves the list as it was,
// or shows one row per line after the third with every fixed field in its place.

#include "fuzz/fuzzsupport.h"
#include "results/reportfile.h"

#include <QFile>
#include <QLocale>
#include <QTemporaryDir>

using namespace Quorvane;
using namespace Quorvane::Fuzz;

namespace {

const QString ReportName = QStringLiteral("fuzz.kwd");

const QTemporaryDir &scratchFolder()
{
    static const QTemporaryDir folder;
    if (!folder.isValid())
        fail(QStringLiteral("no temporary folder"));
    return folder;
}

// The lines readReport sees: split at LF, one empty piece after a final LF dropped.
qsizetype lineCount(const QByteArray &bytes)
{
    const qsizetype breaks = bytes.count('\n');
    return breaks + 1 - ((bytes.isEmpty() || bytes.endsWith('\n')) ? 1 : 0);
}

ResultList sentinelList()
{
    ResultList list;
    ListRow row;
    row[ColumnSuggestions] = QStringLiteral("earlier row");
    list.rows << row;
    list.suggestionsCaption = QStringLiteral("earlier caption");
    list.queryAddresses << QStringLiteral("earlier address");
    return list;
}

bool sameList(const ResultList &a, const ResultList &b)
{
    return a.rows == b.rows && a.suggestionsCaption == b.suggestionsCaption
        && a.queryAddresses == b.queryAddresses;
}

void checkLoad(const QByteArray &bytes, const QLocale &locale)
{
    const ReportFolder folder(scratchFolder().path());
    ResultList list = sentinelList();
    QStringList phrases;
    const QueryAddressBuilder builder = [&phrases](const QString &phrase) {
        phrases << phrase;
        return QStringLiteral("address:") + phrase;
    };
    const bool loaded = loadReport(folder, ReportName, list, builder, locale);
    const std::optional<StoredReport> read = readReport(folder.filePath(ReportName), locale);
    QUORVANE_FUZZ_CHECK(loaded == bool(read), QStringLiteral("loadReport and readReport disagree"));

    const qsizetype lines = lineCount(bytes);
    // A refused report is exactly a damaged one: the run replaces it and the user is told.
    QUORVANE_FUZZ_CHECK(hasDamagedReport(folder, QStringLiteral("fuzz")) != loaded,
                        QStringLiteral("a load and the damage check disagree"));
    if (!loaded) {
        QUORVANE_FUZZ_CHECK(sameList(list, sentinelList()),
                            QStringLiteral("a refused load changed the list"));
        return;
    }
    QUORVANE_FUZZ_CHECK(lines >= 3 && bytes.endsWith('\n'),
                        QStringLiteral("a file of %1 lines, cut short, was loaded").arg(lines));
    QUORVANE_FUZZ_CHECK(list.rows == read->rows
                            && list.suggestionsCaption == read->suggestionsCaption,
                        QStringLiteral("loadReport shows other rows than readReport reads"));
    QUORVANE_FUZZ_CHECK(
        list.listRowCount() == lines - 3,
        QStringLiteral("%1 rows from %2 lines").arg(list.listRowCount()).arg(lines));
    QUORVANE_FUZZ_CHECK(list.queryAddresses.size() == list.rows.size()
                            && phrases.size() == list.rows.size(),
                        QStringLiteral("one query address per row"));
    QUORVANE_FUZZ_CHECK(list.suggestionsCaption.startsWith(QStringLiteral("Keyword \""))
                            && list.suggestionsCaption.endsWith(
                                QStringLiteral(" (top %1 only)").arg(list.listRowCount())),
                        QStringLiteral("caption"), {visible(list.suggestionsCaption)});
    for (qsizetype r = 0; r < list.rows.size(); ++r) {
        const ListRow &row = list.rows.at(r);
        QUORVANE_FUZZ_CHECK(phrases.at(r) == row[ColumnSuggestions]
                                && list.queryAddresses.at(r)
                                    == QStringLiteral("address:") + phrases.at(r),
                            QStringLiteral("query address of row %1").arg(r));
        for (int column = 0; column < ListColumnCount; ++column) {
            const QString &cell = row[column];
            QUORVANE_FUZZ_CHECK(!cell.contains(u'\n'), QStringLiteral("a cell holds a line break"));
            QUORVANE_FUZZ_CHECK(
                !cell.startsWith(u' ') && !cell.endsWith(u' '),
                QStringLiteral("cell %1 of row %2 is not trimmed").arg(column).arg(r),
                {visible(cell)});
            // Fixed fields cannot give more than their width; "Popularity/Search" is
            // rewritten from its value and "Ad" runs to the end of the line.
            if (column < ColumnPopularityPerSearch)
                QUORVANE_FUZZ_CHECK(
                    cell.size() <= ReportFieldWidths[std::size_t(column)],
                    QStringLiteral("cell %1 of row %2 is wider than its field").arg(column).arg(r));
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    QFile file(ReportFolder(scratchFolder().path()).filePath(ReportName));
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(bytes) != bytes.size())
        fail(QStringLiteral("cannot write the report file"));
    file.close();

    static const QLocale english(QLocale::English, QLocale::UnitedStates);
    static const QLocale german(QLocale::German, QLocale::Germany);
    checkLoad(bytes, english);
    checkLoad(bytes, german);
    return 0;
}
