#include "app/settingsdialog.h"
#include "app/sourcessetup.h"
#include "app/sourceswindow.h"
#include "results/reportfile.h"
#include "results/resultlist.h"
#include "sources/accountcheck.h"
#include "sources/dataforseo.h"
#include "sources/serpapi.h"
#include "store/keychain.h"
#include "tests/support/loopbackservices.h"
#include "tests/support/testfiles.h"
#include "tests/support/testmain.h"

#include <QApplication>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QDirIterator>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTextStream>

#include <iostream>

using namespace Quorvane;

namespace {

const QString Secret = QStringLiteral("pw-Zq7#keychain-only");
const QString Login = QStringLiteral("someone@example.com");

// Waits for one KeyStore answer.
struct Answer
{
    std::optional<KeyStore::Outcome> outcome;
    QString value;
    KeyStore::Done sink()
    {
        return [this](KeyStore::Outcome o, const QString &v) {
            outcome = o;
            value = v;
        };
    }
    bool wait()
    {
        return QTest::qWaitFor([this] { return outcome.has_value(); }, 20000);
    }
};

// Every file under `folder` that holds the secret in any form it could be written in.
QStringList filesHolding(const QString &folder, const QString &secret)
{
    const QList<QByteArray> forms = {
        secret.toUtf8(),
        QByteArray(reinterpret_cast<const char *>(secret.utf16()), secret.size() * 2),
        secret.toUtf8().toBase64(), (Login + QLatin1Char(':') + secret).toUtf8().toBase64(),
        QUrl::toPercentEncoding(secret)};
    QStringList holding;
    QDirIterator files(folder, QDir::Files | QDir::Hidden | QDir::System,
                       QDirIterator::Subdirectories);
    while (files.hasNext()) {
        const QString path = files.next();
        const QByteArray bytes = TestSupport::readAll(path);
        for (const QByteArray &form : forms) {
            if (bytes.contains(form))
                holding << path;
        }
    }
    return holding;
}

// Helper process: stores the secret read from stdin where no keychain answers, reads it back.
int storeWithoutKeychain(const QStringList &)
{
    QTextStream in(stdin);
    const QString secret = in.readLine();
    KeyStore keys(QStringLiteral("Quorvane test"));
    Answer written;
    keys.write(QStringLiteral("SerpApi API key"), secret, written.sink());
    Answer read;
    if (written.wait())
        keys.read(QStringLiteral("SerpApi API key"), read.sink());
    read.wait();
    std::cout << "memory-only=" << keys.memoryOnly()
              << " written-in-memory=" << (written.outcome == KeyStore::Outcome::InMemory)
              << " read-in-memory=" << (read.outcome == KeyStore::Outcome::InMemory)
              << " same=" << (read.value == secret) << std::endl;
    return 0;
}

} // namespace

class tst_Keychain final : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void roundTripThroughTheSecretService();
    void noKeychainKeepsKeysInMemoryOnly();
    void sourcesWindowStoresKeysInTheKeychainOnly();
    void keysNeededForTheChosenSources_data();
    void keysNeededForTheChosenSources();

private:
    QTemporaryDir m_home;
};

void tst_Keychain::initTestCase()
{
    // Started by ctest inside dbus-run-session with an unlocked gnome-keyring of its own; run
    // alone it would write to the user's real keychain.
    if (qEnvironmentVariable("QUORVANE_PRIVATE_KEYCHAIN") != QLatin1String("1"))
        QSKIP("needs the private Secret Service its ctest registration starts");
    QVERIFY(m_home.isValid());
}

void tst_Keychain::roundTripThroughTheSecretService()
{
    const QString entry = QStringLiteral("DataForSEO password");
    {
        KeyStore keys(QStringLiteral("Quorvane test"));
        Answer written;
        keys.write(entry, Secret, written.sink());
        QVERIFY(written.wait());
        QCOMPARE(written.outcome, KeyStore::Outcome::InKeychain);
        QVERIFY(!keys.memoryOnly());
    }
    // A store that never saw the value finds it: it is in the keychain, not in memory.
    KeyStore later(QStringLiteral("Quorvane test"));
    Answer read;
    later.read(entry, read.sink());
    QVERIFY(read.wait());
    QCOMPARE(read.outcome, KeyStore::Outcome::InKeychain);
    QVERIFY(read.value == Secret);

    Answer removed;
    later.remove(entry, removed.sink());
    QVERIFY(removed.wait());
    Answer gone;
    later.read(entry, gone.sink());
    QVERIFY(gone.wait());
    QCOMPARE(gone.outcome, KeyStore::Outcome::NotFound);
    QVERIFY(!later.memoryOnly());
}

