// SPDX-License-Identifier: GPL-3.0-or-later
#include "DeviceCheck.h"

#include "PhraseBook.h"

namespace Tarnwick {

namespace {
const QString TcpPrefix = QStringLiteral("tcp:");
const QString ArpText = QStringLiteral("arp");
const QString EchoWord = QStringLiteral("echo");
} // namespace

QString DeviceCheck::attribute() const
{
    switch (kind) {
    case TcpPort:
        return TcpPrefix + QString::number(port);
    case Arp:
        return ArpText;
    case Unreadable:
        return written;
    case Echo:
        break;
    }
    return {};
}

DeviceCheck DeviceCheck::fromAttribute(QStringView text)
{
    const QStringView trimmed = text.trimmed();
    if (trimmed.isEmpty())
        return {};
    if (trimmed.compare(ArpText, Qt::CaseInsensitive) == 0)
        return arp();
    if (trimmed.startsWith(TcpPrefix, Qt::CaseInsensitive)) {
        bool ok = false;
        const uint port = trimmed.mid(TcpPrefix.size()).toUInt(&ok);
        if (ok && port >= 1 && port <= 65535)
            return tcp(std::uint16_t(port));
    }
    return {Unreadable, 0, text.toString()};
}

QString DeviceCheck::word() const
{
    return kind == Echo ? EchoWord : attribute();
}

DeviceCheck DeviceCheck::fromWord(QStringView text)
{
    if (text.trimmed().compare(EchoWord, Qt::CaseInsensitive) == 0)
        return {};
    // Nothing is no echo here: an empty word is text that does not read.
    if (text.trimmed().isEmpty())
        return {Unreadable, 0, text.toString()};
    return fromAttribute(text);
}

QString DeviceCheck::shortText() const
{
    switch (kind) {
    case TcpPort:
        return QStringLiteral("TCP %1").arg(port);
    case Arp:
    case Echo:
        break;
    case Unreadable:
        return PhraseBook::english(PhraseBook::NamedCheck, {written});
    }
    return text();
}

QString DeviceCheck::text() const
{
    switch (kind) {
    case TcpPort:
        return QStringLiteral("TCP port %1").arg(port);
    case Arp:
        return QStringLiteral("ARP");
    case Unreadable:
        return PhraseBook::english(PhraseBook::UnreadableCheck, {written});
    case Echo:
        break;
    }
    return QStringLiteral("ICMP echo");
}

QString DeviceCheck::problemWith(const QString& probedAddress) const
{
    if (kind == Arp && probedAddress.contains(QLatin1Char(':')))
        return QStringLiteral(QT_TRANSLATE_NOOP("Phrases", "ARP is for IPv4 addresses only."));
    return {};
}

} // namespace Tarnwick
