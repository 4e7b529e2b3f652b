#pragma once

#include <QByteArrayView>
#include <QFile>
#include <QString>

#include <cstdint>

// A file the checker writes its output to (the line trace, the measurement
// record, the check report), such that nothing is lost without a word: each
// piece goes out whole in one unbuffered write, and a write that fails (disk
// full, device gone) or a file that no longer is where it was opened (its
// folder removed, its file system unmounted) makes the file fail for good.
// Bytes of a write that was cut short are taken back where the file allows
// it, so no cut-off line or row is left behind.
class OutputFile {
public:
    enum class Mode { Append, Replace };

    OutputFile() = default;
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    // An empty path means standard error (always appended to). False with
    // Error() set when the file cannot be opened for writing.
    bool Open(const QString& path, Mode mode);
    // Writes all the bytes at the end of the file. False when they could not
    // all be written, or the file had failed before; the file is then closed
    // and Error() says why.
    bool Write(QByteArrayView bytes);
    bool IsOpen() const { return File.isOpen(); }
    bool Failed() const { return !ErrorText.isEmpty(); }
    // "cannot write FILE: reason", empty while nothing failed.
    const QString& Error() const { return ErrorText; }
    // The file's path, or "standard error".
    QString Name() const;
    qint64 Size() const { return Written; }

private:
    bool Fail(const QString& reason);
    // Empty while the path still names the file that was opened; else why not.
    QString Displaced() const;

    QString Path;
    QFile File;
    qint64 Written = 0; // bytes in the file, for taking back a cut-off write
    QString ErrorText;
    bool ToStandardError = false;
    uint64_t Device = 0; // the opened file's identity, to see it displaced
    uint64_t Inode = 0;
};
