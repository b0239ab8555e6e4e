#include "results/reportfile.h"

#include "results/atomicfile.h"
#include "results/monthsarchive.h"
#include "results/numbers.h"
#include "results/plaintext.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>

namespace Quorvane {

namespace {

const QString KeywordKey = QStringLiteral("Keyword=");
const QString TotalKey = QStringLiteral(",Total Searches=");
const QString LineEnd = QStringLiteral("\r\n");

// File names stay well inside every file system's limit.
constexpr int MaxNameBytes = 200;
// A report is at most about a hundred short lines; anything far larger is not one.
constexpr qint64 MaxReportBytes = 4 * 1024 * 1024;

bool isForbiddenInName(QChar c)
{
    const char16_t u = c.unicode();
    if (u < 0x20 || u == 0x7f || (u >= 0x80 && u <= 0x9f))
        return true;
    return QStringView(u"/\\:*?\"<>|").contains(c);
}

bool isDeviceName(const QString &base)
{
    static const QStringList names = [] {
        QStringList list {QStringLiteral("con"),    QStringLiteral("prn"),
                          QStringLiteral("aux"),    QStringLiteral("nul"),
                          QStringLiteral("conin$"), QStringLiteral("conout$")};
        for (int i = 0; i <= 9; ++i) {
            list << QStringLiteral("com%1").arg(i) << QStringLiteral("lpt%1").arg(i);
        }
        // Windows also takes the superscript digits one to three as port numbers.
        for (const QChar digit : {u'\u00b9', u'\u00b2', u'\u00b3'}) {
            list << QStringLiteral("com") + digit << QStringLiteral("lpt") + digit;
        }
        return list;
    }();
    return names.contains(base);
}

int utf8Length(QStringView text)
{
    int bytes = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t u = text[i].unicode();
        if (u < 0x80)
            bytes += 1;
        else if (u < 0x800)
            bytes += 2;
        else if (QChar::isHighSurrogate(u) && i + 1 < text.size() && text[i + 1].isLowSurrogate()) {
            bytes += 4;
            ++i;
        } else
            bytes += 3;
    }
    return bytes;
}

// The longest start of text that takes at most maxBytes in UTF-8, surrogate pairs kept whole.
QString cutToBytes(const QString &text, int maxBytes)
{
    qsizetype end = 0;
    while (end < text.size()) {
        qsizetype next = end + 1;
        if (text[end].isHighSurrogate() && next < text.size() && text[next].isLowSurrogate())
            ++next;
        if (utf8Length(QStringView(text).left(next)) > maxBytes)
            break;
        end = next;
    }
    return text.left(end);
}

QString fixedLine(const std::array<QString, ListColumnCount> &cells)
{
    QString line;
    for (int column = 0; column < ListColumnCount - 1; ++column) {
        const int width = ReportFieldWidths[std::size_t(column)];
        line += cells[std::size_t(column)].left(width).leftJustified(width, u' ');
    }
    line += cells[ColumnAd];
    return line;
}

QString headingLine()
{
    std::array<QString, ListColumnCount> captions;
    for (int column = 0; column < ListColumnCount; ++column)
        captions[std::size_t(column)] = listColumnCaption(column);
    return fixedLine(captions);
}

constexpr qsizetype FixedFieldsWidth = [] {
    qsizetype width = 0;
    for (const int field : ReportFieldWidths)
        width += field;
    return width;
}();

QStringView fieldOf(QStringView line, int column)
{
    qsizetype start = 0;
    for (int c = 0; c < column; ++c)
        start += ReportFieldWidths[std::size_t(c)];
    const qsizetype width =
        column < ListColumnCount - 1 ? ReportFieldWidths[std::size_t(column)] : line.size() - start;
    return trimSpaces(line.mid(start, width));
}

// A row as the writer lays it out: every fixed field there, a row number, two percentages and
// an "Ad" that is empty or "Y". A row cut short, or a line of anything else, is not one.
bool hasRowShape(QStringView line)
{
    if (line.size() < FixedFieldsWidth)
        return false;
    const QStringView id = fieldOf(line, ColumnId);
    const QStringView ad = fieldOf(line, ColumnAd);
    return !id.isEmpty()
        && std::all_of(id.begin(), id.end(), [](QChar c) { return c >= u'0' && c <= u'9'; })
        && fieldOf(line, ColumnPercent).endsWith(u'%') && fieldOf(line, ColumnSum).endsWith(u'%')
        && (ad.isEmpty() || ad == u"Y");
}

ListRow readRow(QStringView line, const QLocale &locale)
{
    ListRow row;
    for (int column = 0; column < ListColumnCount; ++column)
        row[column] = fieldOf(line, column).toString();
    QString &ratio = row[ColumnPopularityPerSearch];
    if (!ratio.isEmpty())
        ratio = formatCount(valueThroughWholeFormat(ratio, locale), locale);
    return row;
}

// "Keyword=" + keyword + ",Total Searches=" + total, split at the last ",Total Searches=" so
// that a keyword holding commas survives.
QString loadedCaption(const QString &firstLine, int rowCount)
{
    const qsizetype at = firstLine.lastIndexOf(TotalKey);
    return QStringLiteral("Keyword \"%1\",searches %2 (top %3 only)")
        .arg(firstLine.mid(KeywordKey.size(), at - KeywordKey.size()),
             firstLine.mid(at + TotalKey.size()), QString::number(rowCount));
}

enum class Read { Missing, Damaged, Sound };

// The lines of a report file, or why there are none: a file that cannot be read, is cut short
// or is not a report at all counts as damaged.
Read readLines(const QString &filePath, QStringList &lines)
{
    QFile file(filePath);
    if (!file.exists())
        return Read::Missing;
    if (!file.open(QIODevice::ReadOnly) || file.size() > MaxReportBytes)
        return Read::Damaged;
    const QByteArray bytes = file.readAll();
    // Every line ends with a line break: a file without one at its end was cut short.
    if (file.error() != QFileDevice::NoError || !bytes.endsWith('\n'))
        return Read::Damaged;
    lines = QString::fromLocal8Bit(bytes).split(u'\n');
    lines.removeLast(); // after the line break of the last line
    for (QString &line : lines) {
        if (line.endsWith(u'\r'))
            line.chop(1);
    }
    if (lines.size() < 3 || !lines[0].startsWith(KeywordKey) || !lines[0].contains(TotalKey)
        || !lines[1].isEmpty() || lines[2] != headingLine())
        return Read::Damaged;
    for (qsizetype i = 3; i < lines.size(); ++i) {
        if (!hasRowShape(lines[i]))
            return Read::Damaged;
    }
    return Read::Sound;
}

QFileInfoList filesOf(const QString &path)
{
    return QDir(path).entryInfoList(QDir::Files | QDir::Hidden, QDir::Name);
}

} // namespace