void tst_Keychain::noKeychainKeepsKeysInMemoryOnly()
{
    QTemporaryDir home;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"),
                       QStringLiteral("unix:path=") + home.filePath(QStringLiteral("no-bus")));
    environment.remove(QStringLiteral("DISPLAY"));
    environment.insert(QStringLiteral("HOME"), home.path());
    environment.insert(QStringLiteral("XDG_CONFIG_HOME"), home.filePath(QStringLiteral("config")));
    environment.insert(QStringLiteral("XDG_DATA_HOME"), home.filePath(QStringLiteral("data")));
    QProcess helper;
    helper.setProcessEnvironment(environment);
    TestSupport::startHelper(helper, QStringLiteral("store-without-keychain"));
    QVERIFY(helper.waitForStarted());
    helper.write(Secret.toUtf8() + '\n');
    helper.closeWriteChannel();
    QVERIFY(helper.waitForFinished(60000));
    const QByteArray output = helper.readAllStandardOutput() + helper.readAllStandardError();
    QVERIFY2(output.contains("memory-only=1 written-in-memory=1 read-in-memory=1 same=1"),
             output.constData());
    QVERIFY(!output.contains(Secret.toUtf8()));
    // No fallback file anywhere in the helper's home.
    QCOMPARE(filesHolding(home.path(), Secret), QStringList());
}

void tst_Keychain::sourcesWindowStoresKeysInTheKeychainOnly()
{
    TestSupport::LoopbackServices services;
    QVERIFY(services.start());
    qputenv(DataForSeo::BaseVariable, services->apiBaseAddress().toUtf8());
    QTemporaryDir places;
    const QString settingsFolder = places.filePath(QStringLiteral("settings"));
    const QString reportFolder = places.filePath(QStringLiteral("report"));
    QVERIFY(QDir().mkpath(settingsFolder));
    SettingsStore store(
        SettingsLocation::iniFile(settingsFolder + QStringLiteral("/quorvane.ini")));
    KeyStore keys(QStringLiteral("Quorvane test"));

    SettingsDialog dialog(0, [](qint16) {});
    SettingsDialog::setSourcesOpener([&store, &keys](QWidget *parent) {
        (new SourcesWindow(new SourcesSetup(store, keys), parent))->open();
    });
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    QTest::keyClick(&dialog, Qt::Key_K, Qt::ControlModifier);
    auto *window = dialog.findChild<SourcesWindow *>();
    QVERIFY(window);
    SettingsDialog::setSourcesOpener({});

    auto *password = window->findChild<QLineEdit *>(QStringLiteral("txtDataForSeoPassword"));
    QCOMPARE(password->echoMode(), QLineEdit::Password);
    QCOMPARE(window->findChild<QLineEdit *>(QStringLiteral("txtSerpApiKey"))->echoMode(),
             QLineEdit::Password);
    auto *suggestions = window->findChild<QComboBox *>(QStringLiteral("cmbSuggestionSource"));
    suggestions->setCurrentIndex(suggestions->findData(DataForSeo::Id));
    window->findChild<QLineEdit *>(QStringLiteral("txtDataForSeoLogin"))->setText(Login);
    password->setText(Secret);

    // Test: one free call that shows the balance.
    auto *answer = window->findChild<QLabel *>(QStringLiteral("lblAnswer"));
    window->findChild<QPushButton *>(QStringLiteral("cmdTestDataForSeo"))->click();
    QTRY_COMPARE_WITH_TIMEOUT(answer->text(),
                              QStringLiteral("DataForSEO answers: the balance is $42.50."), 20000);

    QPointer<SourcesWindow> open(window);
    window->findChild<QDialogButtonBox *>()->button(QDialogButtonBox::Ok)->click();
    QTRY_VERIFY_WITH_TIMEOUT(!open || !open->isVisible(), 20000);
    QVERIFY(!keys.memoryOnly());

    // The settings name the source; the keys went to the keychain.
    QCOMPARE(loadSourceSettings(store).suggestionSource, DataForSeo::Id);
    std::optional<SourceCredentials> stored;
    KeyStore fresh(QStringLiteral("Quorvane test"));
    SourcesSetup::readCredentials(fresh, DataForSeo::Id,
                                  [&stored](const SourceCredentials &c) { stored = c; });
    QTRY_VERIFY_WITH_TIMEOUT(stored.has_value(), 20000);
    QCOMPARE(stored->login, Login);
    QVERIFY(stored->secret == Secret);

    // A run with those keys, and its report, hold no trace of the password either.
    DataForSeoSource source(*stored, Market {}, QUrl(services->apiBaseAddress()));
    SuggestionTable table;
    const bool stop = false;
    RequestSender sender;
    std::optional<FetchOutcome> outcome;
    sender.send(source.suggestionRequests(QStringLiteral("golf clubs")).first(),
                [&outcome](const FetchOutcome &o) { outcome = o; });
    QTRY_VERIFY_WITH_TIMEOUT(outcome.has_value(), 20000);
    QCOMPARE(source.readSuggestions(0, *outcome, table, stop, {}).failure, SourceFailure::None);
    ReportFolder folder(reportFolder);
    ResultList list;
    QVERIFY(writeReport(table, QStringLiteral("golf clubs"), folder,
                        reportFileName(QStringLiteral("golf clubs")), list));
    QVERIFY(!TestSupport::filesIn(reportFolder).isEmpty());
    QCOMPARE(filesHolding(settingsFolder, Secret), QStringList());
    QCOMPARE(filesHolding(reportFolder, Secret), QStringList());
    qunsetenv(DataForSeo::BaseVariable);
}

