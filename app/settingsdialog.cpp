#include "app/settingsdialog.h"

#include "app/smallwindow.h"
#include "core/pacing.h"

#include <QAction>
#include <QGroupBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>

namespace Quorvane {

namespace {

std::function<void(QWidget *)> &sourcesOpener()
{
    static std::function<void(QWidget *)> opener;
    return opener;
}

} // namespace

void SettingsDialog::setSourcesOpener(std::function<void(QWidget *parent)> opener)
{
    sourcesOpener() = std::move(opener);
}

SettingsDialog::SettingsDialog(qint16 intervalSetting, std::function<void(qint16)> choose,
                               QWidget *parent)
    : QDialog(parent)
    , m_choose(std::move(choose))
{
    setUpSmallWindow(*this, QStringLiteral("frmSetting"), QStringLiteral("Settings"), {360, 118});

    auto *intervalFrame =
        new QGroupBox(QStringLiteral("&Interval between every three suggestions"), this);
    intervalFrame->setObjectName(QStringLiteral("fmeReport"));
    setTextColour(intervalFrame, QColor(255, 0, 0));
    intervalFrame->setGeometry(8, 8, 344, 64);

    const QString captions[2] = {QStringLiteral("30 minutes"), QStringLiteral("Don't care")};
    for (int index = 0; index < 2; ++index) {
        auto *option = new QRadioButton(captions[index], intervalFrame);
        // One name for both, told apart by their index, as the two form one group.
        option->setObjectName(QStringLiteral("optInterval"));
        option->setProperty("index", index);
        setTextColour(option, Qt::white);
        option->setGeometry(index == 0 ? 24 : 192, 28, 140, 22);
        connect(option, &QRadioButton::clicked, this, [this, index] { onIntervalChosen(index); });
        m_intervalOptions[index] = option;
    }
    // Any stored value other than 0 means no pause.
    m_intervalOptions[intervalSetting != Pacing::PauseAfterThreeRuns ? 1 : 0]->setChecked(true);

    auto *ok = new QPushButton(QStringLiteral("&OK"), this);
    ok->setObjectName(QStringLiteral("cmdOK"));
    ok->setGeometry(272, 82, 80, 24);
    connect(ok, &QPushButton::clicked, this, &QDialog::close);

    // Takes the focus from the options without being seen.
    auto *focusSink = new QLineEdit(this);
    focusSink->setObjectName(QStringLiteral("txtDumb"));
    focusSink->setGeometry(width() + 16, 8, 49, 19);

    // The sources have a window of their own, reached without a new control on this one.
    auto *sources = new QAction(QStringLiteral("&Sources..."), this);
    sources->setObjectName(QStringLiteral("actSources"));
    sources->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_K));
    addAction(sources);
    setContextMenuPolicy(Qt::ActionsContextMenu);
    connect(sources, &QAction::triggered, this, [this] {
        if (sourcesOpener())
            sourcesOpener()(this);
    });
}

void SettingsDialog::onIntervalChosen(int)
{
    m_choose(m_intervalOptions[0]->isChecked() ? Pacing::PauseAfterThreeRuns : Pacing::NoPause);
}

} // namespace Quorvane
