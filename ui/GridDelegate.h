#pragma once

#include <QCache>
#include <QFont>
#include <QStaticText>
#include <QStyledItemDelegate>

namespace ui {

// Paints a grid's cells as the style does, but keeps each text it has laid
// out: a move repaints every cell of the detail grid, and laying out the same
// one-letter texts again at each paint was most of what a move cost.
class GridDelegate : public QStyledItemDelegate
{
public:
    explicit GridDelegate(QObject *parent) : QStyledItemDelegate(parent) {}

    void paint(QPainter *painter, const QStyleOptionViewItem &option,
               const QModelIndex &index) const override;

private:
    struct Key
    {
        QString text;
        QFont font;
        friend bool operator==(const Key &a, const Key &b)
        {
            return a.text == b.text && a.font == b.font;
        }
        friend size_t qHash(const Key &key, size_t seed = 0)
        {
            return qHashMulti(seed, key.text, key.font);
        }
    };
    // A text laid out once, and its advance: what the style centres or
    // right-aligns by, which is not its drawn width where the last glyph
    // overhangs.
    struct LaidOut
    {
        QStaticText text;
        qreal advance;
    };
    [[nodiscard]] const LaidOut &laidOut(const QString &text, const QFont &font) const;
    void drawFocus(QPainter *painter, const QStyleOptionViewItem &cell) const;
    void drawText(QPainter *painter, const QStyleOptionViewItem &option, const QString &text,
                  const QRect &textRect) const;

    // Texts shown at once are a few hundred; the bound keeps a long session
    // from holding every name it ever painted.
    mutable QCache<Key, LaidOut> m_laidOut{4096};
};

} // namespace ui
