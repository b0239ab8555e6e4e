#pragma once

#include "results/resultlist.h"

#include <QByteArray>
#include <QDateTime>
#include <QJsonObject>
#include <QLocale>
#include <QString>

#include <optional>

namespace Quorvane {

// One keyword's result as quorvane-cli gives it to other programs, in the formats it offers.
enum class ResultFormat {
    Table, // aligned columns as the list shows them, under the list's summary caption
    Tsv, // the window's copy of the whole list
    Csv, // the window's Save as CSV
    Json, // one object: keyword, source, date, total searches, rows with plain numbers
    Report, // the report file's bytes
};

std::optional<ResultFormat> resultFormatNamed(const QString &name);
// ".txt", ".tsv", ".csv", ".json", ".kwd": the file name ending of a result saved in the format.
QString resultFileSuffix(ResultFormat format);

struct KeywordResult
{
    QString keyword; // as the run or the history spells it
    QString source; // the id of the source that counted it, e.g. "classic"
    QDateTime reportDate; // when the report was written
    ResultList list; // rows and caption as the list shows them
    QByteArray reportBytes; // the report file as it is on disk
};

// The bytes of the result in the format. Tsv and Csv are byte for byte what the window's copy
// (UTF-8) and Save as CSV give for the same list; Json is one object on one line.
QByteArray formatResult(const KeywordResult &result, ResultFormat format,
                        const QLocale &locale = QLocale());

// The summary caption, then the column captions and the rows in columns two spaces apart,
// figures right-aligned as in the list; "\n" after every line, no trailing blanks.
QString resultTable(const ResultList &list);

// "id", "phrase", "searches", "percent", "sum", "popularity", "popularityPerSearch" as plain
// numbers (null where the cell is empty or not a number), "ad" as a boolean; the total is the
// sum of the rows' searches, as the report's first line gives it.
QJsonObject resultJson(const KeywordResult &result, const QLocale &locale = QLocale());

} // namespace Quorvane
