#include "transmitter_library.h"

#include "realtime_kit.h"

#include <QDir>
#include <QFileInfo>

#include <dlfcn.h>

namespace vantrel {
namespace {

constexpr const char* ClassName = "Kestrix.controlcm";

// Installed, the library lives in the lib folder next to bin; in the build
// tree too. KESTRIX_RELATIVE_LIBDIR is that folder as seen from bin.
QStringList candidates(const QString& programDir) {
    const QString name = QStringLiteral(KESTRIX_SONAME);
    QStringList paths;
    for (const QString& dir : {QStringLiteral(KESTRIX_RELATIVE_LIBDIR), QStringLiteral("../lib"), QStringLiteral(".")}) {
        const QString path = QDir::cleanPath(QDir(programDir).filePath(dir + QLatin1Char('/') + name));
        if (!paths.contains(path)) paths << path;
    }
    return paths;
}

}  // namespace

Form1::TransmitterFactory transmitterFromLibrary(const QString& programDir) {
    return [programDir]() -> std::unique_ptr<kestrix::controlcm> {
        const QStringList paths = candidates(programDir);
        QString path;
        for (const QString& p : paths)
            if (QFileInfo::exists(p)) {
                path = p;
                break;
            }
        if (path.isEmpty())
            throw StartupError(QStringLiteral("The transmitter control library %1 was not found (looked in %2).")
                                   .arg(QStringLiteral(KESTRIX_SONAME), paths.join(QStringLiteral(", ")))
                                   .toStdString());
        // Kept loaded for the life of the program: the control's code lives there.
        void* library = dlopen(QFile::encodeName(path).constData(), RTLD_NOW | RTLD_LOCAL);
        if (!library)
            throw StartupError(QStringLiteral("The transmitter control library %1 could not be loaded: %2")
                                   .arg(path, QString::fromLocal8Bit(dlerror()))
                                   .toStdString());
        using Create = kestrix::controlcm* (*)(const char*);
        auto create = reinterpret_cast<Create>(dlsym(library, "kestrix_create"));
        kestrix::controlcm* control = create ? create(ClassName) : nullptr;
        if (!control)
            throw StartupError(QStringLiteral("The transmitter control library %1 does not provide the class %2.")
                                   .arg(path, QString::fromLatin1(ClassName))
                                   .toStdString());
        std::unique_ptr<kestrix::controlcm> owned(control);
        useRealtimeKit(*owned);
        return owned;
    };
}

}  // namespace vantrel
