#pragma once

#include <QPointer>
#include <QString>
#include <QStringList>
#include <QUrl>
#include <QWidget>

#include <functional>

class QPlainTextEdit;

namespace Quorvane {

// The Windows system folder, or empty where there is none or the system cannot say.
QString getSystemFolder();
// The folder from GetSystemDirectoryW's answer: the length it wrote into a buffer of
// `capacity` characters, 0 on failure, or the capacity it would need when the buffer is short.
QString systemFolderFromAnswer(const wchar_t *buffer, unsigned answer, unsigned capacity);

struct EditorCommand
{
    QString program;
    QStringList arguments;
};

// The system's text editor from the system folder, on the report file as its one argument
// (an argument list, so a path with spaces stays one file name and never meets a shell), with
// Windows separators whatever the platform this runs on.
EditorCommand notepadCommand(const QString &systemFolder, const QString &reportPath);

// A read-only plain-text window of the program's own, for where nothing else opens a report.
class ReportViewer final : public QWidget
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(ReportViewer)

public:
    explicit ReportViewer(const QString &reportPath, QWidget *parent = nullptr);

    QString text() const;

private:
    QPlainTextEdit *m_text;
};

// Shows a report as plain text: Notepad on Windows, elsewhere the desktop's handler for text
// files, and the program's own viewer where neither can be started.
class TextExport
{
public:
    using DocumentOpener = std::function<bool(const QUrl &)>;

    // Viewers of the program's own are windows of this parent, so they close with it.
    explicit TextExport(QWidget *viewerParent = nullptr);

    // Starts the viewer and returns at once; the main window keeps working.
    void exportReport(const QString &reportPath);

    // Tests replace the desktop's handler so that no outside program starts.
    void setDocumentOpener(DocumentOpener opener) { m_openDocument = std::move(opener); }

    // The program's own viewer last opened, if it is still open.
    ReportViewer *lastViewer() const { return m_lastViewer; }

private:
    QWidget *m_viewerParent;
    DocumentOpener m_openDocument;
    QPointer<ReportViewer> m_lastViewer;
};

} // namespace Quorvane
