#include "trace/OutputFile.h"

#include <QFileInfo>

#ifdef Q_OS_UNIX
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#endif

namespace {
constexpr int kStandardError = 2;
} // namespace

bool OutputFile::Open(const QString& path, Mode mode) {
    Path = path;
    ErrorText.clear();
    Written = 0;
    ToStandardError = path.isEmpty();
    bool opened = false;
    if (ToStandardError) {
        opened = File.open(kStandardError, QIODevice::WriteOnly | QIODevice::Unbuffered,
                           QFileDevice::DontCloseHandle);
    } else {
#ifdef Q_OS_UNIX
        // Opened here rather than by QFile, which would seek to the end of a
        // device such as /dev/full and warn that it cannot.
        const int flags =
            O_WRONLY | O_CREAT | O_CLOEXEC | (mode == Mode::Append ? O_APPEND : O_TRUNC);
        const int fd = ::open(QFile::encodeName(path).constData(), flags, 0666);
        if (fd < 0) {
            return Fail(QString::fromLocal8Bit(std::strerror(errno)));
        }
        opened = File.open(fd, QIODevice::WriteOnly | QIODevice::Unbuffered,
                           QFileDevice::AutoCloseHandle);
        if (!opened) {
            ::close(fd);
        }
#else
        File.setFileName(path);
        opened = File.open(mode == Mode::Append ? QIODevice::Append | QIODevice::Unbuffered
                                                : QIODevice::WriteOnly | QIODevice::Truncate |
                                                      QIODevice::Unbuffered);
#endif
    }
    if (!opened) {
        return Fail(File.errorString());
    }
    Written = ToStandardError || File.isSequential() ? 0 : File.size();
#ifdef Q_OS_UNIX
    struct stat opened_file {};
    if (!ToStandardError && ::fstat(File.handle(), &opened_file) == 0) {
        Device = static_cast<uint64_t>(opened_file.st_dev);
        Inode = static_cast<uint64_t>(opened_file.st_ino);
    }
#endif
    return true;
}

QString OutputFile::Name() const {
    return ToStandardError ? QStringLiteral("standard error") : Path;
}

QString OutputFile::Displaced() const {
    if (ToStandardError) {
        return {};
    }
#ifdef Q_OS_UNIX
    struct stat opened_file {};
    if (::fstat(File.handle(), &opened_file) == 0 && opened_file.st_nlink == 0) {
        return QStringLiteral("the file or its folder was removed");
    }
    struct stat named {};
    if (::stat(QFile::encodeName(Path).constData(), &named) != 0) {
        return QStringLiteral("the file is gone (its folder removed or unmounted)");
    }
    if (static_cast<uint64_t>(named.st_dev) != Device ||
        static_cast<uint64_t>(named.st_ino) != Inode) {
        return QStringLiteral("the path now names another file");
    }
#else
    if (!QFileInfo::exists(Path)) {
        return QStringLiteral("the file is gone (its folder removed or unmounted)");
    }
#endif
    return {};
}

bool OutputFile::Write(QByteArrayView bytes) {
    if (!File.isOpen()) {
        return false;
    }
    if (const QString displaced = Displaced(); !displaced.isEmpty()) {
        return Fail(displaced);
    }
    // A short write is not yet a failure; the rest is tried once more, and
    // then the write that fails says why.
    qint64 done = 0;
    while (done < bytes.size()) {
        const qint64 n = File.write(bytes.data() + done, bytes.size() - done);
        if (n <= 0) {
            const QString reason = File.errorString();
            if (done > 0 && !ToStandardError) {
                File.resize(Written); // no cut-off line or row left behind
            }
            return Fail(reason);
        }
        done += n;
    }
    Written += done;
    return true;
}

bool OutputFile::Fail(const QString& reason) {
    ErrorText = QStringLiteral("cannot write %1: %2").arg(Name(), reason);
    File.close();
    return false;
}
