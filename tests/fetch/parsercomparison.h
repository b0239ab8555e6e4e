#pragma once

// The page parsers written down as plainly as their rules read, with no regard for speed, and
// what tells the fast parsers apart from them on the same input: the differential test and the
// parser fuzz target both judge by it.

#include "fetch/pageparsers.h"

#include <QStringList>

namespace Quorvane::Reference {

// One parse, by either side, from the same starting point.
struct ParseCase
{
    bool keywordPages = false; // parseKeyword over every page, else parseGoogleResults
    QStringList pages; // a run's pages, parsed in turn into one table
    QString key = QStringLiteral("0");
    SuggestionTable table;
    int stopAfter = -1; // status texts before the stop flag is raised; 0 at once, -1 never
};

struct ParseOutcome
{
    bool result = false;
    QStringList status;
    SuggestionTable table;
};

ParseOutcome parseFast(const ParseCase &parse);
ParseOutcome parseReference(const ParseCase &parse);
// Empty when both outcomes agree; otherwise both, described.
QString outcomeDifference(const ParseOutcome &fast, const ParseOutcome &reference);
// Empty when the tag stripping, lower case and space trimming agree with the reference.
QString textDifference(const QString &text);

} // namespace Quorvane::Reference
