// The new-version dialog's picture, drawn rather than shipped as a file.
#pragma once

#include <QPixmap>
#include <QSize>

namespace orvanta {

// A blue disc with a white arrow down onto a tray, centred in `size`.
QPixmap DrawUpdateIcon(const QSize& size, qreal devicePixelRatio = 1.0);

}  // namespace orvanta
