#include "app/messageboxes.h"

#include "app/programidentity.h"

#include <QMessageBox>

namespace Quorvane {

namespace {

QMessageBox::StandardButton show(QWidget *parent, QMessageBox::Icon icon, const QString &text,
                                 QMessageBox::StandardButtons buttons,
                                 QMessageBox::StandardButton defaultButton,
                                 const QString &detail = {})
{
    QMessageBox box(icon, QString::fromLatin1(ProgramCaption), text, buttons, parent);
    if (!detail.isEmpty())
        box.setDetailedText(detail);
    // Texts carry typed keywords and addresses: shown exactly as they are, never as markup,
    // and selectable so an address can be copied.
    box.setTextFormat(Qt::PlainText);
    box.setTextInteractionFlags(Qt::TextSelectableByMouse);
    box.setDefaultButton(defaultButton);
    return static_cast<QMessageBox::StandardButton>(box.exec());
}

} // namespace

void WidgetMessageBoxes::warn(const QString &text)
{
    show(m_parent, QMessageBox::Warning, text, QMessageBox::Ok, QMessageBox::Ok);
}

void WidgetMessageBoxes::warnWithDetail(const QString &text, const QString &detail)
{
    show(m_parent, QMessageBox::Warning, text, QMessageBox::Ok, QMessageBox::Ok, detail);
}

void WidgetMessageBoxes::inform(const QString &text)
{
    show(m_parent, QMessageBox::NoIcon, text, QMessageBox::Ok, QMessageBox::Ok);
}

bool WidgetMessageBoxes::confirm(const QString &text)
{
    return show(m_parent, QMessageBox::NoIcon, text, QMessageBox::Yes | QMessageBox::No,
                QMessageBox::Yes)
        == QMessageBox::Yes;
}

} // namespace Quorvane
