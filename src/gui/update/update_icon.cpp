#include "gui/update/update_icon.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <algorithm>

namespace orvanta {

QPixmap DrawUpdateIcon(const QSize& size, qreal devicePixelRatio) {
  QPixmap pixmap(size * devicePixelRatio);
  pixmap.setDevicePixelRatio(devicePixelRatio);
  pixmap.fill(Qt::transparent);

  QPainter painter(&pixmap);
  painter.setRenderHint(QPainter::Antialiasing);
  // Everything is laid out on a 100 x 100 grid, scaled to the smaller side.
  const qreal side = std::min(size.width(), size.height());
  painter.translate((size.width() - side) / 2.0, (size.height() - side) / 2.0);
  painter.scale(side / 100.0, side / 100.0);

  QLinearGradient fill(0, 4, 0, 96);
  fill.setColorAt(0, QColor(0x4a, 0x9c, 0xf0));
  fill.setColorAt(1, QColor(0x15, 0x5f, 0xb8));
  painter.setPen(QPen(QColor(0x0f, 0x4c, 0x96), 2));
  painter.setBrush(fill);
  painter.drawEllipse(QRectF(4, 4, 92, 92));

  QPainterPath arrow;
  arrow.moveTo(43, 20);
  arrow.lineTo(57, 20);
  arrow.lineTo(57, 48);
  arrow.lineTo(70, 48);
  arrow.lineTo(50, 68);
  arrow.lineTo(30, 48);
  arrow.lineTo(43, 48);
  arrow.closeSubpath();
  painter.setPen(Qt::NoPen);
  painter.setBrush(Qt::white);
  painter.drawPath(arrow);

  // The tray the arrow lands in.
  painter.setPen(QPen(Qt::white, 6, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
  painter.setBrush(Qt::NoBrush);
  painter.drawPolyline(QPolygonF({QPointF(28, 66), QPointF(28, 78), QPointF(72, 78), QPointF(72, 66)}));
  return pixmap;
}

}  // namespace orvanta
