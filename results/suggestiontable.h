#pragma once

#include <QString>

#include <array>

namespace Quorvane {

inline constexpr int MaxSuggestions = 100;

// One suggested phrase with the figures gathered for it during a run.
struct Suggestion
{
    QString Searches; // monthly searches, as read from the keyword database page
    QString Keyword; // the suggested phrase
    QString Results; // result count, plain digits without separators
    bool HasAds = false; // the phrase's result page showed sponsored links
};

// The figures of the current run. NoSuggestions survives emptyEntries(): a run whose
// first phase parses no page keeps the flag of the run before it.
struct SuggestionTable
{
    std::array<Suggestion, MaxSuggestions> Entries;
    qint16 SuggestionCount = 0;
    bool NoSuggestions = false;

    void emptyEntries() { Entries.fill(Suggestion {}); }
};

} // namespace Quorvane
