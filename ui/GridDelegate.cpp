#include "GridDelegate.h"

#include <QApplication>
#include <QFontMetrics>
#include <QIcon>
#include <QPainter>

#include <utility>

namespace ui {

namespace {

const QStyle *styleOf(const QStyleOptionViewItem &cell)
{
    return cell.widget ? cell.widget->style() : QApplication::style();
}

quint64 cellKey(const QModelIndex &index)
{
    return quint64(quint32(index.row())) << 32 | quint32(index.column());
}

} // namespace

bool GridDelegate::Content::has(Role role) const
{
    const QVariant &value = roles[size_t(role)];
    return value.isValid() && !value.isNull();
}

GridDelegate::Content GridDelegate::contentOf(const QModelIndex &index)
{
    // In the order of Content::Role.
    std::array<QModelRoleData, Content::Roles> asked = {
        QModelRoleData(Qt::DisplayRole),    QModelRoleData(Qt::DecorationRole),
        QModelRoleData(Qt::FontRole),       QModelRoleData(Qt::BackgroundRole),
        QModelRoleData(Qt::ForegroundRole), QModelRoleData(Qt::TextAlignmentRole),
        QModelRoleData(Qt::CheckStateRole)};
    index.multiData(asked);
    Content content;
    for (size_t role = 0; role < asked.size(); ++role)
        content.roles[role] = std::move(asked[role].data());
    // A null icon is no picture, as the style has it.
    QVariant &picture = content.roles[Content::Decoration];
    if (picture.metaType() == QMetaType::fromType<QIcon>()) {
        const QIcon icon = qvariant_cast<QIcon>(picture);
        picture = icon.isNull() ? QVariant() : QVariant(icon.cacheKey());
    }
    return content;
}

bool GridDelegate::showsAsNow(const QModelIndex &index) const
{
    const auto painted = m_painted.constFind(cellKey(index));
    return painted != m_painted.cend() && *painted == contentOf(index);
}

void GridDelegate::forgetRowsOutside(int first, int last) const
{
    m_painted.removeIf([first, last](const QHash<quint64, Content>::iterator &cell) {
        const int row = int(cell.key() >> 32);
        return row < first || row > last;
    });
}

// The style's own option for a cell of text alone, from the roles already
// read, but for its foreground: set in the palette, it copied the palette
// for every cell painted. The text is drawn in it here.
std::optional<QBrush> GridDelegate::fillOption(QStyleOptionViewItem &cell, const QModelIndex &index,
                                               const Content &content) const
{
    cell.index = index;
    if (content.has(Content::Font)) {
        cell.font = qvariant_cast<QFont>(content.roles[Content::Font]).resolve(cell.font);
        cell.fontMetrics = QFontMetrics(cell.font);
    }
    if (content.has(Content::Alignment)) {
        const QVariant &alignment = content.roles[Content::Alignment];
        cell.displayAlignment = alignment.metaType() == QMetaType::fromType<Qt::Alignment>()
                                    ? alignment.value<Qt::Alignment>()
                                    : Qt::Alignment(alignment.toInt());
    }
    if (content.has(Content::Display)) {
        cell.features |= QStyleOptionViewItem::HasDisplay;
        cell.text = displayText(content.roles[Content::Display], cell.locale);
    }
    cell.backgroundBrush = qvariant_cast<QBrush>(content.roles[Content::Background]);
    cell.styleObject = nullptr;
    const QVariant &foreground = content.roles[Content::Foreground];
    if (foreground.canConvert<QBrush>())
        return qvariant_cast<QBrush>(foreground);
    return std::nullopt;
}

void GridDelegate::paint(QPainter *painter, const QStyleOptionViewItem &option,
                         const QModelIndex &index) const
{
    const Content content = contentOf(index);
    m_painted.insert(cellKey(index), content);
    QStyleOptionViewItem cell = option;
    std::optional<QBrush> foreground;
    if (content.isTextAlone())
        foreground = fillOption(cell, index, content);
    else
        initStyleOption(&cell, index);
    // A laid-out text draws no underline: the few cells that have one, or
    // that wrap or check, are painted the style's own way.
    const bool decorated = cell.font.underline() || cell.font.strikeOut() || cell.font.overline();
    if (decorated || cell.features & (QStyleOptionViewItem::WrapText |
                                      QStyleOptionViewItem::HasCheckIndicator)) {
        QStyledItemDelegate::paint(painter, option, index);
        return;
    }
    // In the order the style paints an item: background and picture, text,
    // then the focus frame over them. A cell without a picture has the
    // whole of its rectangle for its text.
    const QStyle *style = styleOf(cell);
    const QString text = std::exchange(cell.text, QString());
    const bool focused = cell.state & QStyle::State_HasFocus;
    cell.state &= ~QStyle::State_HasFocus;
    QRect textRect = cell.rect;
    if (cell.icon.isNull()) {
        style->drawPrimitive(QStyle::PE_PanelItemViewItem, &cell, painter, cell.widget);
    } else {
        style->drawControl(QStyle::CE_ItemViewItem, &cell, painter, cell.widget);
        textRect = style->subElementRect(QStyle::SE_ItemViewItemText, &cell, cell.widget);
    }
    if (!text.isEmpty())
        drawText(painter, cell, text, textRect, foreground);
    if (focused)
        drawFocus(painter, cell);
}

void GridDelegate::drawFocus(QPainter *painter, const QStyleOptionViewItem &cell) const
{
    const QStyle *style = styleOf(cell);
    QStyleOptionFocusRect frame;
    frame.QStyleOption::operator=(cell);
    frame.rect = style->subElementRect(QStyle::SE_ItemViewItemFocusRect, &cell, cell.widget);
    frame.state |= QStyle::State_KeyboardFocusChange | QStyle::State_Item | QStyle::State_HasFocus;
    const QPalette::ColorGroup group =
        cell.state & QStyle::State_Enabled ? QPalette::Normal : QPalette::Disabled;
    frame.backgroundColor = cell.palette.color(
        group, cell.state & QStyle::State_Selected ? QPalette::Highlight : QPalette::Window);
    style->drawPrimitive(QStyle::PE_FrameFocusRect, &frame, painter, cell.widget);
}

const GridDelegate::LaidOut &GridDelegate::laidOut(const QString &text, const QFont &font) const
{
    const Key key{text, font};
    if (const LaidOut *kept = m_laidOut.object(key))
        return *kept;
    auto shaped = std::make_unique<LaidOut>(LaidOut{QStaticText(text), 0});
    shaped->text.setTextFormat(Qt::PlainText);
    shaped->text.prepare(QTransform(), font);
    shaped->advance = QFontMetricsF(font).horizontalAdvance(text);
    const LaidOut &result = *shaped;
    m_laidOut.insert(key, shaped.release());
    return result;
}

// As the style draws an item's text: one line inside the style's margins,
// cut with an ellipsis where it does not fit, placed by the cell's alignment.
void GridDelegate::drawText(QPainter *painter, const QStyleOptionViewItem &cell,
                            const QString &text, const QRect &textRect,
                            const std::optional<QBrush> &foreground) const
{
    const QStyle *style = styleOf(cell);
    const int margin = style->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, cell.widget) + 1;
    const QRect room = textRect.adjusted(margin, 0, -margin, 0);
    const LaidOut *shaped = &laidOut(text, cell.font);
    // Cut by the drawn width, as the style does, overhang included.
    if (shaped->text.size().width() > room.width()) {
        const QFontMetrics metrics(cell.font);
        shaped = &laidOut(metrics.elidedText(text, cell.textElideMode, room.width()), cell.font);
    }

