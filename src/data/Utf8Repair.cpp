// SPDX-License-Identifier: GPL-3.0-or-later
#include "Utf8Repair.h"

#include <QRegularExpression>

namespace Tarnwick {

namespace {

// The length of the valid UTF-8 sequence at data[i], or 0 when there is none.
qsizetype validSequence(const unsigned char* data, qsizetype size, qsizetype i)
{
    const unsigned char lead = data[i];
    if (lead < 0x80)
        return 1;
    qsizetype length = 0;
    unsigned min = 0;
    unsigned codePoint = 0;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
        codePoint = lead & 0x1F;
        min = 0x80;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        codePoint = lead & 0x0F;
        min = 0x800;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        codePoint = lead & 0x07;
        min = 0x10000;
    } else {
        return 0;
    }
    if (size - i < length)
        return 0;
    for (qsizetype k = 1; k < length; ++k) {
        if ((data[i + k] & 0xC0) != 0x80)
            return 0;
        codePoint = (codePoint << 6) | (data[i + k] & 0x3F);
    }
    // Overlong forms, surrogates and code points past U+10FFFF are not valid UTF-8.
    if (codePoint < min || (codePoint >= 0xD800 && codePoint <= 0xDFFF) || codePoint > 0x10FFFF)
        return 0;
    return length;
}

} // namespace

bool Utf8Repair::repair(QByteArray& bytes)
{
    const auto* data = reinterpret_cast<const unsigned char*>(bytes.constData());
    const qsizetype size = bytes.size();
    QByteArray mended;
    bool changed = false;
    for (qsizetype i = 0; i < size;) {
        const qsizetype length = validSequence(data, size, i);
        if (length > 0) {
            if (changed)
                mended.append(bytes.constData() + i, length);
            i += length;
            continue;
        }
        if (!changed) {
            mended.reserve(size + 16);
            mended.append(bytes.constData(), i);
            changed = true;
        }
        // The Latin-1 character of the byte, in UTF-8.
        mended.append(char(0xC0 | (data[i] >> 6)));
        mended.append(char(0x80 | (data[i] & 0x3F)));
        ++i;
    }
    if (changed)
        bytes = mended;
    return changed;
}

bool Utf8Repair::declaresOtherEncoding(const QByteArray& document)
{
    // A byte order mark of UTF-16 or UTF-32 says so as well as a declaration does.
    if (document.startsWith("\xFF\xFE") || document.startsWith("\xFE\xFF")
        || document.startsWith(QByteArray("\0\0", 2)))
        return true;
    static const QRegularExpression declaration(
        QStringLiteral("^\\s*<\\?xml[^>]*encoding\\s*=\\s*[\"']([A-Za-z0-9._-]+)[\"']"));
    const QRegularExpressionMatch match = declaration.match(QString::fromLatin1(document.left(200)));
    if (!match.hasMatch())
        return false;
    const QString encoding = match.captured(1).toLower();
    return encoding != QLatin1String("utf-8") && encoding != QLatin1String("utf8");
}

} // namespace Tarnwick
