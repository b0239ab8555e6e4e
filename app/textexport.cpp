#include "textexport.h"

#include "messageboxes.h"

#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFontDatabase>
#include <QPlainTextEdit>
#include <QProcess>
#include <QVBoxLayout>

#ifdef Q_OS_WIN
#include <qt_windows.h>
#endif

namespace Quorvane {

QString getSystemFolder()
{
#ifdef Q_OS_WIN
    wchar_t buffer[MAX_PATH + 1] = {};
    const UINT length = GetSystemDirectoryW(buffer, MAX_PATH);
    if (length == 0 || length > MAX_PATH)
        return {};
    return QString::fromWCharArray(buffer, static_cast<qsizetype>(length));
#else
    return {};
#endif
}

EditorCommand notepadCommand(const QString &systemFolder, const QString &reportPath)
{
    return {systemFolder + QStringLiteral("\\notepad.exe"), {QDir::toNativeSeparators(reportPath)}};
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
#ifdef Q_OS_WIN
    const QString systemFolder = GetSystemFolder();
    if (!systemFolder.isEmpty() && QFileInfo::exists(reportPath)) {
        const EditorCommand command = NotepadCommand(systemFolder, reportPath);
        QProcess editor;
        editor.setProgram(command.program);
        editor.setArguments(command.arguments);
        // Shown normally but without taking the focus from the main window.
        editor.setCreateProcessArgumentsModifier([](QProcess::CreateProcessArguments *arguments) {
            arguments->startupInfo->dwFlags |= STARTF_USESHOWWINDOW;
            arguments->startupInfo->wShowWindow = SW_SHOWNOACTIVATE;
        });
        if (editor.startDetached())
            return;
    }
#else
    // A missing file is shown in the program's own window, which says so; a desktop handler
    // would fail without a word.
    if (QFileInfo(reportPath).isFile() && m_openDocument(QUrl::fromLocalFile(reportPath)))
        return;
#endif
    auto *viewer = new ReportViewer(reportPath, m_viewerParent);
    viewer->show();
    m_lastViewer = viewer;
}

} // namespace Quorvane
