#include "browser.h"
#include "frmabout.h"
#include "frmhelp.h"
#include "frmsetting.h"
#include "linklabel.h"
#include "serviceaddresses.h"
#include "stripes.h"
#include "textexport.h"

#include <QApplication>
#include <QEnterEvent>
#include <QFile>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeWidget>

using namespace Quorvane;

namespace {

void enter(QWidget *widget)
{
    QEnterEvent event(QPointF(2, 2), widget->mapToGlobal(QPointF(2, 2)),
                      widget->mapToGlobal(QPointF(2, 2)));
    QCoreApplication::sendEvent(widget, &event);
}

void leave(QWidget *widget)
{
    QEvent event(QEvent::Leave);
    QCoreApplication::sendEvent(widget, &event);
}

QColor pixel(QWidget *widget, int x, int y)
{
    return widget->grab().toImage().pixelColor(x, y);
}

} // namespace

class tst_UiPieces final : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void browserProgramIsTakenFromCommandText_data();
    void browserProgramIsTakenFromCommandText();
    void linkLabelsChangeLookWithThePointer_data();
    void linkLabelsChangeLookWithThePointer();
    void helpLinkOpensWebPageAndClosesWindow();
    void aboutLinkOpensWebPageAndKeepsWindowOpen();
    void settingsDialogShowsAndStoresTheChoice_data();
    void settingsDialogShowsAndStoresTheChoice();
    void stripesLieUnderDisplayPositions_data();
    void stripesLieUnderDisplayPositions();
    void exportOpensReportWithDesktopHandler();
    void exportFallsBackToOwnReadOnlyViewer_data();
    void exportFallsBackToOwnReadOnlyViewer();
};

void tst_UiPieces::browserProgramIsTakenFromCommandText_data()
{
    QTest::addColumn<QString>("command");
    QTest::addColumn<QString>("program");
    QTest::newRow("quoted path and switch")
        << QStringLiteral("\"C:\\Program Files\\Browser\\browser.exe\" -nohome")
        << QStringLiteral("C:\\Program Files\\Browser\\browser.exe");
    QTest::newRow("plain path and switch") << QStringLiteral("C:\\PROGRA~1\\browser.exe -nohome")
                                           << QStringLiteral("C:\\PROGRA~1\\browser.exe");
    QTest::newRow("quoted path, switch and quoted placeholder")
        << QStringLiteral("\"C:\\B\\b.exe\" -osint -url \"%1\"") << QStringLiteral("C:\\B\\b.exe");
    QTest::newRow("path alone") << QStringLiteral("C:\\B\\b.exe") << QStringLiteral("C:\\B\\b.exe");
    QTest::newRow("quote never closed")
        << QStringLiteral("\"C:\\My B\\b.exe") << QStringLiteral("C:\\My B\\b.exe");
    QTest::newRow("empty") << QString() << QString();
}

void tst_UiPieces::browserProgramIsTakenFromCommandText()
{
    QFETCH(QString, command);
    QFETCH(QString, program);
    QCOMPARE(BrowserProgramFromCommand(command), program);
}

void tst_UiPieces::linkLabelsChangeLookWithThePointer_data()
{
    QTest::addColumn<bool>("helpLook");
    QTest::addColumn<QColor>("restColour");
    QTest::addColumn<bool>("restUnderline");
    QTest::addColumn<bool>("clickUnderline");
    // The help link rests blue and underlined; the about link rests cyan without underline
    // and drops the underline when clicked.
    QTest::newRow("help link") << true << QColor(0, 0, 255) << true << true;
    QTest::newRow("about link") << false << QColor(0, 255, 255) << false << false;
}

void tst_UiPieces::linkLabelsChangeLookWithThePointer()
{
    QFETCH(bool, helpLook);
    QFETCH(QColor, restColour);
    QFETCH(bool, restUnderline);
    QFETCH(bool, clickUnderline);

    QWidget window;
    window.resize(300, 100);
    int clicks = 0;
    auto *label =
        new LinkLabel(QStringLiteral("link"), {restColour, restUnderline}, clickUnderline, &window);
    label->setGeometry(10, 10, 200, 40);
    connect(label, &LinkLabel::activated, &window, [&clicks] { ++clicks; });
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    Q_UNUSED(helpLook);

    QCOMPARE(label->colour(), restColour);
    QCOMPARE(label->underlined(), restUnderline);
    QCOMPARE(label->cursor().shape(), Qt::PointingHandCursor);

    enter(label);
    QCOMPARE(label->colour(), QColor(0, 0, 255));
    QVERIFY(label->underlined());

    leave(label);
    QCOMPARE(label->colour(), restColour);
    QCOMPARE(label->underlined(), restUnderline);

    enter(label);
    QTest::mouseClick(label, Qt::LeftButton, {}, QPoint(5, 5));
    QCOMPARE(clicks, 1);
    QCOMPARE(label->underlined(), clickUnderline);

    // Pressed on the label but released elsewhere is no click.
    QTest::mousePress(label, Qt::LeftButton, {}, QPoint(5, 5));
    QTest::mouseRelease(label, Qt::LeftButton, {}, QPoint(250, 5));
    QCOMPARE(clicks, 1);
}

