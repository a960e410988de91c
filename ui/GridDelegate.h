#pragma once

#include <QCache>
#include <QFont>
#include <QHash>
#include <QStaticText>
#include <QStyledItemDelegate>

#include <array>
#include <optional>

namespace ui {

// Paints a grid's cells as the style does, but keeps each text it has laid
// out, and what it painted in each cell: a move recalculates every cell of
// the detail grid, and laying out the same one-letter texts again, or
// painting cells that look as they did, was most of what a move cost.
class GridDelegate : public QStyledItemDelegate
{
public:
    explicit GridDelegate(QObject *parent) : QStyledItemDelegate(parent) {}

    void paint(QPainter *painter, const QStyleOptionViewItem &option,
               const QModelIndex &index) const override;

    // Whether the cell was painted as the model now has it: a cell painted
    // before whose roles are all the same need not be painted again.
    [[nodiscard]] bool showsAsNow(const QModelIndex &index) const;
    // Out of sight a cell is painted afresh when it comes back into it, so
    // what it showed need not be kept.
    void forgetRowsOutside(int first, int last) const;

private:
    // What the model says of a cell in every role its painting reads; a
    // picture by its cache key, which compares where a picture does not.
    struct Content
    {
        enum Role
        {
            Display,
            Decoration,
            Font,
            Background,
            Foreground,
            Alignment,
            CheckState,
            Roles
        };
        std::array<QVariant, Roles> roles;
        friend bool operator==(const Content &, const Content &) = default;
        [[nodiscard]] bool has(Role role) const;
        // Neither picture nor check box: a text on a background, the cells
        // painted here without the style's full option.
        [[nodiscard]] bool isTextAlone() const { return !has(Decoration) && !has(CheckState); }
    };
    [[nodiscard]] static Content contentOf(const QModelIndex &index);
    [[nodiscard]] std::optional<QBrush>
    fillOption(QStyleOptionViewItem &cell, const QModelIndex &index, const Content &content) const;

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
                  const QRect &textRect, const std::optional<QBrush> &foreground) const;

    // Texts shown at once are a few hundred; the bound keeps a long session
    // from holding every name it ever painted.
    mutable QCache<Key, LaidOut> m_laidOut{4096};
    // By row and column, what each cell in sight was last painted with.
    mutable QHash<quint64, Content> m_painted;
};

} // namespace ui
