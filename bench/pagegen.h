#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

namespace Quorvane {

// Pages built to make a parser do worst-case work. Each is plain ASCII, so a byte is a character.
enum class HostileFamily {
    Nested, // tables nested one inside the other, closed only at the end
    Unclosed, // a result-count marker, then tables that are opened and never closed
    Lt, // "<" characters with no ">" anywhere after them
    Attribute, // one attribute value that runs the whole page
    Br, // line-break tags in one cell, about 100,000 at 512 KiB
    Style, // style blocks in one cell, about 10,000 at 512 KiB
    Nbsp, // cell text full of "&nbsp;"
};

QList<HostileFamily> allHostileFamilies();
// "nested", "unclosed", "lt", "attribute", "br", "style", "nbsp"
QString hostileFamilyName(HostileFamily family);

// A page of the family exactly `bytes` long (pages below 4 KiB may come out longer). The
// repeated structure grows with the size: at 512 KiB tables nest about 10,000 deep.
QByteArray hostilePage(HostileFamily family, qsizetype bytes);

// A search engine result page of about 300 KB shaped like a real one: large style and script
// blocks, navigation and form tables, ten results with their snippet tables and inline scripts,
// the result-count phrase near the top and the sponsored links table near the end. The same
// seed gives the same bytes.
QByteArray realisticResultPage(quint32 seed = 1);
// The count the realistic page reports, without grouping ("1230000").
QString realisticResultCount(quint32 seed = 1);

// A keyword database page: head, navigation table, then a table whose body holds `rows` rows
// of (monthly searches, linked phrase).
QByteArray keywordDatabasePage(int rows = 100, quint32 seed = 1);

// Exactly 1 MiB: a style block, then 30,000 tables each opened with <table><tr><td> and closed
// with </td></tr></table>, "sponsored" inside the innermost and "link" after the outermost.
QByteArray nestedTablesPage();

} // namespace Quorvane
