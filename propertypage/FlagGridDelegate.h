// Draws the flag grid's cells: the colour column as a swatch of the flag's colour, framed in
// the active-caption colour in the selected row and in the grid's background elsewhere.
#pragma once

#include <QStyledItemDelegate>

class QTableWidget;

class TFlagGridDelegate : public QStyledItemDelegate {
    Q_OBJECT

  public:
    explicit TFlagGridDelegate(QTableWidget* grid);

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override;

  private:
    // Runs after the cell's text has been drawn.
    void SGEventsDrawCell(QPainter* painter, int column, int row, const QRect& cell,
                          const QString& text) const;
    int SelectedTopRow() const;

    QTableWidget* Grid;
};
