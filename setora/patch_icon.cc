#include "setora/patch_icon.h"

#include <QImage>
#include <QImageReader>

#include "patch/patch_file.h"
#include "platform/files/path.h"
#include "setora/pictures.h"
#include "setora/qt_text.h"

namespace {

bool is_relative(const std::string& path) {
  if (path.size() >= 2 && path[1] == ':') return false;  // a drive
  return path.empty() || (path[0] != '\\' && path[0] != '/');
}

}  // namespace

QPixmap load_patch_icon(const std::string& icon, int index, const std::string& patch_dir) {
  if (icon.empty() || index < 0) return QPixmap();
  std::string nt_path = is_relative(icon) ? join_patch_path(patch_dir, icon.c_str()) : icon;
  std::string host;
  if (!nt_host_path(nt_path.c_str(), &host)) return QPixmap();
  QImageReader reader(QString::fromStdString(host));
  if (!reader.canRead()) return QPixmap();
  if (index > 0) {
    int count = reader.imageCount();
    if (count <= index || !reader.jumpToImage(index)) return QPixmap();
  }
  QImage image = reader.read();
  if (image.isNull()) return QPixmap();
  return QPixmap::fromImage(
      image.scaled(16, 16, Qt::KeepAspectRatio, Qt::SmoothTransformation));
}

QPixmap patch_row_icon(const std::string& icon, int index, const std::string& patch_dir) {
  QPixmap pixmap = load_patch_icon(icon, index, patch_dir);
  return pixmap.isNull() ? program_picture(16) : pixmap;
}
