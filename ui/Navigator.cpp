#include "Navigator.h"

#include "Application.h"
#include "db/DataSet.h"

#include <QPainter>
#include <QPainterPath>
#include <QToolButton>

namespace ui {

namespace {

enum Glyph
{
    FirstGlyph,
    PriorGlyph,
    NextGlyph,
    LastGlyph
};

// Small black triangles, with a bar for first and last, drawn so that no image
// files are needed; the disabled look is Qt's greyed version.
QIcon navigatorIcon(int glyph)
{
    QPixmap pixmap(10, 10);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(Qt::black);
    const bool pointsLeft = glyph == FirstGlyph || glyph == PriorGlyph;
    QPainterPath triangle;
    if (pointsLeft) {
        triangle.moveTo(8, 1);
        triangle.lineTo(8, 9);
        triangle.lineTo(3, 5);
    } else {
        triangle.moveTo(2, 1);
        triangle.lineTo(2, 9);
        triangle.lineTo(7, 5);
    }
    triangle.closeSubpath();
    painter.drawPath(triangle);
    if (glyph == FirstGlyph)
        painter.drawRect(1, 1, 2, 8);
    if (glyph == LastGlyph)
        painter.drawRect(7, 1, 2, 8);
    return QIcon(pixmap);
}

} // namespace

Navigator::Navigator(QWidget *parent)
    : QWidget(parent),
      m_first(addButton(QStringLiteral("nbFirst"), QStringLiteral("First record"), FirstGlyph)),
      m_prior(addButton(QStringLiteral("nbPrior"), QStringLiteral("Prior record"), PriorGlyph)),
      m_next(addButton(QStringLiteral("nbNext"), QStringLiteral("Next record"), NextGlyph)),
      m_last(addButton(QStringLiteral("nbLast"), QStringLiteral("Last record"), LastGlyph))
{
    const auto move = [this](void (db::TDataSet::*step)()) {
        return [this, step] {
            if (db::TDataSet *ds = m_source ? m_source->dataSet() : nullptr)
                guarded([&] { (ds->*step)(); });
        };
    };
    connect(m_first, &QToolButton::clicked, this, move(&db::TDataSet::first));
    connect(m_prior, &QToolButton::clicked, this, move(&db::TDataSet::prior));
    connect(m_next, &QToolButton::clicked, this, move(&db::TDataSet::next));
    connect(m_last, &QToolButton::clicked, this, move(&db::TDataSet::last));
    updateButtons();
}

QToolButton *Navigator::addButton(const QString &objectName, const QString &tip, int glyph)
{
    auto *button = new QToolButton(this);
    button->setObjectName(objectName);
    button->setAutoRaise(true);
    button->setFocusPolicy(Qt::NoFocus);
    button->setIcon(navigatorIcon(glyph));
    button->setAccessibleName(tip);
    return button;
}

void Navigator::setDataSource(db::TDataSource *source)
{
    if (m_source)
        disconnect(m_source, nullptr, this, nullptr);
    m_source = source;
    if (m_source) {
        connect(m_source, &db::TDataSource::dataSetChanged, this, &Navigator::updateButtons);
        connect(m_source, &db::TDataSource::scrolled, this, &Navigator::updateButtons);
        connect(m_source, &db::TDataSource::valuesChanged, this, &Navigator::updateButtons);
    }
    updateButtons();
}

void Navigator::updateButtons()
{
    const db::TDataSet *ds = m_source ? m_source->dataSet() : nullptr;
    const bool active = ds && ds->active() && ds->recNo() >= 0;
    const bool canGoBack = active && ds->recNo() > 0;
    const bool canGoOn = active && ds->recNo() < ds->recordCount() - 1;
    m_first->setEnabled(canGoBack);
    m_prior->setEnabled(canGoBack);
    m_next->setEnabled(canGoOn);
    m_last->setEnabled(canGoOn);
}

void Navigator::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    QToolButton *const buttons[] = {m_first, m_prior, m_next, m_last};
    const int count = int(std::size(buttons));
    for (int i = 0; i < count; ++i) {
        const int left = width() * i / count;
        const int right = width() * (i + 1) / count;
        buttons[i]->setGeometry(left, 0, right - left, height());
    }
}

} // namespace ui
