#include "store/settingsstore.h"

#include "store/keywordhistory.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QLockFile>
#include <QRegularExpression>
#include <QSaveFile>
#include <QStringDecoder>
#include <QTemporaryDir>

#include <cmath>

#ifdef Q_OS_UNIX
#include <cstdio>
#include <unistd.h>
#endif

namespace Quorvane {

namespace {

const QString IntervalName = QStringLiteral("Interval");
const QString KeywordNumName = QStringLiteral("KeywordNum");

QString entryName(qsizetype index)
{
    return QStringLiteral("Keyword") + QString::number(index + 1);
}

// QSettings separates groups with "/"; callers pass registry-style paths.
QString groupOf(const QString &keyPath)
{
    QString group = keyPath;
    group.replace(QLatin1Char('\\'), QLatin1Char('/'));
    return group;
}

QString valueText(const QVariant &value)
{
    // A hand-edited INI line with an unquoted comma reads as a list; give back its text.
    if (value.typeId() == QMetaType::QStringList)
        return value.toStringList().join(QStringLiteral(", "));
    return value.toString();
}

// A hand-edited file may give one value twice: under the section of the whole key and as a
// longer key under a shorter section ("[Software]" with "Quorvane%201.2\\Keyword\\Interval").
// Qt parses a file's sections lazily, one per value asked for, and the section parsed last
// wins, so which of the two a read gives would depend on what was read before, in this or an
// earlier QSettings on the same file. Parsing every section first makes every read give the
// same one.
void parseWholeFile(const QSettings &settings)
{
    settings.allKeys();
}

QString readValue(const QSettings &settings, const QString &name)
{
    return valueText(settings.value(name));
}

bool sameBytes(const QString &a, const QString &b)
{
    QFile fa(a);
    QFile fb(b);
    if (fa.size() != fb.size() || !fa.open(QIODevice::ReadOnly) || !fb.open(QIODevice::ReadOnly))
        return false;
    return fa.readAll() == fb.readAll();
}

// Splits INI bytes into lines as Qt's reader does: a backslash escapes the next character (a
// line break included) and a line break inside double quotes does not end the line. Reports a
// line break inside quotes or quotes left open, as Qt itself never writes either and a stray
// quote swallows the lines after it.
bool splitIniLines(const QString &text, QStringList &lines)
{
    QString line;
    bool inQuotes = false;
    bool quotedBreak = false;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar ch = text.at(i);
        if (ch == QLatin1Char('\\') && i + 1 < text.size()) {
            line += ch;
            line += text.at(++i);
            continue;
        }
        if (ch == QLatin1Char('"'))
            inQuotes = !inQuotes;
        if (ch == QLatin1Char('\n') || ch == QLatin1Char('\r')) {
            if (inQuotes) {
                quotedBreak = true;
            } else {
                lines.append(line);
                line.clear();
                continue;
            }
        }
        line += ch;
    }
    lines.append(line);
    return !inQuotes && !quotedBreak;
}

bool lineIsSound(const QString &rawLine)
{
    const QString line = rawLine.trimmed();
    if (line.isEmpty() || line.startsWith(QLatin1Char(';')) || line.startsWith(QLatin1Char('#')))
        return true;
    if (line.startsWith(QLatin1Char('['))) {
        const qsizetype close = line.indexOf(QLatin1Char(']'));
        return close > 1 && !line.mid(1, close - 1).trimmed().isEmpty();
    }
    // Qt keeps a value with an empty key, but drops a line without "=".
    return line.contains(QLatin1Char('='));
}

#ifdef Q_OS_UNIX
bool hardLink(const QString &from, const QString &to)
{
    return ::link(QFile::encodeName(from).constData(), QFile::encodeName(to).constData()) == 0;
}

bool replaceFile(const QString &from, const QString &to)
{
    return ::rename(QFile::encodeName(from).constData(), QFile::encodeName(to).constData()) == 0;
}

// Whether the INI file holds exactly the values of the settings key that `meant` holds; nothing
// when it cannot be told. QSettings answers for a file it wrote itself from its own memory, so
// the file is read under a name never used before: a hard link to it.
std::optional<bool> fileHolds(const QString &fileName, QSettings &meant)
{
    static int serial = 0;
    const QString alias = fileName
        + QStringLiteral(".check-%1-%2").arg(QCoreApplication::applicationPid()).arg(++serial);
    if (!hardLink(fileName, alias))
        return std::nullopt;
    bool same = false;
    {
        QSettings written(alias, QSettings::IniFormat);
        same = written.status() == QSettings::NoError;
        written.beginGroup(groupOf(SettingsKey));
        meant.beginGroup(groupOf(SettingsKey));
        QStringList keys = meant.allKeys();
        QStringList writtenKeys = written.allKeys();
        keys.sort();
        writtenKeys.sort();
        same = same && writtenKeys == keys;
        for (qsizetype i = 0; same && i < keys.size(); ++i)
            same = readValue(written, keys[i]) == readValue(meant, keys[i]);
        meant.endGroup();
    }
    QFile::remove(alias);
    return same;
}
#endif

} // namespace

