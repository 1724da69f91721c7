#pragma once

#include <QIcon>
#include <QPixmap>

namespace morvant {

/// The program icon with its 16 × 16 and 32 × 32 images: the window icon.
QIcon programIcon();

/** The icon's 32 × 32 image enlarged to \a side pixels square. Each pixel is
    first repeated whole, so the drawing keeps its hard edges, and only the
    last fraction of the way is smoothed. */
QPixmap enlargedIcon(int side);

/// The logo picture at its own size, 267 × 79, with its transparent colour.
QPixmap programLogo();

} // namespace morvant