void tst_UiPieces::helpLinkOpensWebPageAndClosesWindow()
{
    QStringList opened;
    QPointer<frmHelp> help = new frmHelp(nullptr, [&opened](const QString &a) { opened << a; });
    help->show();
    QVERIFY(QTest::qWaitForWindowExposed(help));
    QCOMPARE(help->windowTitle(), QStringLiteral("Quorvane 1.2 Online Help"));

    // A click elsewhere in the window leaves it open.
    QTest::mouseClick(help, Qt::LeftButton, {}, QPoint(3, 3));
    QVERIFY(help && help->isVisible());
    QVERIFY(opened.isEmpty());

    auto *link = help->findChild<LinkLabel *>(QStringLiteral("lblHelp"));
    QVERIFY(link);
    QCOMPARE(link->text(), QStringLiteral("Open Online Help"));
    QTest::mouseClick(link, Qt::LeftButton, {}, QPoint(3, 3));
    QCOMPARE(opened, QStringList {ProductWebPage()});
    QTRY_VERIFY(help.isNull()); // closed and gone
}

void tst_UiPieces::aboutLinkOpensWebPageAndKeepsWindowOpen()
{
    QStringList opened;
    QPointer<frmAbout> about = new frmAbout(nullptr, [&opened](const QString &a) { opened << a; });
    about->show();
    QVERIFY(QTest::qWaitForWindowExposed(about));
    QCOMPARE(about->windowTitle(), QStringLiteral("About Quorvane 1.2"));
    auto *link = about->findChild<LinkLabel *>(QStringLiteral("lblWebPage"));
    QVERIFY(link);
    QCOMPARE(link->text(), ProductWebPage());
    QTest::mouseClick(link, Qt::LeftButton, {}, QPoint(3, 3));
    QTest::mouseClick(link, Qt::LeftButton, {}, QPoint(3, 3));
    QCOMPARE(opened, (QStringList {ProductWebPage(), ProductWebPage()}));
    QVERIFY(about->isVisible());

    QTest::mouseClick(about->findChild<QPushButton *>(QStringLiteral("cmdOK")), Qt::LeftButton);
    QTRY_VERIFY(about.isNull());
}

void tst_UiPieces::settingsDialogShowsAndStoresTheChoice_data()
{
    QTest::addColumn<int>("setting");
    QTest::addColumn<int>("checkedOnOpen");
    QTest::addColumn<int>("clicked");
    QTest::addColumn<QList<int>>("chosen");
    QTest::newRow("fresh, choose don't care") << 0 << 0 << 1 << QList<int> {99};
    QTest::newRow("stored 5 reads as don't care") << 5 << 1 << 0 << QList<int> {0};
    QTest::newRow("don't care clicked again") << 99 << 1 << 1 << QList<int> {99};
}

void tst_UiPieces::settingsDialogShowsAndStoresTheChoice()
{
    QFETCH(int, setting);
    QFETCH(int, checkedOnOpen);
    QFETCH(int, clicked);
    QFETCH(QList<int>, chosen);

    QList<int> choices;
    QPointer<frmSetting> dialog =
        new frmSetting(qint16(setting), [&choices](qint16 v) { choices << v; });
    dialog->show();
    QVERIFY(QTest::qWaitForWindowExposed(dialog));
    QCOMPARE(dialog->windowTitle(), QStringLiteral("Settings"));
    QVERIFY(dialog->option(checkedOnOpen)->isChecked());
    QVERIFY(choices.isEmpty()); // opening stores nothing

    QTest::mouseClick(dialog->option(clicked), Qt::LeftButton);
    QCOMPARE(choices, chosen);
    QVERIFY(dialog->option(clicked)->isChecked());

    QTest::mouseClick(dialog->findChild<QPushButton *>(QStringLiteral("cmdOK")), Qt::LeftButton);
    QTRY_VERIFY(dialog.isNull());
    QCOMPARE(choices, chosen); // OK undoes and adds nothing
}

