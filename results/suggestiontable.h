#pragma once

#include <QString>

#include <array>

namespace Quorvane {

inline constexpr int MaxSuggestions = 100;

// One suggested phrase with the figures gathered for it during a run.
struct Suggestion
{
    QString searches; // monthly searches, as read from the keyword database page
    QString keyword; // the suggested phrase
    QString results; // result count, plain digits without separators
    bool hasAds = false; // the phrase's result page showed sponsored links
};

// The figures of the current run. noSuggestions survives emptyEntries(): a run whose
// first phase parses no page keeps the flag of the run before it.
struct SuggestionTable
{
    std::array<Suggestion, MaxSuggestions> entries;
    qint16 suggestionCount = 0;
    bool noSuggestions = false;

    void emptyEntries() { entries.fill(Suggestion {}); }
};

} // namespace Quorvane
