#pragma once

#include <QStyledItemDelegate>

namespace morvant {

/** Draws the state of a disc that is being worked on as a progress bar with
    its words on it, and every other cell as the view would. */
class StateDelegate : public QStyledItemDelegate
{
    Q_OBJECT

public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter *painter, const QStyleOptionViewItem &option,
        const QModelIndex &index) const override;
};

} // namespace morvant
