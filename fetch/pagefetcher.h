#pragma once

#include "fetch/pageparsers.h"
#include "results/suggestiontable.h"

#include <QObject>
#include <QString>
#include <QStringList>

#include <memory>

namespace Quorvane {

// Downloads pages through Qt's network access (system proxy settings, TLS) on behalf of the
// run driver, hands each finished page to the parser that ParsePhase selects, and reports every
// download's end (finished, failed or cancelled) with exactly one DownloadHtmlComplete.
// Chunked framing is Qt's to check, and Qt 6.4 misses some faults: a chunked body cut before
// its last chunk may end without an error, and a chunk size that is not hexadecimal reads as the
// last chunk, so such a page is parsed as complete as far as it came.
class PageFetcher final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(PageFetcher)

public:
    // A page still unfinished this long after its read started fails.
    static constexpr int DeadlineMs = 60000;
    // A page larger than this fails as soon as its declared or received size passes it.
    static constexpr qint64 MaxPageBytes = 16 * 1024 * 1024;
    // Redirects followed for one page; one more fails it.
    static constexpr int MaxRedirects = 10;

    PageFetcher(SuggestionTable &table, const bool &stopRequested, const qint16 &parsePhase,
                StatusSink status, QObject *parent = nullptr);
    ~PageFetcher() override;

    void beginDownload(const QString &url, const QString &saveFile);
    bool cancelAllDownload();

    // Pending download keys, oldest first (the empty placeholder is not included).
    QStringList pendingDownloads() const;

    // Tests shorten the deadline; the program always uses DeadlineMs.
    void setDeadlineForTesting(int milliseconds);

Q_SIGNALS:
    void downloadHtmlComplete();
    // A download that ended without a page (not one cancelled), just before its
    // downloadHtmlComplete: a run tells how many of its pages never arrived.
    void downloadFailed(const QString &saveFile);

private:
    struct Private;
    std::unique_ptr<Private> d;
};

} // namespace Quorvane
