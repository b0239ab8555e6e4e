#pragma once

#include "fetch/fetchrequest.h"
#include "results/suggestiontable.h"

#include <QList>
#include <QString>
#include <QStringList>

namespace Quorvane {

// The one record of the run under way. It lives as long as the run controller, which alone
// changes it; the fetch queue works on it while a run goes on.
struct RunRecord
{
    // Set by Stop and when the window closes; read by the fetch queue and the parsers.
    bool stopRequested = false;
    // Seed keyword of the run under way or of the report shown.
    QString currentKeyword;
    // CurrentKeyword before the run started; restored when a run is stopped or finds nothing.
    QString previousKeyword;
    // Report file of the run, or of the report reused.
    QString reportFileName;

    // First-phase requests (classic: the keyword database page, then the product page) and the
    // index of the next one to send.
    QList<SourceRequest> suggestionRequests;
    qsizetype nextSuggestionRequest = 0;

    ::Quorvane::SuggestionTable suggestionTable;

    // The public results page of every suggestion: the addresses of the rows shown.
    QStringList queryAddresses;
    // One count request per suggestion, entry i for table entry i, and the next one to send.
    QList<SourceRequest> countRequests;
    qsizetype nextCountRequest = 0;
};

} // namespace Quorvane
