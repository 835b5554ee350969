// Loading pictures from files, for the background and the button skins.
#pragma once

#include <QPixmap>
#include <QString>

namespace vantrel {

// Pictures larger than this once decoded are refused: a small file can
// claim a huge picture. A 12-megapixel photo still loads.
inline constexpr int PictureLimitMegabytes = 64;

// The picture in `path`; the empty path gives no picture (a null pixmap). A
// missing file, or one that is no regular file (a folder, a pipe), throws
// File not found; one Qt cannot read, or too large, Invalid picture.
QPixmap LoadPicture(const QString& path);

}  // namespace vantrel
