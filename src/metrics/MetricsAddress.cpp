// SPDX-License-Identifier: GPL-3.0-or-later
#include "MetricsAddress.h"

#include "data/PhraseBook.h"

#include <arpa/inet.h>

namespace Tarnwick {

namespace {

// The address in its usual spelling, or nothing when the text is no literal of that family.
QString literal(int family, const QString& text)
{
    unsigned char bytes[16];
    char spelled[INET6_ADDRSTRLEN];
    if (::inet_pton(family, text.toLatin1().constData(), bytes) != 1
        || !::inet_ntop(family, bytes, spelled, sizeof spelled))
        return {};
    return QString::fromLatin1(spelled);
}

MetricsAddress refused(const QString& text, const char* why, const QString& served)
{
    return {QString(), PhraseBook::english(PhraseBook::NotAnAddressToServe, {text, served, QString::fromLatin1(why)})};
}

} // namespace

MetricsAddress MetricsAddress::parse(const QString& text, const QString& served)
{
    const QString trimmed = text.trimmed();
    if (trimmed.isEmpty())
        return {};
    const qsizetype colon = trimmed.lastIndexOf(QLatin1Char(':'));
    const QString host = colon < 0 ? QString() : trimmed.left(colon);
    bool ok = false;
    const uint port = trimmed.mid(colon + 1).toUInt(&ok);
    if (!ok || port < 1 || port > 65535)
        return refused(trimmed, QT_TRANSLATE_NOOP("Phrases", "the port must be a number from 1 to 65535"), served);
    if (host.isEmpty())
        return {QStringLiteral("127.0.0.1:%1").arg(port), QString()};
    if (host.startsWith(QLatin1Char('[')) && host.endsWith(QLatin1Char(']'))) {
        const QString v6 = literal(AF_INET6, host.mid(1, host.size() - 2));
        if (v6.isEmpty())
            return refused(trimmed, QT_TRANSLATE_NOOP("Phrases", "only IPv6 addresses go in brackets"), served);
        return {QStringLiteral("[%1]:%2").arg(v6).arg(port), QString()};
    }
    const QString v4 = literal(AF_INET, host);
    if (!v4.isEmpty())
        return {QStringLiteral("%1:%2").arg(v4).arg(port), QString()};
    if (!literal(AF_INET6, host).isEmpty())
        return refused(trimmed, QT_TRANSLATE_NOOP("Phrases", "an IPv6 address goes in brackets, as in [::1]:9716"),
                       served);
    return refused(trimmed,
                   QT_TRANSLATE_NOOP("Phrases", "give an IPv4 address or an IPv6 address in brackets, not a name"),
                   served);
}

} // namespace Tarnwick
