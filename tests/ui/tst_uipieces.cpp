#include "browser.h"
#include "stripes.h"
#include "textexport.h"

#include <QApplication>
#include <QFile>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QStandardItemModel>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeView>

using namespace Quorvane;
using namespace Qt::StringLiterals;

class tst_UiPieces final : public QObject
{
    Q_OBJECT

private Q_SLOTS:

    void browserProgramIsTakenFromCommandText_data()
    {
        QTest::addColumn<QString>("command");
        QTest::addColumn<QString>("program");
        QTest::newRow("quoted path and switch")
            << u"\"C:\\Program Files\\Browser\\browser.exe\" -nohome"_s
            << u"C:\\Program Files\\Browser\\browser.exe"_s;
        QTest::newRow("plain path and switch")
            << u"C:\\PROGRA~1\\browser.exe -nohome"_s << u"C:\\PROGRA~1\\browser.exe"_s;
        QTest::newRow("quoted path, switch and quoted placeholder")
            << u"\"C:\\B\\b.exe\" -osint -url \"%1\""_s << u"C:\\B\\b.exe"_s;
        QTest::newRow("path alone") << u"C:\\B\\b.exe"_s << u"C:\\B\\b.exe"_s;
        QTest::newRow("quote never closed") << u"\"C:\\My B\\b.exe"_s << u"C:\\My B\\b.exe"_s;
        QTest::newRow("empty") << QString() << QString();
    }

    void browserProgramIsTakenFromCommandText()
    {
        QFETCH(QString, command);
        QFETCH(QString, program);
        QCOMPARE(browserProgramFromCommand(command), program);
    }

    void stripesLieUnderDisplayPositions_data()
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

    void stripesLieUnderDisplayPositions()
    {
        QFETCH(int, rows);
        QFETCH(bool, sorted);
        QFETCH(int, scrolledRows);

        const QColor first(200, 125, 68);
        const QColor second(254, 209, 199);
        QTreeView list;
        list.setRootIsDecorated(false);
        list.setUniformRowHeights(true);
        list.resize(300, 300);
        StripedRows *stripes = setStripedRows(&list, first, second);
        QStandardItemModel model(0, 2);
        for (int i = 0; i < rows; ++i)
            model.appendRow({new QStandardItem(QString::number(i)),
                             new QStandardItem(u"%1"_s.arg(rows - i, 3))});
        list.setModel(&model);
        if (sorted)
            model.sort(1, Qt::AscendingOrder);
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
            const QColor seen = viewport->grab().toImage().pixelColor(x, band * h + h / 2);
            QCOMPARE(seen, expectFirst ? first : second);
            QCOMPARE(stripes->colourAt(band * h + h / 2), seen);
        }
    }

    void exportUsesDesktopHandlerElseOwnReadOnlyViewer_data()
    {
        QTest::addColumn<bool>("fileExists");
        QTest::addColumn<bool>("handlerWorks");
        QTest::newRow("desktop handler opens it") << true << true;
        QTest::newRow("no handler for text files") << true << false;
        QTest::newRow("report file missing") << false << true;
    }

    void exportUsesDesktopHandlerElseOwnReadOnlyViewer()
    {
        QFETCH(bool, fileExists);
        QFETCH(bool, handlerWorks);

        QTemporaryDir dir;
        const QString path = dir.filePath(u"golf.kwd"_s);
        const QByteArray content = "Keyword=golf,Total Searches=1,234\r\n\r\nID   Suggestions\r\n";
        if (fileExists) {
            QFile file(path);
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write(content);
        }
        QWidget owner;
        TextExport exporter(&owner);
        QList<QUrl> asked;
        exporter.setDocumentOpener([&](const QUrl &url) {
            asked << url;
            return handlerWorks;
        });
        exporter.exportReport(path);
        exporter.exportReport(path); // twice: two views, as with any editor
        QCOMPARE(asked, fileExists ? QList<QUrl>(2, QUrl::fromLocalFile(path)) : QList<QUrl>());
        ReportViewer *viewer = exporter.lastViewer();
        if (fileExists && handlerWorks) {
            QVERIFY(!viewer);
            return;
        }
        QVERIFY(viewer);
        QVERIFY(viewer->isVisible());
        QCOMPARE(viewer->parentWidget(), &owner); // closes with the main window
        QVERIFY(viewer->findChild<QPlainTextEdit *>(u"txtReport"_s)->isReadOnly());
        if (fileExists) {
            // Line ends as the editor shows them.
            QCOMPARE(viewer->text(), QString::fromLocal8Bit(content).replace(u"\r\n"_s, u"\n"_s));
        } else {
            QVERIFY(viewer->text().startsWith(u"Cannot open "_s));
            QVERIFY(viewer->text().contains(u"golf.kwd"_s));
        }
        QVERIFY(viewer->windowTitle().startsWith(u"golf.kwd"_s));
    }
};

QTEST_MAIN(tst_UiPieces)
#include "tst_uipieces.moc"
