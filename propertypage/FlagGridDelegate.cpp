#include "FlagGridDelegate.h"

#include <QPainter>
#include <QTableWidget>

#include "Colors.h"

TFlagGridDelegate::TFlagGridDelegate(QTableWidget* grid) : QStyledItemDelegate(grid), Grid(grid) {}

void TFlagGridDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                              const QModelIndex& index) const {
    QStyledItemDelegate::paint(painter, option, index);
    painter->save();
    SGEventsDrawCell(painter, index.column(), index.row(), option.rect,
                     index.data(Qt::DisplayRole).toString());
    painter->restore();
}

int TFlagGridDelegate::SelectedTopRow() const {
    int top = -1;
    for (const QTableWidgetSelectionRange& range : Grid->selectedRanges()) {
        if (top < 0 || range.topRow() < top) {
            top = range.topRow();
        }
    }
    return top;
}

void TFlagGridDelegate::SGEventsDrawCell(QPainter* painter, int column, int row, const QRect& cell,
                                         const QString& text) const {
    QColor background = Grid->palette().color(QPalette::Base);
    if (column != 2) {
        painter->setPen(background);
        painter->setBrush(background);
        return;
    }
    QColor frame = row == SelectedTopRow() ? ColorToQColor(clSystemActiveCaption) : background;
    bool isNumber = false;
    int value = text.toInt(&isNumber);
    QColor fill = isNumber ? ColorToQColor(value) : frame;
    painter->setPen(QPen(frame, 5));
    painter->setBrush(fill);
    // From 2 pixels inside the left and top edges to 2 pixels inside the right and bottom ones.
    painter->drawRect(QRect(QPoint(cell.left() + 2, cell.top() + 2),
                            QPoint(cell.right() - 2, cell.bottom() - 2)));
}
