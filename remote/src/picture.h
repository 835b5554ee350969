// Loading pictures from files, for the background and the button skins.
#pragma once

#include <QPixmap>
#include <QString>

namespace vantrel {

// The picture in `path`; the empty path gives no picture (a null pixmap). A
// missing file throws File not found, one Qt cannot read Invalid picture.
QPixmap LoadPicture(const QString& path);

}  // namespace vantrel