    QPalette::ColorGroup group =
        cell.state & QStyle::State_Enabled ? QPalette::Normal : QPalette::Disabled;
    if (group == QPalette::Normal && !(cell.state & QStyle::State_Active))
        group = QPalette::Inactive;
    const QPalette::ColorRole role =
        cell.state & QStyle::State_Selected ? QPalette::HighlightedText : QPalette::Text;

    // The style places the line in 64ths of a pixel, halving the space left
    // over with the remainder dropped; the same sums here put each glyph on
    // the same pixel.
    const Qt::Alignment alignment = QStyle::visualAlignment(cell.direction, cell.displayAlignment);
    const QRect line =
        QStyle::alignedRect(cell.direction, alignment & Qt::AlignVertical_Mask,
                            QSize(room.width(), qRound(shaped->text.size().height())), room);
    const int spare = room.width() * 64 - qRound(shaped->advance * 64);
    int offset = 0;
    if (alignment & Qt::AlignRight)
        offset = spare;
    else if (alignment & Qt::AlignHCenter)
        offset = spare / 2;
    const QPointF at(line.left() + offset / 64.0, line.top());

    painter->save();
    painter->setClipRect(cell.rect);
    painter->setFont(cell.font);
    painter->setPen(role == QPalette::Text && foreground ? foreground->color()
                                                         : cell.palette.color(group, role));
    painter->drawStaticText(at, shaped->text);
    painter->restore();
}

} // namespace ui
