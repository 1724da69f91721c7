#include "stateDelegate.h"

#include "discListModel.h"

#include <QApplication>
#include <QPainter>
#include <QStyleOptionProgressBar>

namespace morvant {

void StateDelegate::paint(
    QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const
{
    const double fraction = index.data(DiscListModel::progressRole).toDouble();
    if (index.column() != DiscListModel::StateColumn || fraction < 0) {
        QStyledItemDelegate::paint(painter, option, index);
        return;
    }
    QStyleOptionProgressBar bar;
    bar.initFrom(option.widget);
    bar.rect = option.rect;
    bar.minimum = 0;
    bar.maximum = 1000;
    bar.progress = qRound(fraction * 1000);
    bar.text = index.data(Qt::DisplayRole).toString();
    bar.textVisible = true;
    bar.textAlignment = Qt::AlignCenter;
    bar.state = option.state | QStyle::State_Horizontal;
    // The rows share the view's viewport, which is no progress bar for the
    // style to animate: the row's bar is drawn again as its work goes.
    bar.styleObject = nullptr;
    const QStyle *style = option.widget ? option.widget->style() : QApplication::style();
    style->drawControl(QStyle::CE_ProgressBar, &bar, painter, option.widget);
}

} // namespace morvant
