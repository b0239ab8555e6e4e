#include "app/chartwindow.h"

#include "results/atomicfile.h"
#include "results/resultlistmodel.h"

#include <QBuffer>
#include <QChart>
#include <QChartView>
#include <QCursor>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QLabel>
#include <QLegendMarker>
#include <QLocale>
#include <QLogValueAxis>
#include <QPushButton>
#include <QScatterSeries>
#include <QShortcut>
#include <QToolTip>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>

namespace Quorvane {

namespace {

QScatterSeries *series(const QString &name, QScatterSeries::MarkerShape shape, const QColor &colour)
{
    auto *s = new QScatterSeries;
    s->setName(name);
    s->setMarkerShape(shape);
    s->setMarkerSize(9);
    s->setColor(colour);
    s->setBorderColor(colour.darker(150));
    return s;
}

// Room beyond the outermost values, as a share of the axis's length in decades.
constexpr double EdgeRoom = 0.05;

// The axis runs a little beyond the outermost values, so that their markers show whole (an axis
// ending on a value cuts its marker in half), and over at least one decade, so that a power of
// ten is always labelled. Ticks stay on the powers of ten.
void fitAxis(QLogValueAxis *axis, double low, double high)
{
    double from = std::log10(low);
    double to = std::log10(high);
    const double shortOfADecade = 1.0 - (to - from);
    if (shortOfADecade > 0) {
        from -= shortOfADecade / 2;
        to += shortOfADecade / 2;
    }
    const double room = (to - from) * EdgeRoom;
    axis->setRange(std::pow(10.0, from - room), std::pow(10.0, to + room));
}

} // namespace

ChartWindow::ChartWindow(ResultListModel &model, std::function<QString()> keyword, QWidget *parent)
    : QWidget(parent, Qt::Window)
    , m_model(model)
    , m_keyword(std::move(keyword))
    , m_chooseFile([](QWidget *owner, const QString &proposed) {
        return QFileDialog::getSaveFileName(owner, tr("Save Chart"), proposed,
                                            tr("PNG images (*.png)"));
    })
{
    setObjectName(QStringLiteral("frmChart"));
    setAttribute(Qt::WA_DeleteOnClose);
    resize(760, 560);

    auto *chart = new QChart;
    chart->setLocalizeNumbers(true);
    chart->legend()->setAlignment(Qt::AlignBottom);
    m_plain =
        series(tr("No sponsored links"), QScatterSeries::MarkerShapeCircle, QColor(200, 125, 68));
    m_withAds =
        series(tr("Sponsored links"), QScatterSeries::MarkerShapeRectangle, QColor(40, 90, 170));
    chart->addSeries(m_plain);
    chart->addSeries(m_withAds);

    m_searchesAxis = new QLogValueAxis;
    m_searchesAxis->setTitleText(tr("Monthly searches"));
    m_popularityAxis = new QLogValueAxis;
    m_popularityAxis->setTitleText(tr("Popularity (results)"));
    for (QLogValueAxis *axis : {m_searchesAxis, m_popularityAxis}) {
        axis->setBase(10);
        axis->setLabelFormat(QStringLiteral("%.0f"));
        axis->setMinorTickCount(8);
    }
    chart->addAxis(m_searchesAxis, Qt::AlignBottom);
    chart->addAxis(m_popularityAxis, Qt::AlignLeft);
    for (QScatterSeries *s : {m_plain, m_withAds}) {
        s->attachAxis(m_searchesAxis);
        s->attachAxis(m_popularityAxis);
        connect(s, &QScatterSeries::hovered, this,
                [this, s](const QPointF &at, bool entered) { hovered(s, at, entered); });
        connect(s, &QScatterSeries::clicked, this, [this, s](const QPointF &at) {
            if (const ChartPoint *point = pointAt(s, at))
                Q_EMIT rowChosen(point->row);
        });
    }

    m_view = new QChartView(chart, this);
    m_view->setRenderHint(QPainter::Antialiasing);
    m_leftOut = new QLabel(this);
    m_leftOut->setObjectName(QStringLiteral("lblLeftOut"));
    auto *save = new QPushButton(tr("Save &Image..."), this);
    save->setObjectName(QStringLiteral("cmdSaveImage"));
    connect(save, &QPushButton::clicked, this, &ChartWindow::savePicture);
    auto *saveKey = new QShortcut(QKeySequence::Save, this);
    connect(saveKey, &QShortcut::activated, this, &ChartWindow::savePicture);

    auto *below = new QHBoxLayout;
    below->addWidget(m_leftOut, 1);
    below->addWidget(save);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(m_view, 1);
    layout->addLayout(below);

    connect(&m_model, &QAbstractItemModel::modelReset, this, &ChartWindow::rebuild);
    connect(&m_model, &QAbstractItemModel::dataChanged, this, &ChartWindow::rebuild);
    connect(&m_model, &QAbstractItemModel::headerDataChanged, this, &ChartWindow::rebuild);
    rebuild();
}

void ChartWindow::rebuild()
{
    const QString keyword = m_keyword();
    setWindowTitle(keyword.isEmpty() ? tr("Opportunities") : tr("Opportunities: %1").arg(keyword));
    m_points = chartPoints(m_model.list());

    QList<QPointF> plain;
    QList<QPointF> withAds;
    double low = 1, high = 10, lowY = 1, highY = 10;
    bool first = true;
    for (const ChartPoint &p : std::as_const(m_points.points)) {
        (p.hasAds ? withAds : plain) << QPointF(p.searches, p.popularity);
        low = first ? p.searches : std::min(low, p.searches);
        high = first ? p.searches : std::max(high, p.searches);
        lowY = first ? p.popularity : std::min(lowY, p.popularity);
        highY = first ? p.popularity : std::max(highY, p.popularity);
        first = false;
    }
    m_plain->replace(plain);
    m_withAds->replace(withAds);
    fitAxis(m_searchesAxis, low, high);
    fitAxis(m_popularityAxis, lowY, highY);

    const int total = m_model.list().listRowCount();
    m_leftOut->setText(m_points.leftOut == 0
                           ? tr("%n phrase(s) shown", nullptr, total)
                           : tr("%1 of %2 phrases shown; %3 without a count left out")
                                 .arg(m_points.points.size())
                                 .arg(total)
                                 .arg(m_points.leftOut));
}

const ChartPoint *ChartWindow::pointAt(const QScatterSeries *series, const QPointF &at) const
{
    const bool ads = series == m_withAds;
    const ChartPoint *nearest = nullptr;
    double best = 0;
    // Compared on the logarithmic scale the axes draw.
    for (const ChartPoint &p : m_points.points) {
        if (p.hasAds != ads)
            continue;
        const double dx = std::log10(p.searches) - std::log10(std::max(at.x(), 1e-9));
        const double dy = std::log10(p.popularity) - std::log10(std::max(at.y(), 1e-9));
        const double distance = dx * dx + dy * dy;
        if (!nearest || distance < best) {
            nearest = &p;
            best = distance;
        }
    }
    return nearest;
}

void ChartWindow::hovered(const QScatterSeries *series, const QPointF &at, bool entered)
{
    const ChartPoint *point = entered ? pointAt(series, at) : nullptr;
    if (!point) {
        QToolTip::hideText();
        return;
    }
    const QLocale locale;
    QToolTip::showText(QCursor::pos(),
                       tr("%1\nSearches/mo.: %2\nPopularity: %3\nPopularity/Search: %4")
                           .arg(point->phrase, locale.toString(qint64(point->searches)),
                                locale.toString(qint64(point->popularity)),
                                point->popularityPerSearch),
                       m_view);
}

bool ChartWindow::savePicture()
{
    const QString path = m_chooseFile(this, m_proposed ? m_proposed() : QString());
    if (path.isEmpty())
        return false;
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    m_view->grab().save(&buffer, "PNG");
    QString error;
    if (writeFileAtomically(path, bytes, &error))
        return true;
    Q_EMIT saveFailed(path, error);
    return false;
}

} // namespace Quorvane