void tst_UiPieces::stripesLieUnderDisplayPositions_data()
{
    QTest::addColumn<int>("rows");
    QTest::addColumn<bool>("sorted");
    QTest::addColumn<int>("scrolledRows");
    QTest::newRow("no rows") << 0 << false << 0;
    QTest::newRow("three rows") << 3 << false << 0;
    QTest::newRow("three rows sorted") << 3 << true << 0;
    QTest::newRow("forty rows scrolled by one") << 40 << false << 1;
    QTest::newRow("forty rows sorted, scrolled by three") << 40 << true << 3;
}

void tst_UiPieces::stripesLieUnderDisplayPositions()
{
    QFETCH(int, rows);
    QFETCH(bool, sorted);
    QFETCH(int, scrolledRows);

    const QColor first(200, 125, 68);
    const QColor second(254, 209, 199);
    QTreeWidget list;
    list.setColumnCount(2);
    list.setRootIsDecorated(false);
    list.setUniformRowHeights(true);
    list.resize(300, 300);
    StripedRows *stripes = SetStripedRows(&list, first, second);
    for (int i = 0; i < rows; ++i)
        new QTreeWidgetItem(&list, {QString::number(i), QStringLiteral("%1").arg(rows - i, 3)});
    if (sorted)
        list.sortItems(1, Qt::AscendingOrder);
    list.show();
    QVERIFY(QTest::qWaitForWindowExposed(&list));
    list.verticalScrollBar()->setValue(scrolledRows);
    QCoreApplication::processEvents();

    const int h = stripes->rowHeight();
    QVERIFY(h > 5);
    QWidget *viewport = list.viewport();
    const int x = viewport->width() - 3; // right of every text
    // The first band in view is the first colour unless an odd number of rows is above it.
    const bool firstOnTop = scrolledRows % 2 == 0;
    const int bands = viewport->height() / h;
    QVERIFY(bands >= 4);
    for (int band = 0; band < bands; ++band) {
        const bool expectFirst = (band % 2 == 0) == firstOnTop;
        const QColor seen = pixel(viewport, x, band * h + h / 2);
        QCOMPARE(seen, expectFirst ? first : second);
        QCOMPARE(stripes->colourAt(band * h + h / 2), seen);
    }
}

void tst_UiPieces::exportOpensReportWithDesktopHandler()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("golf_clubs.kwd"));
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("Keyword=golf clubs,Total Searches=10\r\n");
    file.close();

    QList<QUrl> opened;
    TextExport exporter;
    exporter.setDocumentOpener([&opened](const QUrl &url) {
        opened << url;
        return true;
    });
    exporter.Export(path);
    exporter.Export(path); // twice: two viewers, as with any editor
    QCOMPARE(opened, (QList<QUrl> {QUrl::fromLocalFile(path), QUrl::fromLocalFile(path)}));
    QVERIFY(!exporter.lastViewer());
}

void tst_UiPieces::exportFallsBackToOwnReadOnlyViewer_data()
{
    QTest::addColumn<bool>("fileExists");
    QTest::addColumn<bool>("handlerWorks");
    QTest::newRow("no handler for text files") << true << false;
    QTest::newRow("report file missing") << false << true;
}

void tst_UiPieces::exportFallsBackToOwnReadOnlyViewer()
{
    QFETCH(bool, fileExists);
    QFETCH(bool, handlerWorks);

    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("golf.kwd"));
    const QByteArray content = "Keyword=golf,Total Searches=1,234\r\n\r\nID   Suggestions\r\n";
    if (fileExists) {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(content);
    }
    QWidget owner;
    TextExport exporter(&owner);
    int asked = 0;
    exporter.setDocumentOpener([&](const QUrl &) {
        ++asked;
        return handlerWorks;
    });
    exporter.Export(path);
    QCOMPARE(asked, fileExists ? 1 : 0);
    ReportViewer *viewer = exporter.lastViewer();
    QVERIFY(viewer);
    QVERIFY(viewer->isVisible());
    QCOMPARE(viewer->parentWidget(), &owner); // closes with the main window
    auto *text = viewer->findChild<QPlainTextEdit *>(QStringLiteral("txtReport"));
    QVERIFY(text->isReadOnly());
    if (fileExists) {
        // Line ends as the editor shows them.
        QCOMPARE(
            viewer->text(),
            QString::fromLocal8Bit(content).replace(QStringLiteral("\r\n"), QStringLiteral("\n")));
    } else {
        QVERIFY(viewer->text().startsWith(QStringLiteral("Cannot open ")));
        QVERIFY(viewer->text().contains(QStringLiteral("golf.kwd")));
    }
    QVERIFY(viewer->windowTitle().startsWith(QStringLiteral("golf.kwd")));
}

QTEST_MAIN(tst_UiPieces)
#include "tst_uipieces.moc"
