#pragma once

#include "results/resultlist.h"

#include <QList>
#include <QLocale>
#include <QString>

namespace Quorvane {

// The result list as text for other programs: tab-separated for the clipboard (cells as shown)
// and CSV for a file (figures plain, for arithmetic). `rows` are row indexes of list.rows in
// display order; the header line carries the column captions.

// One line per row, "\n" after each line. A cell holding a tab, a line break or a double quote
// is quoted with its quotes doubled, as spreadsheets expect on paste.
QString tabSeparatedRows(const ResultList &list, const QList<int> &rows);

// RFC 4180: comma separator, CR LF line ends, quotes only where needed. The last column is the
// row's result-page address. No byte-order mark; see csvFileBytes.
QString csvRows(const ResultList &list, const QList<int> &rows, const QLocale &locale = QLocale());

// What a CSV file holds: UTF-8 with a byte-order mark, so that spreadsheets read non-ASCII
// phrases right.
QByteArray csvFileBytes(const QString &csv);

// A shown figure as plain digits with a full stop: separators dropped, "%" dropped, the
// decimals the cell shows kept. An empty cell stays empty; a cell that is not a number in the
// locale is kept as it is.
QString plainFigure(const QString &cell, const QLocale &locale = QLocale());

// Every row of the list, in display order.
QList<int> allRows(const ResultList &list);

} // namespace Quorvane
