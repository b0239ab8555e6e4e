// The rules of the code that runs on Windows only, checked on every platform (the browser
// command's in tst_uipieces).

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
};

QTEST_GUILESS_MAIN(tst_PlatformRules)
#include "tst_platformrules.moc"
