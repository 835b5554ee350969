#include "scratch_folder.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace vantrel {
namespace {

// A descriptor on the folder holding its lock, or -1 when another process
// holds it (or it is no folder of ours).
int lockFolder(const QString& folder, bool wait) {
    const int fd = ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) return -1;
    struct stat info {};
    if (::fstat(fd, &info) != 0 || info.st_uid != ::geteuid() ||
        ::flock(fd, LOCK_EX | (wait ? 0 : LOCK_NB)) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

}  // namespace

ScratchFolder::ScratchFolder(const QString& file) {
    QByteArray name = QFile::encodeName(file + QStringLiteral(".saving-XXXXXX"));
    if (!::mkdtemp(name.data())) {
        error_ = QString::fromLocal8Bit(std::strerror(errno));
        return;
    }
    path_ = QFile::decodeName(name);
    lock_ = lockFolder(path_, true);
    if (lock_ < 0) error_ = QString::fromLocal8Bit(std::strerror(errno));
}

ScratchFolder::~ScratchFolder() {
    if (!path_.isEmpty()) QDir(path_).removeRecursively();
    if (lock_ >= 0) ::close(lock_);
}

QString ScratchFolder::filePath(const QString& name) const { return path_ + QLatin1Char('/') + name; }

void ScratchFolder::removeLeftovers(const QString& file) {
    const QDir folder = QFileInfo(file).absoluteDir();
    const QString prefix = QFileInfo(file).fileName() + QStringLiteral(".saving-");
    for (const QString& entry : folder.entryList({prefix + QLatin1Char('*')}, QDir::Dirs | QDir::Hidden | QDir::System)) {
        if (entry.size() != prefix.size() + 6) continue;  // not of our naming
        const QString path = folder.filePath(entry);
        const int lock = lockFolder(path, false);
        if (lock < 0) continue;  // a save in progress, or not ours to remove
        QDir(path).removeRecursively();
        ::close(lock);
    }
}

}  // namespace vantrel
