#pragma once

#include "store/filelocations.h"

#include <QDateTime>
#include <QSettings>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

namespace Quorvane {

// The one key every caller passes; relative to HKEY_LOCAL_MACHINE on Windows, a group of the
// INI file elsewhere.
inline const QString SettingsKey = QStringLiteral("Software\\Quorvane 1.2\\Keyword");

// The in-memory copies, one record for the whole program.
struct Settings
{
    // 0 pauses 30 minutes after every three runs; any other value means no pause.
    qint16 intervalSetting = 0;
    // Index 0 is the newest entry.
    QStringList keywordHistory;
    // The history and interval as the store held them when this program last read or wrote
    // them. The window and quorvane-cli share the file, so saveHistory keeps what the other
    // changed since then. Nothing for settings never read from the store: they are written as
    // they are.
    std::optional<QStringList> storedHistory = std::nullopt;
    std::optional<qint16> storedInterval = std::nullopt;

    qint16 historyCount() const { return qint16(keywordHistory.size()); }
};

// Text to a 16-bit signed number: surrounding blanks allowed, a fraction rounded to the nearest
// whole number (halves to the even neighbour). Empty text, text that is not a number and numbers
// outside -32768..32767 give nothing.
std::optional<qint16> toSettingNumber(const QString &text);

enum class LoadSettingsResult {
    Loaded,
    BadInterval, // "Interval" missing, not a number or out of range
    BadKeywordNum, // the same for "KeywordNum"
};

// Registry-like access to the settings. Every call opens and closes its own QSettings, so there
// are no handles between calls. Writes are silent on failure, as callers go on regardless; the
// boolean results are for those who care.
class SettingsStore final
{
public:
    explicit SettingsStore(SettingsLocation location);

    const SettingsLocation &location() const { return m_location; }

    bool writeRegValue(const QString &keyPath, const QString &valueName, const QString &text);
    // The pause choice ("Interval" under the settings key).
    bool saveInterval(qint16 setting);
    // Empty text when the key or the value does not exist; reading never creates anything.
    QString readRegValue(const QString &keyPath, const QString &valueName) const;
    // A first start is recognised by the absence of the key.
    bool keyExists(const QString &keyPath) const;

    // Fills `settings` only when both numbers are sound; otherwise leaves it untouched.
    LoadSettingsResult loadSettings(Settings &settings) const;
    bool writeDefaultSettings(Settings &settings);
    bool writeDefaultSettings(Settings &&settings) { return writeDefaultSettings(settings); }
    // Deletes the key, writes "Interval", Keyword1..N, then "KeywordNum"; the file is replaced
    // once, so an interruption leaves either the earlier or the complete new contents. For
    // settings read from the store, what another program stored since is merged in first
    // (mergeHistory; an "Interval" this program did not change is taken from the store), under
    // a lock beside the file, and `settings` then holds what was written.
    bool saveHistory(Settings &settings);
    bool saveHistory(Settings &&settings) { return saveHistory(settings); }

    // An INI file Qt cannot read whole would be rewritten without the unreadable part on the
    // next write, losing the user's values. Once per store, before its first write, such a file
    // is copied aside. Returns the copy's path (empty when none was needed or made).
    // When the file is damaged and no copy could be made, writes are refused so the only copy
    // of the user's values is not overwritten.
    QString keepDamagedCopy();
    // After a failed write: why writing fails, in words for the user.
    QString writeFailureReason() const;

    // The clock that names the damaged copy; tests set it.
    void setClock(std::function<QDateTime()> clock) { m_clock = std::move(clock); }

    // How long saveHistory waits for the other program's save.
    static constexpr int HistoryLockWait = 5000; // milliseconds

private:
    void mergeStored(Settings &settings) const;
    bool prepareWrite();
    bool commit(QSettings &settings) const;
    bool commitChecked(QSettings &settings) const;

    SettingsLocation m_location;
    std::function<QDateTime()> m_clock;
    bool m_damageChecked = false;
    bool m_writesRefused = false;
    QString m_damagedCopy;
};

// Whether an INI file would lose content when Qt reads and rewrites it: Qt reports a format
// error, the bytes are not UTF-8, a line is neither blank, a comment, a named section header nor
// a key=value pair, or a double quote is left open or spans a line break.
bool iniFileIsDamaged(const QString &fileName);

} // namespace Quorvane
