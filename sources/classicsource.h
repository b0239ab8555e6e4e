#pragma once

#include "sources/source.h"

namespace Quorvane {

// The pages the program was made for: the keyword database page and the product page give the
// suggestions, one search engine result page per phrase its count. Read by the page parsers,
// one request at a time after a 0.2 s pause, paced with the 30-minute pause after three runs.
class ClassicSource final : public SuggestionSource, public CountSource
{
public:
    static constexpr std::chrono::milliseconds PagePause {200};

    QString id() const override { return QStringLiteral("classic"); }
    QString displayName() const override { return QStringLiteral("Classic pages"); }

    QList<SourceRequest> suggestionRequests(const QString &keyword) const override;
    SourceVerdict readSuggestions(int index, const FetchOutcome &outcome, SuggestionTable &table,
                                  const bool &stopRequested, const StatusSink &status) override;

    SourceRequest countRequest(const QString &phrase) const override;
    SourceVerdict readCount(const FetchOutcome &outcome, Suggestion &entry,
                            const bool &stopRequested, const StatusSink &status) override;
    int parallelLimit() const override { return 1; }
    std::chrono::milliseconds pauseBeforeEachRequest() const override { return PagePause; }
    bool pacedLikePages() const override { return true; }

private:
    // The result page parser works on a table entry named by its key.
    SuggestionTable m_countTable;
};

} // namespace Quorvane
