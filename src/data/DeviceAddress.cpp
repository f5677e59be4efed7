// SPDX-License-Identifier: GPL-3.0-or-later
#include "DeviceAddress.h"

#include "PhraseBook.h"

#include <QStringList>

#include <arpa/inet.h>
#include <net/if.h>

#include <algorithm>

namespace Tarnwick {

namespace {

bool onlyDigitsAndDots(const QString& text)
{
    return std::all_of(text.begin(), text.end(), [](QChar c) { return c.isDigit() || c == QLatin1Char('.'); });
}

QString dottedQuadProblem(const QString& text)
{
    // The monitor asks this before every probe: the parts are looked at in place, not split.
    qsizetype parts = 0;
    bool wellShaped = true;
    for (const QStringView part : QStringView(text).tokenize(QLatin1Char('.'))) {
        ++parts;
        if (part.size() <= 4 && part.toInt() > 255)
            return PhraseBook::english(PhraseBook::AboveIpv4Range, {text, part.toString()});
        wellShaped = wellShaped && !part.isEmpty() && part.size() <= 3;
    }
    if (!wellShaped || parts != 4)
        return PhraseBook::english(PhraseBook::NotIpv4, {text});
    if (text == QLatin1String("0.0.0.0"))
        return QStringLiteral(
            QT_TRANSLATE_NOOP("Phrases", "0.0.0.0 stands for no device at all; type the device's own address."));
    return QString();
}

// Whether the interface after a "%" is one of this machine's, by name or by number.
bool interfaceHere(const QString& interface)
{
    bool isNumber = false;
    const uint index = interface.toUInt(&isNumber);
    char name[IF_NAMESIZE] = {};
    return isNumber ? ::if_indextoname(index, name) != nullptr
                    : ::if_nametoindex(interface.toLatin1().constData()) != 0;
}

// IPv6 text, with the interface after a "%" where the address is link-local: the same address
// is on every link, so the interface tells which one.
QString ipv6Problem(const QString& text)
{
    const qsizetype percent = text.indexOf(QLatin1Char('%'));
    const QString address = percent < 0 ? text : text.left(percent);
    const QString interface = percent < 0 ? QString() : text.mid(percent + 1);
    in6_addr bytes{};
    if (::inet_pton(AF_INET6, address.toLatin1().constData(), &bytes) != 1)
        return PhraseBook::english(PhraseBook::NotIpv6, {text});
    const bool linkLocal = bytes.s6_addr[0] == 0xfe && (bytes.s6_addr[1] & 0xc0) == 0x80;
    if (percent >= 0
        && (interface.isEmpty() || interface.size() >= IF_NAMESIZE
            || std::any_of(interface.begin(), interface.end(),
                           [](QChar c) { return c.isSpace() || c == QLatin1Char('/') || c.unicode() > 127; })))
        return PhraseBook::english(PhraseBook::NoInterfaceNamed, {text});
    if (percent >= 0 && !interfaceHere(interface))
        return PhraseBook::english(PhraseBook::NoSuchInterface, {text, interface});
    if (linkLocal && percent < 0)
        return PhraseBook::english(PhraseBook::LinkLocalWithoutInterface, {text});
    if (text == QLatin1String("::"))
        return QStringLiteral(
            QT_TRANSLATE_NOOP("Phrases", ":: stands for no device at all; type the device's own address."));
    return QString();
}

// RFC 1123 names, leniently: labels of letters, digits, hyphens and underscores, none empty,
// none longer than 63 characters or with a hyphen at either end; one dot may end the name.
bool isHostName(QString text)
{
    if (text.endsWith(QLatin1Char('.')))
        text.chop(1);
    if (text.isEmpty() || text.size() > 253)
        return false;
    const QStringList labels = text.split(QLatin1Char('.'));
    return std::all_of(labels.begin(), labels.end(), [](const QString& label) {
        return !label.isEmpty() && label.size() <= 63 && !label.startsWith(QLatin1Char('-'))
            && !label.endsWith(QLatin1Char('-')) && std::all_of(label.begin(), label.end(), [](QChar c) {
                   return c.isLetterOrNumber() || c == QLatin1Char('-') || c == QLatin1Char('_');
               });
    });
}

} // namespace

QString DeviceAddress::normalised(const QString& text)
{
    return text.trimmed();
}

QString DeviceAddress::problem(const QString& text)
{
    if (text.isEmpty())
        return QStringLiteral(QT_TRANSLATE_NOOP("Phrases",
                                                "Type the device's address: an IPv4 address such as 192.168.1.20, an "
                                                "IPv6 address such as fd00::20, or a host name."));
    if (text.contains(QLatin1Char(':')))
        return ipv6Problem(text);
    if (onlyDigitsAndDots(text))
        return dottedQuadProblem(text);
    if (!isHostName(text))
        return PhraseBook::english(PhraseBook::NotHostName, {text});
    return QString();
}

QString DeviceAddress::probed(const QString& text)
{
    in6_addr bytes{};
    if (!text.contains(QLatin1Char(':')) || ::inet_pton(AF_INET6, text.toLatin1().constData(), &bytes) != 1
        || !IN6_IS_ADDR_V4MAPPED(&bytes))
        return text;
    char dotted[INET_ADDRSTRLEN] = {};
    ::inet_ntop(AF_INET, &bytes.s6_addr[12], dotted, sizeof dotted);
    return QString::fromLatin1(dotted);
}

qint64 DeviceAddress::ipv4Number(const QString& text)
{
    const QStringList parts = text.split(QLatin1Char('.'));
    if (parts.size() != 4)
        return -1;
    qint64 number = 0;
    for (const QString& part : parts) {
        bool ok = false;
        const uint octet = part.toUInt(&ok, 10);
        if (!ok || octet > 255 || part.isEmpty() || part.size() > 3 || !part.at(0).isDigit())
            return -1;
        number = number * 256 + octet;
    }
    return number;
}

QByteArray DeviceAddress::sortKey(const QString& text)
{
    if (const qint64 number = ipv4Number(probed(text)); number >= 0) {
        QByteArray key(5, '\4');
        for (int i = 4; i >= 1; --i)
            key[i] = char((number >> (8 * (4 - i))) & 0xff);
        return key;
    }
    if (!text.contains(QLatin1Char(':')))
        return {};
    in6_addr address{};
    const QByteArray bare = text.section(QLatin1Char('%'), 0, 0).toLatin1();
    if (inet_pton(AF_INET6, bare.constData(), &address) != 1)
        return {};
    return QByteArray(1, '\6') + QByteArray(reinterpret_cast<const char*>(address.s6_addr), sizeof address.s6_addr);
}

} // namespace Tarnwick
