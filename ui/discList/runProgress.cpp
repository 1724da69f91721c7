#include "runProgress.h"

#include <QStyleOptionProgressBar>
#include <QStylePainter>

namespace morvant {

namespace {

QStyleOptionProgressBar barOption(const QWidget *widget, double fraction)
{
    QStyleOptionProgressBar bar;
    bar.initFrom(widget);
    bar.minimum = 0;
    bar.maximum = 1000;
    bar.progress = qRound(fraction * 1000);
    bar.text = QStringLiteral("%1%").arg(qRound(fraction * 100));
    bar.textVisible = true;
    bar.textAlignment = Qt::AlignCenter;
    bar.state |= QStyle::State_Horizontal;
    // No object for the style to animate: a bar drawn here is redrawn as the work goes.
    bar.styleObject = nullptr;
    return bar;
}

} // namespace

RunProgress::RunProgress(QWidget *parent) : QWidget(parent)
{
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
}

void RunProgress::setFraction(double fraction)
{
    fraction = qBound(0.0, fraction, 1.0);
    if (qRound(fraction * 1000) == qRound(shown * 1000))
        return;
    shown = fraction;
    update();
}

QSize RunProgress::sizeHint() const
{
    // As QProgressBar measures itself: room for "100%" and the frame.
    const QFontMetrics metrics = fontMetrics();
    const QStyleOptionProgressBar bar = barOption(this, shown);
    const QSize content(metrics.horizontalAdvance(QStringLiteral("100%")) * 6,
        metrics.height() + style()->pixelMetric(QStyle::PM_ProgressBarChunkWidth, &bar, this) / 2);
    return style()->sizeFromContents(QStyle::CT_ProgressBar, &bar, content, this);
}

QSize RunProgress::minimumSizeHint() const
{
    return { sizeHint().width() / 3, sizeHint().height() };
}

void RunProgress::paintEvent(QPaintEvent *)
{
    QStylePainter painter(this);
    painter.drawControl(QStyle::CE_ProgressBar, barOption(this, shown));
}

} // namespace morvant
