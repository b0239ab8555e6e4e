#include "app/textexport.h"

#include "app/programidentity.h"

#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFontDatabase>
#include <QOperatingSystemVersion>
#include <QPlainTextEdit>
#include <QProcess>
#include <QVBoxLayout>

// The only lines that need the Windows API itself; everything around them is compiled on
// every platform.
#ifdef Q_OS_WIN
#include <qt_windows.h>

namespace {

unsigned askSystemDirectory(wchar_t *buffer, unsigned capacity)
{
    return GetSystemDirectoryW(buffer, capacity);
}

// Shown normally but without taking the focus from the main window.
void showWithoutFocus(QProcess &process)
{
    process.setCreateProcessArgumentsModifier([](QProcess::CreateProcessArguments *arguments) {
        arguments->startupInfo->dwFlags |= STARTF_USESHOWWINDOW;
        arguments->startupInfo->wShowWindow = SW_SHOWNOACTIVATE;
    });
}

} // namespace
#else
namespace {

unsigned askSystemDirectory(wchar_t *, unsigned)
{
    return 0;
}

void showWithoutFocus(QProcess &) { }

} // namespace
#endif

namespace Quorvane {

namespace {

constexpr bool RunsOnWindows =
    QOperatingSystemVersion::currentType() == QOperatingSystemVersion::Windows;
// MAX_PATH, the longest path the call is ever asked for.
constexpr unsigned SystemFolderCapacity = 260;

} // namespace

QString systemFolderFromAnswer(const wchar_t *buffer, unsigned answer, unsigned capacity)
{
    // A success leaves room for the terminating null; more is the size a longer path needs.
    if (answer == 0 || answer >= capacity)
        return {};
    return QString::fromWCharArray(buffer, static_cast<qsizetype>(answer));
}

QString getSystemFolder()
{
    wchar_t buffer[SystemFolderCapacity] = {};
    return systemFolderFromAnswer(buffer, askSystemDirectory(buffer, SystemFolderCapacity),
                                  SystemFolderCapacity);
}

EditorCommand notepadCommand(const QString &systemFolder, const QString &reportPath)
{
    QString report = reportPath;
    report.replace(QLatin1Char('/'), QLatin1Char('\\'));
    return {systemFolder + QStringLiteral("\\notepad.exe"), {report}};
}

ReportViewer::ReportViewer(const QString &reportPath, QWidget *parent)
    : QWidget(parent, Qt::Window)
    , m_text(new QPlainTextEdit(this))
{
    setAttribute(Qt::WA_DeleteOnClose);
    setObjectName(QStringLiteral("frmReportText"));
    setWindowTitle(QFileInfo(reportPath).fileName() + QStringLiteral(" - ")
                   + QString::fromLatin1(ProgramCaption));
    m_text->setObjectName(QStringLiteral("txtReport"));
    m_text->setReadOnly(true);
    m_text->setLineWrapMode(QPlainTextEdit::NoWrap);
    // The report is laid out in fixed columns.
    m_text->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_text);

    // Only a regular file is read: opening a FIFO found under a report's name would block the
    // window until some other program wrote to it.
    const QFileInfo info(reportPath);
    QFile file(reportPath);
    if ((!info.exists() || info.isFile()) && file.open(QIODevice::ReadOnly))
        m_text->setPlainText(QString::fromLocal8Bit(file.readAll()));
    else
        m_text->setPlainText(QStringLiteral("Cannot open ") + QDir::toNativeSeparators(reportPath)
                             + QStringLiteral(": ")
                             + (info.exists() && !info.isFile() ? QStringLiteral("not a file")
                                                                : file.errorString()));
    resize(960, 560);
}

QString ReportViewer::text() const
{
    return m_text->toPlainText();
}

TextExport::TextExport(QWidget *viewerParent)
    : m_viewerParent(viewerParent)
    , m_openDocument([](const QUrl &url) { return QDesktopServices::openUrl(url); })
{ }

void TextExport::exportReport(const QString &reportPath)
{
    if constexpr (RunsOnWindows) {
        const QString systemFolder = getSystemFolder();
        if (!systemFolder.isEmpty() && QFileInfo::exists(reportPath)) {
            const EditorCommand command = notepadCommand(systemFolder, reportPath);
            QProcess editor;
            editor.setProgram(command.program);
            editor.setArguments(command.arguments);
            showWithoutFocus(editor);
            if (editor.startDetached())
                return;
        }
    } else {
        // A missing file is shown in the program's own window, which says so; a desktop handler
        // would fail without a word.
        if (QFileInfo(reportPath).isFile() && m_openDocument(QUrl::fromLocalFile(reportPath)))
            return;
    }
    auto *viewer = new ReportViewer(reportPath, m_viewerParent);
    viewer->show();
    m_lastViewer = viewer;
}

} // namespace Quorvane
