#include "picture.h"

#include "app_error.h"

#include <QFileInfo>
#include <QImage>

namespace vantrel {

QPixmap LoadPicture(const QString& path) {
    if (path.isEmpty()) return QPixmap();
    if (!QFileInfo(path).isFile()) throwError(FileNotFound);
    QImage image(path);  // read afresh on every call
    if (image.isNull()) throwError(InvalidPicture);
    return QPixmap::fromImage(image);
}

}  // namespace vantrel
