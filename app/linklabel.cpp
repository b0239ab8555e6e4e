#include "app/linklabel.h"

#include <QMouseEvent>

namespace Quorvane {

namespace {

const QColor LinkBlue(0, 0, 255);

} // namespace

LinkLabel::LinkLabel(const QString &text, Look rest, bool underlineOnClick, QWidget *parent)
    : QLabel(text, parent)
    , m_rest(rest)
    , m_underlineWhenClicked(underlineOnClick)
{
    setCursor(Qt::PointingHandCursor);
    apply(m_rest);
}

QColor LinkLabel::colour() const
{
    return palette().color(QPalette::WindowText);
}

void LinkLabel::apply(const Look &look)
{
    QPalette p = palette();
    p.setColor(QPalette::WindowText, look.colour);
    setPalette(p);
    setUnderline(look.underline);
}

void LinkLabel::setUnderline(bool on)
{
    QFont f = font();
    f.setUnderline(on);
    setFont(f);
}

void LinkLabel::enterEvent(QEnterEvent *event)
{
    apply({LinkBlue, true});
    QLabel::enterEvent(event);
}

void LinkLabel::leaveEvent(QEvent *event)
{
    apply(m_rest);
    m_pressed = false;
    QLabel::leaveEvent(event);
}

void LinkLabel::mousePressEvent(QMouseEvent *event)
{
    m_pressed = event->button() == Qt::LeftButton;
    event->accept();
}

void LinkLabel::mouseReleaseEvent(QMouseEvent *event)
{
    // A click is a press and a release on the label itself.
    const bool click = m_pressed && event->button() == Qt::LeftButton
        && rect().contains(event->position().toPoint());
    m_pressed = false;
    event->accept();
    if (!click)
        return;
    setUnderline(m_underlineWhenClicked);
    Q_EMIT activated();
}

} // namespace Quorvane
