// The rules of the code that runs on Windows only, checked on every platform (the browser
// command's in tst_uipieces), and the rule that keeps an installed program from writing beside
// itself.

#include "reportfile.h"
#include "textexport.h"

#include <QTest>

using namespace Quorvane;
using namespace Qt::StringLiterals;

class tst_PlatformRules final : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void notepadGetsTheReportAsOneWindowsPath_data()
    {
        QTest::addColumn<QString>("report");
        QTest::addColumn<QString>("argument");
        QTest::newRow("Qt's separators") << u"C:/Users/Ann/My Reports/golf clubs.kwd"_s
                                         << u"C:\\Users\\Ann\\My Reports\\golf clubs.kwd"_s;
        QTest::newRow("Windows separators")
            << u"D:\\report\\golf.kwd"_s << u"D:\\report\\golf.kwd"_s;
    }

    void notepadGetsTheReportAsOneWindowsPath()
    {
        QFETCH(QString, report);
        QFETCH(QString, argument);
        const EditorCommand command = notepadCommand(u"C:\\Windows\\system32"_s, report);
        QCOMPARE(command.program, u"C:\\Windows\\system32\\notepad.exe"_s);
        QCOMPARE(command.arguments, QStringList {argument});
    }

    void systemFolderFromTheSystemsAnswer_data()
    {
        QTest::addColumn<uint>("answer");
        QTest::addColumn<QString>("folder");
        QTest::newRow("the folder") << 19u << u"C:\\Windows\\system32"_s;
        QTest::newRow("failure") << 0u << QString();
        QTest::newRow("buffer too short") << 300u << QString();
        QTest::newRow("no room for the null") << 260u << QString();
    }

    void systemFolderFromTheSystemsAnswer()
    {
        QFETCH(uint, answer);
        QFETCH(QString, folder);
        wchar_t buffer[260] = L"C:\\Windows\\system32";
        QCOMPARE(systemFolderFromAnswer(buffer, answer, 260), folder);
    }

    void onlyAProgramOutsideTheInstalledFoldersWritesBesideItself_data()
    {
        QTest::addColumn<QString>("folder");
        QTest::addColumn<bool>("installed");
        QTest::newRow("build tree") << u"/home/ann/quorvane/build/bin"_s << false;
        QTest::newRow("build tree below /usr/src") << u"/usr/src/quorvane/build/bin"_s << false;
        QTest::newRow("user's own copy") << u"/home/ann/usr/binaries"_s << false;
        QTest::newRow("Windows folder") << u"C:\\Tools\\Quorvane"_s << false;
        QTest::newRow("the package's") << u"/usr/bin"_s << true;
        QTest::newRow("local install") << u"/usr/local/bin/"_s << true;
        QTest::newRow("unpacked package") << u"/tmp/check/root/usr/bin"_s << true;
        QTest::newRow("/opt") << u"/opt/quorvane/bin"_s << true;
        QTest::newRow("this build's install folder") << u"/home/ann/.local/bin"_s << true;
    }

    void onlyAProgramOutsideTheInstalledFoldersWritesBesideItself()
    {
        QFETCH(QString, folder);
        QFETCH(bool, installed);
        QCOMPARE(isInstalledProgramFolder(folder, u"/home/ann/.local/bin"_s), installed);
    }
};

QTEST_GUILESS_MAIN(tst_PlatformRules)
#include "tst_platformrules.moc"
