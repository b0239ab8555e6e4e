#pragma once

#include "results/suggestiontable.h"

#include <QString>
#include <QStringList>

namespace Quorvane {

// The one record of the run under way. It lives as long as the run controller; the page fetcher
// and its parsers hold references into it.
struct RunRecord
{
    // Set by Stop and when the window closes; read by the driver and the parsers.
    bool stopRequested = false;
    // Seed keyword of the run under way or of the report shown.
    QString currentKeyword;
    // CurrentKeyword before the run started; restored when a run is stopped or finds nothing.
    QString previousKeyword;
    // Report file of the run, or of the report reused.
    QString reportFileName;

    // First-phase pages: the keyword database page, then the product page.
    QStringList pageQueue;
    qint16 pageQueueNext = 0;
    qint16 pageQueueCount = 0;

    ::Quorvane::SuggestionTable suggestionTable;

    // Downloads issued whose DownloadHtmlComplete has not arrived yet; never below 0.
    qint32 downloadsInFlight = 0;
    // 0 while first-phase pages are fetched, 1 while result pages are fetched.
    qint16 parsePhase = 0;
    // One search engine address per suggestion; also the addresses of the rows shown.
    QStringList queryAddresses;
    qint16 queryNext = 0;
    qint16 queryCount = 0;
};

} // namespace Quorvane