std::optional<qint16> toSettingNumber(const QString &text)
{
    static const QRegularExpression number(
        QStringLiteral("^[+-]?(\\d+\\.?\\d*|\\.\\d+)([eE][+-]?\\d+)?$"));
    const QString trimmed = text.trimmed();
    if (!number.match(trimmed).hasMatch())
        return std::nullopt;
    bool ok = false;
    const double value = QLocale::c().toDouble(trimmed, &ok);
    if (!ok || !std::isfinite(value))
        return std::nullopt;
    // rint rounds halves to the even neighbour in the default rounding mode.
    const double rounded = std::rint(value);
    if (rounded < -32768.0 || rounded > 32767.0)
        return std::nullopt;
    return qint16(rounded);
}

bool iniFileIsDamaged(const QString &fileName)
{
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    const QByteArray bytes = file.readAll();
    file.close();

    QStringDecoder decoder(QStringDecoder::Utf8);
    const QString text = decoder(bytes);
    if (decoder.hasError())
        return true;

    QStringList lines;
    if (!splitIniLines(text, lines))
        return true;
    for (const QString &line : std::as_const(lines)) {
        if (!lineIsSound(line))
            return true;
    }

    // QSettings keeps what it parsed of a file by name and reports a format error only while it
    // parses, so a file this process has already read would pass. A copy under a new name is
    // parsed afresh.
    QTemporaryDir scratch;
    QString parsed = fileName;
    if (scratch.isValid()) {
        QFile copy(scratch.filePath(QStringLiteral("check.ini")));
        if (copy.open(QIODevice::WriteOnly) && copy.write(bytes) == bytes.size()) {
            copy.close();
            if (copy.error() == QFileDevice::NoError)
                parsed = copy.fileName();
        }
    }
    const QSettings settings(parsed, QSettings::IniFormat);
    return settings.status() == QSettings::FormatError;
}

SettingsStore::SettingsStore(SettingsLocation location)
    : m_location(std::move(location))
    , m_clock([] { return QDateTime::currentDateTime(); })
{ }

bool SettingsStore::commit(QSettings &settings) const
{
    // QSettings writes through QSaveFile while atomic sync is required (its default), so the file
    // on disk is only ever the earlier or the complete new one.
    settings.setAtomicSyncRequired(true);
#ifdef Q_OS_UNIX
    if (m_location.isIniFile())
        return commitChecked(settings);
#endif
    settings.sync();
    return settings.isWritable() && settings.status() != QSettings::AccessError;
}

#ifdef Q_OS_UNIX
// Qt's INI writer does not see a write that fails only when its buffer is flushed (a full disk):
// it puts the cut-short file in place and reports success, and the next start would find the
// history without its count. So the file written is read back, and when it is not what was
// meant, the earlier file, kept under a hard link (which takes no room), comes back.
bool SettingsStore::commitChecked(QSettings &settings) const
{
    const QString path = m_location.path;
    const QFileInfo info(path);
    // Links a killed program may have left.
    const QStringList leftovers =
        info.dir().entryList({info.fileName() + QStringLiteral(".earlier"),
                              info.fileName() + QStringLiteral(".check-*")},
                             QDir::Files | QDir::Hidden | QDir::System);
    for (const QString &name : leftovers)
        QFile::remove(info.dir().filePath(name));

    const QString earlier = path + QStringLiteral(".earlier");
    const bool kept = info.exists() && hardLink(path, earlier);
    settings.sync();
    bool written = settings.isWritable() && settings.status() != QSettings::AccessError;
    if (written && fileHolds(path, settings) == false) {
        written = false;
        if (kept)
            replaceFile(earlier, path);
        else
            QFile::remove(path); // the next start is a first start, not a failed one
    }
    QFile::remove(earlier);
    return written;
}
#endif

bool SettingsStore::prepareWrite()
{
    keepDamagedCopy();
    return !m_writesRefused;
}

QString SettingsStore::keepDamagedCopy()
{
    if (m_damageChecked)
        return m_damagedCopy;
    m_damageChecked = true;
    if (!m_location.isIniFile() || !QFileInfo::exists(m_location.path)
        || !iniFileIsDamaged(m_location.path))
        return {};

    // A copy kept at an earlier start that was never followed by a write is enough.
    const QFileInfo info(m_location.path);
    const QString prefix = info.fileName() + QStringLiteral(".damaged-");
    const QStringList earlier =
        info.dir().entryList({prefix + QLatin1Char('*')}, QDir::Files, QDir::Name);
    for (const QString &name : earlier) {
        const QString candidate = info.dir().filePath(name);
        if (sameBytes(candidate, m_location.path)) {
            m_damagedCopy = candidate;
            return m_damagedCopy;
        }
    }

    const QString stem = m_location.path + QStringLiteral(".damaged-")
        + m_clock().toString(QStringLiteral("yyyyMMdd-HHmmss"));
    QString copy = stem;
    for (int n = 2; QFileInfo::exists(copy) && n < 100; ++n)
        copy = stem + QLatin1Char('-') + QString::number(n);
    if (QFileInfo::exists(copy) || !QFile::copy(m_location.path, copy)) {
        m_writesRefused = true;
        return {};
    }
    m_damagedCopy = copy;
    return m_damagedCopy;
}

