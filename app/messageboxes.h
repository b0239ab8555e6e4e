#pragma once

#include <QString>
#include <QtGlobal>

class QWidget;

namespace Quorvane {

// The one way the program asks or tells the user something in a modal box, so that tests
// can answer instead of a person.
class MessageBoxes
{
public:
    virtual ~MessageBoxes() = default;

    // Exclamation icon, OK button.
    virtual void warn(const QString &text) = 0;
    // The same, with details the user can unfold; boxes without that show the text alone.
    virtual void warnWithDetail(const QString &text, const QString &detail)
    {
        Q_UNUSED(detail);
        warn(text);
    }
    // No icon, OK button.
    virtual void inform(const QString &text) = 0;
    // Yes and No, Yes the default, no icon. True for Yes.
    virtual bool confirm(const QString &text) = 0;
};

// Real modal boxes over a parent window, captioned "Quorvane 1.2", their text plain and
// selectable.
class WidgetMessageBoxes final : public MessageBoxes
{
public:
    explicit WidgetMessageBoxes(QWidget *parent = nullptr)
        : m_parent(parent)
    { }

    void setParent(QWidget *parent) { m_parent = parent; }

    void warn(const QString &text) override;
    void warnWithDetail(const QString &text, const QString &detail) override;
    void inform(const QString &text) override;
    bool confirm(const QString &text) override;

private:
    QWidget *m_parent;
};

} // namespace Quorvane
