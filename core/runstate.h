#pragma once

#include "suggestiontable.h"

#include <QString>
#include <QStringList>

namespace Quorvane {

// The one record of the run under way and of the pacing between runs. It lives as long as the
// run controller; the page fetcher and its parsers hold references into it.
struct RunState
{
    // Set by Stop and when the window closes; read by the driver and the parsers.
    bool StopRequested = false;
    // Seed keyword of the run under way or of the report shown.
    QString CurrentKeyword;
    // CurrentKeyword before the run started; restored when a run is stopped or finds nothing.
    QString PreviousKeyword;
    // Report file of the run, or of the report reused.
    QString ReportFileName;

    // First-phase pages: the keyword database page, then the product page.
    QStringList PageQueue;
    qint16 PageQueueNext = 0;
    qint16 PageQueueCount = 0;

    ::Quorvane::SuggestionTable SuggestionTable;

    // Downloads issued whose DownloadHtmlComplete has not arrived yet; never below 0.
    qint32 DownloadsInFlight = 0;
    // 0 while first-phase pages are fetched, 1 while result pages are fetched.
    qint16 ParsePhase = 0;
    // One search engine address per suggestion; also the addresses of the rows shown.
    QStringList QueryAddresses;
    qint16 QueryNext = 0;
    qint16 QueryCount = 0;

    // Pacing: 0 pauses 30 minutes after every three finished runs, any other value never does.
    qint16 IntervalSetting = 0;
    qint16 RunsSincePause = 0;
    qint16 PauseMinutesLeft = 30;
};

} // namespace Quorvane