QString SettingsStore::writeFailureReason() const
{
    if (m_writesRefused)
        return QStringLiteral("the file is damaged and no copy of it could be kept");
    if (!m_location.isIniFile())
        return QStringLiteral("access denied");
    // QSettings keeps the system's reason to itself; a trial write in the same place tells it.
    QSaveFile probe(m_location.path);
    if (!probe.open(QIODevice::WriteOnly))
        return probe.errorString();
    probe.cancelWriting();
    return QStringLiteral("the file did not read back as written");
}

bool SettingsStore::saveInterval(qint16 setting)
{
    return writeRegValue(SettingsKey, IntervalName, QString::number(setting));
}

bool SettingsStore::writeRegValue(const QString &keyPath, const QString &valueName,
                                  const QString &text)
{
    if (!prepareWrite())
        return false;
    QSettings settings(m_location.path, m_location.format);
    settings.beginGroup(groupOf(keyPath));
    settings.setValue(valueName, text);
    settings.endGroup();
    return commit(settings);
}

QString SettingsStore::readRegValue(const QString &keyPath, const QString &valueName) const
{
    QSettings settings(m_location.path, m_location.format);
    parseWholeFile(settings);
    settings.beginGroup(groupOf(keyPath));
    return readValue(settings, valueName);
}

bool SettingsStore::keyExists(const QString &keyPath) const
{
    QSettings settings(m_location.path, m_location.format);
    settings.beginGroup(groupOf(keyPath));
    return !settings.allKeys().isEmpty();
}

LoadSettingsResult SettingsStore::loadSettings(Settings &settings) const
{
    QSettings store(m_location.path, m_location.format);
    parseWholeFile(store);
    store.beginGroup(groupOf(SettingsKey));

    const std::optional<qint16> interval = toSettingNumber(readValue(store, IntervalName));
    if (!interval)
        return LoadSettingsResult::BadInterval;
    const std::optional<qint16> count = toSettingNumber(readValue(store, KeywordNumName));
    if (!count)
        return LoadSettingsResult::BadKeywordNum;

    // A negative count leaves the history empty; the count is then the history's size, so it
    // cannot disagree with the entries actually held.
    QStringList history;
    history.reserve(qMax<qint16>(*count, 0));
    for (qint16 i = 0; i < *count; ++i)
        history.append(readValue(store, entryName(i)));

    settings.intervalSetting = *interval;
    settings.keywordHistory = history;
    settings.storedInterval = *interval;
    settings.storedHistory = history;
    return LoadSettingsResult::Loaded;
}

bool SettingsStore::writeDefaultSettings(Settings &settings)
{
    if (!prepareWrite())
        return false;
    QSettings store(m_location.path, m_location.format);
    store.beginGroup(groupOf(SettingsKey));
    store.setValue(IntervalName, QString::number(settings.intervalSetting));
    store.setValue(KeywordNumName, QStringLiteral("0"));
    store.endGroup();
    const bool written = commit(store);
    if (written) {
        settings.storedInterval = settings.intervalSetting;
        settings.storedHistory = QStringList();
    }
    return written;
}

// What another program stored since this one last read or wrote the settings is kept: its
// new entries and deletions, and its choice of pause when this program did not change it.
void SettingsStore::mergeStored(Settings &settings) const
{
    Settings stored;
    if (!settings.storedHistory || loadSettings(stored) != LoadSettingsResult::Loaded)
        return;
    settings.keywordHistory =
        mergeHistory(*settings.storedHistory, settings.keywordHistory, stored.keywordHistory);
    if (settings.storedInterval == settings.intervalSetting)
        settings.intervalSetting = stored.intervalSetting;
}

bool SettingsStore::saveHistory(Settings &settings)
{
    if (!prepareWrite())
        return false;
    // Read, merge and write as one step against the other program doing the same. Not Qt's own
    // "<file>.lock", which QSettings takes inside sync(). A lock that cannot be had in time
    // (a folder without write access, a holder that hangs) does not keep the change from being
    // written.
    std::optional<QLockFile> lock;
    if (m_location.isIniFile()) {
        lock.emplace(m_location.path + QStringLiteral(".history-lock"));
        lock->tryLock(HistoryLockWait);
    }
    mergeStored(settings);
    // The steps change QSettings' copy in memory; sync() then replaces the file once.
    QSettings store(m_location.path, m_location.format);
    const QString group = groupOf(SettingsKey);
    store.remove(group);
    store.beginGroup(group);
    store.setValue(IntervalName, QString::number(settings.intervalSetting));
    for (qsizetype i = 0; i < settings.keywordHistory.size(); ++i)
        store.setValue(entryName(i), settings.keywordHistory.at(i));
    store.setValue(KeywordNumName, QString::number(settings.historyCount()));
    store.endGroup();
    const bool written = commit(store);
    if (written && settings.storedHistory) {
        settings.storedHistory = settings.keywordHistory;
        settings.storedInterval = settings.intervalSetting;
    }
    return written;
}

} // namespace Quorvane
