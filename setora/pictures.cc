#include "setora/pictures.h"

#include <QPainter>
#include <QPainterPath>

#include "setora/patch_list.h"

namespace {

QPixmap blank(int size) {
  QPixmap pixmap(size, size);
  pixmap.fill(Qt::transparent);
  return pixmap;
}

// The frame of every state: a small box.
void draw_box(QPainter& p, const QColor& fill) {
  p.setPen(QPen(QColor(64, 64, 64), 1));
  p.setBrush(fill);
  p.drawRect(QRectF(1.5, 1.5, 12, 12));
}

void draw_check(QPainter& p, const QColor& color) {
  p.setPen(QPen(color, 2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
  QPainterPath path;
  path.moveTo(4, 8);
  path.lineTo(7, 11);
  path.lineTo(12, 4);
  p.setBrush(Qt::NoBrush);
  p.drawPath(path);
}

void draw_cross(QPainter& p, const QColor& color) {
  p.setPen(QPen(color, 2, Qt::SolidLine, Qt::RoundCap));
  p.drawLine(QPointF(4.5, 4.5), QPointF(10.5, 10.5));
  p.drawLine(QPointF(10.5, 4.5), QPointF(4.5, 10.5));
}

void draw_lock(QPainter& p) {
  p.setPen(QPen(QColor(60, 60, 60), 1));
  p.setBrush(QColor(230, 180, 40));
  p.drawRect(QRectF(9.5, 10.5, 6, 5));
  p.setBrush(Qt::NoBrush);
  p.drawArc(QRectF(10.5, 7.5, 4, 5), 0, 180 * 16);
}

}  // namespace

QPixmap program_picture(int size) {
  QPixmap pixmap = blank(size);
  QPainter p(&pixmap);
  p.setRenderHint(QPainter::Antialiasing);
  p.scale(size / 32.0, size / 32.0);
  // A box (the patch) with a green arrow pointing into it.
  p.setPen(QPen(QColor(40, 40, 90), 1.5));
  p.setBrush(QColor(90, 120, 200));
  p.drawRoundedRect(QRectF(3, 12, 26, 17), 3, 3);
  p.setBrush(QColor(150, 175, 235));
  p.drawRect(QRectF(3, 12, 26, 5));
  QPainterPath arrow;
  arrow.moveTo(16, 15);
  arrow.lineTo(8, 7);
  arrow.lineTo(13, 7);
  arrow.lineTo(13, 1);
  arrow.lineTo(19, 1);
  arrow.lineTo(19, 7);
  arrow.lineTo(24, 7);
  arrow.closeSubpath();
  p.setPen(QPen(QColor(20, 90, 20), 1));
  p.setBrush(QColor(60, 180, 60));
  p.drawPath(arrow);
  return pixmap;
}

QIcon program_icon() {
  QIcon icon;
  icon.addPixmap(program_picture(16));
  icon.addPixmap(program_picture(32));
  return icon;
}

QPixmap state_picture(int state) {
  QPixmap pixmap = blank(16);
  QPainter p(&pixmap);
  p.setRenderHint(QPainter::Antialiasing);
  switch (state) {
    case PATCH_NOT_INSTALLED:
      draw_box(p, Qt::white);
      break;
    case PATCH_INSTALLED_REMOVABLE:
      draw_box(p, Qt::white);
      draw_check(p, QColor(0, 140, 0));
      break;
    case PATCH_MARKED_REMOVE:
      draw_box(p, QColor(255, 225, 225));
      draw_cross(p, QColor(200, 0, 0));
      break;
    case PATCH_MARKED_INSTALL:
      draw_box(p, QColor(225, 240, 255));
      draw_check(p, QColor(0, 80, 220));
      break;
    case PATCH_INSTALLED_FIXED:
      draw_box(p, QColor(235, 235, 235));
      draw_check(p, QColor(110, 110, 110));
      draw_lock(p);
      break;
    default:
      break;
  }
  return pixmap;
}

QIcon font_icon() {
  QPixmap pixmap = blank(16);
  QPainter p(&pixmap);
  p.setRenderHint(QPainter::Antialiasing);
  QFont font("Serif");
  font.setPixelSize(14);
  font.setBold(true);
  p.setFont(font);
  p.setPen(Qt::black);
  p.drawText(QRect(0, 0, 11, 16), Qt::AlignCenter, "A");
  font.setPixelSize(10);
  p.setFont(font);
  p.setPen(QColor(0, 0, 160));
  p.drawText(QRect(8, 4, 8, 12), Qt::AlignCenter, "a");
  return QIcon(pixmap);
}