ReportFolder::ReportFolder(QString path, Clock clock)
    : m_path(std::move(path))
    , m_clock(std::move(clock))
{ }

QDateTime ReportFolder::now() const
{
    return m_clock ? m_clock() : QDateTime::currentDateTime();
}

bool ReportFolder::ensureExists() const
{
    return QDir().mkpath(m_path);
}

QString ReportFolder::filePath(const QString &fileName) const
{
    return QDir(m_path).filePath(fileName);
}

QString ReportFolder::existingName(const QString &fileName) const
{
    if (QFileInfo(filePath(fileName)).isFile())
        return fileName;
    const QString wanted = fileName.toLower();
    for (const QFileInfo &info : filesOf(m_path)) {
        if (info.fileName().toLower() == wanted)
            return info.fileName();
    }
    return QString();
}

QString reportStem(const QString &keyword)
{
    QString stem = keyword.toLower();
    stem.replace(u' ', u'_');
    for (QChar &c : stem) {
        if (isForbiddenInName(c))
            c = u'_';
    }
    if (std::all_of(stem.cbegin(), stem.cend(), [](QChar c) { return c == u'.'; }))
        stem.fill(u'_', std::max<qsizetype>(stem.size(), 1));
    if (isDeviceName(stem.section(u'.', 0, 0)))
        stem.prepend(u'_');
    const int suffixBytes = 4; // ".kwd"
    if (utf8Length(stem) + suffixBytes > MaxNameBytes) {
        const QByteArray hash =
            QCryptographicHash::hash(stem.toUtf8(), QCryptographicHash::Sha1).toHex().left(8);
        stem = cutToBytes(stem, MaxNameBytes - suffixBytes - 1 - int(hash.size())) + u'~'
            + QString::fromLatin1(hash);
    }
    return stem;
}

QString reportFileName(const QString &keyword)
{
    return reportStem(keyword) + QStringLiteral(".kwd");
}

