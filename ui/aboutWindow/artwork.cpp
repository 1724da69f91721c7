#include "artwork.h"

#include <QImage>

namespace morvant {

QIcon programIcon()
{
    QIcon icon;
    icon.addFile(QStringLiteral(":/artwork/morvant-16.png"), QSize(16, 16));
    icon.addFile(QStringLiteral(":/artwork/morvant-32.png"), QSize(32, 32));
    return icon;
}

QPixmap enlargedIcon(int side)
{
    const QImage image(QStringLiteral(":/artwork/morvant-32.png"));
    if (image.isNull() || side <= 0)
        return {};
    // Smoothing a 32-pixel drawing all the way up blurs it into a smudge, and
    // repeating pixels alone gives uneven blocks when the factor is not whole.
    const int whole = qMax(1, (side + image.width() - 1) / image.width());
    const QImage blocks =
        image.convertToFormat(QImage::Format_ARGB32)
            .scaled(image.size() * whole, Qt::IgnoreAspectRatio, Qt::FastTransformation);
    return QPixmap::fromImage(
        blocks.scaled(side, side, Qt::IgnoreAspectRatio, Qt::SmoothTransformation));
}

QPixmap programLogo()
{
    return QPixmap(QStringLiteral(":/artwork/logo.gif"));
}

} // namespace morvant
