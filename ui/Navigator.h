#pragma once

#include <QPointer>
#include <QWidget>

class QToolButton;

#include "db/DataSet.h"

namespace ui {

// First, prior, next and last for the dataset of a data source; each button
// is enabled only where it can move.
class Navigator : public QWidget
{
    Q_OBJECT
public:
    explicit Navigator(QWidget *parent = nullptr);

    void setDataSource(db::TDataSource *source);
    [[nodiscard]] db::TDataSource *dataSource() const { return m_source; }

    [[nodiscard]] QToolButton *firstButton() const { return m_first; }
    [[nodiscard]] QToolButton *priorButton() const { return m_prior; }
    [[nodiscard]] QToolButton *nextButton() const { return m_next; }
    [[nodiscard]] QToolButton *lastButton() const { return m_last; }

protected:
    void resizeEvent(QResizeEvent *event) override;

private:
    QToolButton *addButton(const QString &objectName, const QString &tip, int glyph);
    void updateButtons();

    QPointer<db::TDataSource> m_source;
    QToolButton *m_first;
    QToolButton *m_prior;
    QToolButton *m_next;
    QToolButton *m_last;
};

} // namespace ui
