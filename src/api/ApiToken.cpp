// SPDX-License-Identifier: GPL-3.0-or-later
#include "ApiToken.h"

#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstring>

namespace Tarnwick {

namespace {

QString systemReason(const QString& fileName, int error)
{
    return QStringLiteral("\"%1\": %2").arg(fileName, QString::fromLocal8Bit(std::strerror(error)));
}

QByteArray made(const QString& fileName, QString* error)
{
    std::array<quint32, 8> bits{};
    QRandomGenerator::system()->fillRange(bits.data(), bits.size());
    const QByteArray token = QByteArray(reinterpret_cast<const char*>(bits.data()), sizeof bits).toHex();
    // Made readable to its owner alone from the start, and never over a file that came meanwhile.
    const int fd = ::open(QFile::encodeName(fileName).constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0) {
        *error = systemReason(fileName, errno);
        return {};
    }
    const QByteArray line = token + '\n';
    const bool written = ::write(fd, line.constData(), size_t(line.size())) == line.size() && ::fsync(fd) == 0;
    const int writeError = errno;
    ::close(fd);
    if (!written) {
        // Only the half-made file of this start goes: it holds nobody's token yet.
        ::unlink(QFile::encodeName(fileName).constData());
        *error = systemReason(fileName, writeError);
        return {};
    }
    return token;
}

} // namespace

QByteArray ApiToken::readOrMake(const QString& fileName, QString* error, QString* warning)
{
    QString ignored;
    if (!error)
        error = &ignored;
    QFile file(fileName);
    const QFileInfo info(fileName);
    if (!info.exists() && !info.isSymLink())
        return made(fileName, error);
    // A pipe would hold the start until someone writes to it.
    if (!info.isFile()) {
        *error = QStringLiteral("\"%1\" is not a regular file").arg(fileName);
        return {};
    }
    if (!file.open(QIODevice::ReadOnly)) {
        *error = QStringLiteral("\"%1\": %2").arg(fileName, file.errorString());
        return {};
    }
    const QFileDevice::Permissions others = QFileDevice::ReadGroup | QFileDevice::WriteGroup | QFileDevice::ReadOther
        | QFileDevice::WriteOther;
    if (warning && (file.permissions() & others))
        *warning = QStringLiteral("\"%1\" may be read by others than its owner: anyone who can read it can change the "
                                  "device list (chmod 600 \"%1\")")
                       .arg(fileName);
    const QByteArray token = file.read(4096).trimmed();
    if (token.size() < 32) {
        *error = QStringLiteral("\"%1\" holds no token of at least 32 characters; remove it to have one made")
                     .arg(fileName);
        return {};
    }
    return token;
}

} // namespace Tarnwick