void tst_Keychain::keysNeededForTheChosenSources_data()
{
    QTest::addColumn<QString>("suggestions");
    QTest::addColumn<QString>("counts");
    QTest::addColumn<QString>("login");
    QTest::addColumn<QString>("secret");
    QTest::addColumn<QStringList>("inUse");
    QTest::addColumn<QString>("problem");

    QTest::newRow("classic pages need nothing") << "classic"
                                                << "classic"
                                                << ""
                                                << "" << QStringList() << QString();
    QTest::newRow("DataForSEO without a password")
        << "dataforseo"
        << "classic"
        << "me"
        << "" << QStringList {QStringLiteral("dataforseo")}
        << "Enter the DataForSEO login and password.";
    QTest::newRow("DataForSEO without a login")
        << "classic"
        << "dataforseo"
        << " "
        << "pw" << QStringList {QStringLiteral("dataforseo")}
        << "Enter the DataForSEO login and password.";
    QTest::newRow("DataForSEO for both, complete")
        << "dataforseo"
        << "dataforseo"
        << "me"
        << "pw" << QStringList {QStringLiteral("dataforseo")} << QString();
    QTest::newRow("SerpApi without a key")
        << "classic"
        << "serpapi"
        << ""
        << "" << QStringList {QStringLiteral("serpapi")} << "Enter the SerpApi API key.";
}

void tst_Keychain::keysNeededForTheChosenSources()
{
    QFETCH(QString, suggestions);
    QFETCH(QString, counts);
    QFETCH(QString, login);
    QFETCH(QString, secret);
    QFETCH(QStringList, inUse);
    QFETCH(QString, problem);

    QTemporaryDir dir;
    SettingsStore store(SettingsLocation::iniFile(dir.filePath(QStringLiteral("q.ini"))));
    KeyStore keys(QStringLiteral("Quorvane test"));
    SourcesSetup setup(store, keys);
    setup.settings().suggestionSource = suggestions;
    setup.settings().countSource = counts;
    for (const QString &id : {DataForSeo::Id, SerpApi::Id})
        setup.enter(id, {login, secret});
    QCOMPARE(setup.sourcesInUse(), inUse);
    QCOMPARE(setup.problem(), problem);
}

QUORVANE_TEST_MAIN(tst_Keychain, QApplication, {{"store-without-keychain", storeWithoutKeychain}})

#include "tst_keychain.moc"