std::optional<QString> findReusableReport(const ReportFolder &folder, const QString &keyword)
{
    folder.ensureExists();
    // Only the keyword's own report counts: a user's golf.txt or golf.bak is none of ours.
    const QString wanted = reportFileName(keyword);
    const QDate today = folder.now().toLocalTime().date();
    for (const QFileInfo &info : filesOf(folder.path())) {
        if (info.fileName().toLower() != wanted)
            continue;
        const QDate modified = info.lastModified().toLocalTime().date();
        // A damaged report is no report. An earlier month's report stays until the run's new
        // report replaces it: a run that is stopped, refused or finds nothing must not leave
        // the keyword without one.
        if (modified.year() == today.year() && modified.month() == today.month()
            && readReport(info.absoluteFilePath()))
            return info.fileName();
    }
    return std::nullopt;
}

bool hasDamagedReport(const ReportFolder &folder, const QString &keyword)
{
    const QString existing = folder.existingName(reportFileName(keyword));
    QStringList lines;
    return !existing.isEmpty() && readLines(folder.filePath(existing), lines) == Read::Damaged;
}

QString damagedReportMessage(const QString &keyword)
{
    return QStringLiteral("The stored report of \"%1\" is damaged and cannot be shown. "
                          "A new suggestion run replaces it.")
        .arg(keyword);
}

QByteArray reportBytes(const QString &seedKeyword, qint64 totalSearches, const QList<ListRow> &rows,
                       const QLocale &locale)
{
    QString text = KeywordKey + singleLine(seedKeyword) + TotalKey
        + formatCount(double(totalSearches), locale) + LineEnd;
    text += LineEnd;
    text += headingLine() + LineEnd;
    for (const ListRow &row : rows)
        text += fixedLine(row.cells) + LineEnd;
    return text.toLocal8Bit();
}

std::optional<StoredReport> readReport(const QString &filePath, const QLocale &locale)
{
    QStringList lines;
    if (readLines(filePath, lines) != Read::Sound)
        return std::nullopt;
    StoredReport report;
    for (qsizetype i = 3; i < lines.size(); ++i)
        report.rows.append(readRow(lines[i], locale));
    report.suggestionsCaption = loadedCaption(lines[0], int(report.rows.size()));
    return report;
}

bool writeReport(SuggestionTable &table, const QString &seedKeyword, const ReportFolder &folder,
                 const QString &reportFileName, ResultList &list, const QLocale &locale,
                 QString *error)
{
    const qint64 total = totalSearches(table, locale);
    list.rows = makeListRows(table, total, locale);
    list.suggestionsCaption = summaryCaption(
        seedKeyword, total, std::clamp(int(table.suggestionCount), 0, MaxSuggestions), locale);

    const auto fail = [error](const QString &reason) {
        if (error)
            *error = reason;
        return false;
    };
    if (!folder.ensureExists())
        return fail(QStringLiteral("cannot create the folder %1").arg(folder.path()));
    const QString existing = folder.existingName(reportFileName);
    const QString path = folder.filePath(existing.isEmpty() ? reportFileName : existing);
    // An earlier month's report goes under months/ before this one replaces it.
    if (!keepEarlierMonth(folder, path, error))
        return false;
    QString reason;
    if (!writeFileAtomically(path, reportBytes(seedKeyword, total, list.rows, locale), &reason))
        return fail(reason);
    return true;
}

bool loadReport(const ReportFolder &folder, const QString &fileName, ResultList &list,
                const QueryAddressBuilder &queryAddress, const QLocale &locale)
{
    const QString existing = folder.existingName(fileName);
    if (existing.isEmpty())
        return false;
    auto report = readReport(folder.filePath(existing), locale);
    if (!report)
        return false;
    list.rows = std::move(report->rows);
    list.suggestionsCaption = std::move(report->suggestionsCaption);
    list.queryAddresses.clear();
    for (const ListRow &row : std::as_const(list.rows)) {
        const QString &phrase = row[ColumnSuggestions];
        list.queryAddresses.append(queryAddress ? queryAddress(phrase) : phrase);
    }
    return true;
}

QString findReportFile(const ReportFolder &folder, const QString &keyword)
{
    const QString existing = folder.existingName(reportFileName(keyword));
    return existing.isEmpty() ? QString() : folder.filePath(existing);
}

bool deleteReportFile(const ReportFolder &folder, const QString &keyword)
{
    const QString wanted = reportFileName(keyword);
    bool removed = false;
    for (const QFileInfo &info : filesOf(folder.path())) {
        if (info.fileName().toLower() == wanted && QFile::remove(info.absoluteFilePath()))
            removed = true;
    }
    return removed;
}

} // namespace Quorvane
