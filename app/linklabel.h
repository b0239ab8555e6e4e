#pragma once

#include <QColor>
#include <QLabel>

namespace Quorvane {

// A label that acts as a link: blue and underlined while the pointer is over it, its resting
// look otherwise, and a pointing-hand cursor of its own.
class LinkLabel final : public QLabel
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(LinkLabel)

public:
    struct Look
    {
        QColor colour;
        bool underline = false;
    };

    // rest: the look before the pointer comes and after it leaves; underlineOnClick: whether
    // the text stays underlined when clicked.
    LinkLabel(const QString &text, Look rest, bool underlineOnClick, QWidget *parent = nullptr);

    QColor colour() const;
    bool underlined() const { return font().underline(); }

Q_SIGNALS:
    void activated();

protected:
    void enterEvent(QEnterEvent *event) override;
    void leaveEvent(QEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;

private:
    void apply(const Look &look);
    void setUnderline(bool on);

    Look m_rest;
    bool m_underlineWhenClicked;
    bool m_pressed = false;
};

} // namespace Quorvane
