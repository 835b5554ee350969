// A private folder beside a file for everything a save writes before its
// final rename: the new file, its read-back copy, the parser's own
// temporary and lock files. It is locked for as long as the save runs and
// removed with everything in it at the end. A save that was killed leaves
// its folder unlocked (the kernel drops a dead process's locks), which is
// how the next save tells leftovers from a save in progress elsewhere.
#pragma once

#include <QString>

namespace vantrel {

class ScratchFolder {
public:
    // Creates "<file>.saving-XXXXXX" beside `file` and locks it; made()
    // tells whether that worked, errorString() the system's reason if not.
    explicit ScratchFolder(const QString& file);
    ~ScratchFolder();
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;

    bool made() const { return lock_ >= 0; }
    QString errorString() const { return error_; }

    // A path inside the folder.
    QString filePath(const QString& name) const;

    // Removes the scratch folders of `file` that no living process holds.
    static void removeLeftovers(const QString& file);

private:
    QString path_;
    QString error_;
    int lock_ = -1;
};

}  // namespace vantrel
