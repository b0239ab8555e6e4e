#pragma once

#include "results/suggestiontable.h"
#include "sample/samplepages.h"
#include "sample/sampleservices.h"

namespace Quorvane::TestSupport {

// The sample services on loopback with every address of the run pointed at them. The built-in
// addresses come back when this ends, so one test cannot send another's run to a closed port.
class LoopbackServices final
{
    Q_DISABLE_COPY_MOVE(LoopbackServices)

public:
    LoopbackServices() = default;
    ~LoopbackServices();

    // Starts the services and overrides the endpoints.
    bool start();

    SampleServices &services() { return m_services; }
    SampleServices *operator->() { return &m_services; }

private:
    SampleServices m_services;
};

// The table entry a run over the sample services makes of one of their rows.
Suggestion expectedEntry(const SampleSuggestion &row);
// Empty when the table holds exactly the first `rows` sample rows of the seed as a run reads
// them; otherwise the first difference.
QString differenceFromSample(const SuggestionTable &table, const QString &seed, int rows = 100);
// A phrase of the seed's sample rows whose result page shows both a count and sponsored links.
QString phraseWithCountAndAds(const QString &seed = QStringLiteral("tennis rackets"));

} // namespace Quorvane::TestSupport
