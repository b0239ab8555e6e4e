// Settings loading on arbitrary INI bytes: the file is the user's, and may have been edited by
// hand or cut short. Loading either refuses it (the start-up then reports it) and changes
// nothing, or gives numbers that agree with the values read one by one. A damaged file is
// copied aside byte for byte before anything writes to it, and the history written back after
// a load reads back the same.

#include "fuzz/fuzzsupport.h"
#include "store/settingsstore.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

using namespace Quorvane;
using namespace Quorvane::Fuzz;

namespace {

const QTemporaryDir &scratchFolder()
{
    static const QTemporaryDir folder;
    if (!folder.isValid())
        fail(QStringLiteral("no temporary folder"));
    return folder;
}

QByteArray fileBytes(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

Settings sentinel()
{
    Settings settings;
    settings.intervalSetting = 1234;
    settings.keywordHistory = QStringList {QStringLiteral("earlier")};
    return settings;
}

void removeFiles()
{
    QDir folder(scratchFolder().path());
    for (const QString &name : folder.entryList(QDir::Files | QDir::Hidden))
        folder.remove(name);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    // A new name for every input: QSettings caches a file's contents by name and may not see a
    // rewrite within the same clock tick.
    static quint64 serial = 0;
    const QString path =
        QDir(scratchFolder().path()).filePath(QStringLiteral("s%1.ini").arg(++serial));
    const QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    {
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
            fail(QStringLiteral("cannot write the settings file"));
    }

    const bool damaged = iniFileIsDamaged(path);
    SettingsStore store(SettingsLocation::iniFile(path));
    Settings settings = sentinel();
    const LoadSettingsResult result = store.loadSettings(settings);

    const std::optional<qint16> interval =
        toSettingNumber(store.readRegValue(SettingsKey, QStringLiteral("Interval")));
    const std::optional<qint16> count =
        toSettingNumber(store.readRegValue(SettingsKey, QStringLiteral("KeywordNum")));
    switch (result) {
    case LoadSettingsResult::BadInterval:
        QUORVANE_FUZZ_CHECK(!interval, QStringLiteral("a sound \"Interval\" was refused"));
        break;
    case LoadSettingsResult::BadKeywordNum:
        QUORVANE_FUZZ_CHECK(interval && !count,
                            QStringLiteral("a sound \"KeywordNum\" was refused"));
        break;
    case LoadSettingsResult::Loaded:
        QUORVANE_FUZZ_CHECK(interval && count, QStringLiteral("loaded without two sound numbers"));
        QUORVANE_FUZZ_CHECK(settings.intervalSetting == *interval
                                && settings.historyCount() == std::max<qint16>(*count, 0),
                            QStringLiteral("loaded numbers differ from the values"));
        for (qsizetype i = 0; i < settings.keywordHistory.size(); ++i)
            QUORVANE_FUZZ_CHECK(
                settings.keywordHistory.at(i)
                    == store.readRegValue(SettingsKey, QStringLiteral("Keyword%1").arg(i + 1)),
                QStringLiteral("history entry %1 differs from its value").arg(i + 1));
        break;
    }
    if (result != LoadSettingsResult::Loaded) {
        const Settings untouched = sentinel();
        QUORVANE_FUZZ_CHECK(settings.intervalSetting == untouched.intervalSetting
                                && settings.keywordHistory == untouched.keywordHistory,
                            QStringLiteral("a refused load changed the settings"));
    }
    QUORVANE_FUZZ_CHECK(fileBytes(path) == bytes, QStringLiteral("reading changed the file"));

    // Before the first write a damaged file is kept aside, exactly as it was.
    const QString copy = store.keepDamagedCopy();
    QUORVANE_FUZZ_CHECK(copy.isEmpty() != damaged,
                        QStringLiteral("damaged %1 but copy [%2]").arg(damaged).arg(copy));
    if (damaged)
        QUORVANE_FUZZ_CHECK(fileBytes(copy) == bytes,
                            QStringLiteral("the damaged copy differs from the file"));

    if (result == LoadSettingsResult::Loaded) {
        QUORVANE_FUZZ_CHECK(store.saveHistory(settings), QStringLiteral("saveHistory failed"));
        SettingsStore again(SettingsLocation::iniFile(path));
        Settings reloaded;
        QUORVANE_FUZZ_CHECK(again.loadSettings(reloaded) == LoadSettingsResult::Loaded,
                            QStringLiteral("the rewritten file does not load"));
        QUORVANE_FUZZ_CHECK(reloaded.intervalSetting == settings.intervalSetting,
                            QStringLiteral("\"Interval\" changed through a rewrite"));
        QUORVANE_FUZZ_CHECK(reloaded.historyCount() == settings.historyCount(),
                            QStringLiteral("the history count changed through a rewrite"));
        for (qsizetype i = 0; i < settings.keywordHistory.size(); ++i)
            QUORVANE_FUZZ_CHECK(
                reloaded.keywordHistory.at(i) == settings.keywordHistory.at(i),
                QStringLiteral("history entry %1 changed through a rewrite").arg(i + 1),
                {visible(settings.keywordHistory.at(i)), visible(reloaded.keywordHistory.at(i))});
        QUORVANE_FUZZ_CHECK(!iniFileIsDamaged(path),
                            QStringLiteral("a file Qt wrote counts as damaged"),
                            {visible(QString::fromUtf8(fileBytes(path)), 2000)});
    }
    removeFiles();
    return 0;
}
