#include "picture.h"

#include "app_error.h"

#include <QFileInfo>
#include <QImage>
#include <QImageReader>

namespace vantrel {

QPixmap LoadPicture(const QString& path) {
    if (path.isEmpty()) return QPixmap();
    if (!QFileInfo(path).isFile()) throwError(FileNotFound);
    QImageReader reader(path);  // read afresh on every call
    reader.setAllocationLimit(PictureLimitMegabytes);
    // Shown, every pixel takes four bytes, whatever the file stores: judge
    // by the size its header gives, before anything is decoded.
    const QSize size = reader.size();
    if (size.isValid() && qint64{size.width()} * size.height() * 4 > qint64{PictureLimitMegabytes} << 20)
        throwError(InvalidPicture);
    const QImage image = reader.read();
    if (image.isNull()) throwError(InvalidPicture);
    return QPixmap::fromImage(image);
}

}  // namespace vantrel
