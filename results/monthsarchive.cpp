#include "results/monthsarchive.h"

#include "results/atomicfile.h"
#include "results/seasons.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

#include <algorithm>

namespace Quorvane {

namespace {

const QString MonthsFolderName = QStringLiteral("months");

std::function<void()> &afterKeepingHook()
{
    static std::function<void()> hook;
    return hook;
}

bool fail(QString *error, const QString &reason)
{
    if (error)
        *error = reason;
    return false;
}

// Copies the file's bytes to `target` in one atomic replacement (a crash leaves no half copy)
// and gives the copy the original's modification time, so that the kept file still tells when
// its report was written. A target already holding the same bytes is left as it is.
bool keepCopy(const QString &source, const QString &target, QString *error)
{
    QFile in(source);
    if (!in.open(QIODevice::ReadOnly))
        return fail(error, QStringLiteral("cannot read %1: %2").arg(source, in.errorString()));
    const QByteArray bytes = in.readAll();
    if (in.error() != QFileDevice::NoError)
        return fail(error, QStringLiteral("cannot read %1: %2").arg(source, in.errorString()));
    const QDateTime modified = QFileInfo(in).lastModified();
    in.close();

    QFile existing(target);
    if (existing.open(QIODevice::ReadOnly) && existing.readAll() == bytes)
        return true;
    existing.close();
    if (!writeFileAtomically(target, bytes, error))
        return false;
    QFile kept(target);
    if (kept.open(QIODevice::ReadWrite | QIODevice::ExistingOnly))
        kept.setFileTime(modified, QFileDevice::FileModificationTime);
    return true;
}

QFileInfoList monthFolders(const ReportFolder &folder)
{
    QFileInfoList folders;
    const QFileInfoList entries =
        QDir(monthsFolderPath(folder)).entryInfoList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name);
    for (const QFileInfo &entry : entries) {
        if (parseMonthKey(entry.fileName()))
            folders << entry;
    }
    return folders;
}

// The files of a month folder whose lower-cased names are among `names`.
QStringList filesNamed(const QFileInfo &monthFolder, const QStringList &names)
{
    QStringList paths;
    const QFileInfoList files =
        QDir(monthFolder.absoluteFilePath()).entryInfoList(QDir::Files | QDir::Hidden, QDir::Name);
    for (const QFileInfo &file : files) {
        if (names.contains(file.fileName().toLower()))
            paths << file.absoluteFilePath();
    }
    return paths;
}

QDate firstOfMonth(const QDate &date)
{
    return QDate(date.year(), date.month(), 1);
}

} // namespace

QString monthKey(int year, int month)
{
    return QStringLiteral("%1-%2")
        .arg(year, 4, 10, QLatin1Char('0'))
        .arg(month, 2, 10, QLatin1Char('0'));
}

QString monthKey(const QDate &date)
{
    return monthKey(date.year(), date.month());
}

std::optional<QDate> parseMonthKey(const QString &key)
{
    static const QRegularExpression shape(QStringLiteral("^(\\d{4})-(\\d{2})$"));
    const QRegularExpressionMatch match = shape.match(key);
    if (!match.hasMatch())
        return std::nullopt;
    const QDate date(match.captured(1).toInt(), match.captured(2).toInt(), 1);
    if (!date.isValid() || date.year() < 1)
        return std::nullopt;
    return date;
}

QString monthsFolderPath(const ReportFolder &folder)
{
    return folder.filePath(MonthsFolderName);
}

void setAfterKeepingHook(std::function<void()> hook)
{
    afterKeepingHook() = std::move(hook);
}

bool keepEarlierMonth(const ReportFolder &folder, const QString &reportPath, QString *error)
{
    const QFileInfo report(reportPath);
    if (!report.isFile())
        return true;
    const QDate written = report.lastModified().toLocalTime().date();
    const QDate today = folder.now().toLocalTime().date();
    if (written.year() == today.year() && written.month() == today.month())
        return true;

    // Copy first, replace after: the new report's own atomic replacement is what removes the
    // earlier one, so until it happens the earlier report is still in place, and from the
    // moment it happens the copy is already whole under months/. A hard link would keep the
    // bytes as well, but not on every file system the report folder may be on.
    const QDir monthFolder(QDir(monthsFolderPath(folder)).filePath(monthKey(written)));
    if (!QDir().mkpath(monthFolder.path()))
        return fail(error, QStringLiteral("cannot create the folder %1").arg(monthFolder.path()));
    const QString name = report.fileName().toLower();
    if (!keepCopy(reportPath, monthFolder.filePath(name), error))
        return false;
    // The months stay with the report they were written for.
    const QString seasons = seasonsPath(reportPath);
    if (QFileInfo(seasons).isFile() && !readSeasons(reportPath).isEmpty()
        && !keepCopy(seasons, monthFolder.filePath(QFileInfo(seasons).fileName().toLower()), error))
        return false;

    if (afterKeepingHook())
        afterKeepingHook()();
    return true;
}

QList<ReportMonth> reportMonths(const ReportFolder &folder, const QString &keyword)
{
    const QString name = reportFileName(keyword);
    QList<ReportMonth> months;
    for (const QFileInfo &monthFolder : monthFolders(folder)) {
        const QStringList files = filesNamed(monthFolder, {name});
        if (!files.isEmpty())
            months.append({*parseMonthKey(monthFolder.fileName()), files.first(), false});
    }
    const QString current = findReportFile(folder, keyword);
    if (!current.isEmpty())
        months.append(
            {firstOfMonth(QFileInfo(current).lastModified().toLocalTime().date()), current, true});
    std::stable_sort(months.begin(), months.end(),
                     [](const ReportMonth &a, const ReportMonth &b) { return a.month < b.month; });
    return months;
}

QStringList keptMonthFiles(const ReportFolder &folder, const QString &keyword)
{
    const QString name = reportFileName(keyword);
    const QString seasons = QFileInfo(seasonsPath(name)).fileName();
    QStringList files;
    for (const QFileInfo &monthFolder : monthFolders(folder))
        files << filesNamed(monthFolder, {name, seasons});
    return files;
}

int removeKeptMonths(const ReportFolder &folder, const QString &keyword)
{
    int removed = 0;
    for (const QString &file : keptMonthFiles(folder, keyword)) {
        if (QFile::remove(file))
            ++removed;
    }
    // rmdir leaves folders that still hold other keywords' months.
    for (const QFileInfo &monthFolder : monthFolders(folder))
        QDir().rmdir(monthFolder.absoluteFilePath());
    QDir().rmdir(monthsFolderPath(folder));
    return removed;
}

} // namespace Quorvane
