// SPDX-License-Identifier: GPL-3.0-or-later
#include "MuteList.h"

#include <QXmlStreamWriter>

#include <algorithm>

namespace Tarnwick {

namespace {

const QString Root = QStringLiteral("Mutes");
const QString DeviceElement = QStringLiteral("Device");
const QString AllElement = QStringLiteral("AllDevices");
const QString AddressAttribute = QStringLiteral("Address");
const QString UntilAttribute = QStringLiteral("Until");

} // namespace

MuteList::MuteList(QObject* parent)
    : QObject(parent)
    , m_now([] { return QDateTime::currentDateTimeUtc(); })
{
    m_endTimer.setSingleShot(true);
    connect(&m_endTimer, &QTimer::timeout, this, [this] {
        const bool ended = std::any_of(m_devices.cbegin(), m_devices.cend(),
                                       [this](const QDateTime& until) { return !active(until); })
            || (m_all && !active(*m_all));
        if (ended)
            changedNow();
        else
            watchForEnds();
    });
}

void MuteList::load(const QString& fileName, const DocumentFile::Reporter& report)
{
    m_file = DocumentFile(fileName, Root, DocumentFile::PartialReadPolicy::KeepCopy, report);
    m_report = report;
    m_devices.clear();
    m_all.reset();
    m_file.read(*this);
    watchForEnds();
}

void MuteList::setClock(Clock clock)
{
    m_now = std::move(clock);
}

bool MuteList::startElement(const QString& qName, const QXmlStreamAttributes& attributes)
{
    // A time that does not read, or one that is over, mutes nothing; no time mutes until unmuted.
    const QStringView untilText = attributes.value(UntilAttribute);
    const QDateTime until = QDateTime::fromString(untilText.toString(), Qt::ISODate);
    if ((qName == DeviceElement || qName == AllElement) && !untilText.isEmpty() && !until.isValid()) {
        if (m_report)
            m_report(QStringLiteral("%1: the mute of %2 ends at \"%3\", which cannot be read as a time; it mutes "
                                    "nothing.")
                         .arg(m_file.fileName(),
                              qName == AllElement ? QStringLiteral("all devices")
                                                  : attributes.value(AddressAttribute).toString().trimmed(),
                              untilText.toString()));
        return true;
    }
    if (qName == DeviceElement) {
        const QString ip = attributes.value(AddressAttribute).toString().trimmed();
        if (!ip.isEmpty() && (untilText.isEmpty() || active(until)))
            m_devices.insert(ip, untilText.isEmpty() ? QDateTime() : until);
    } else if (qName == AllElement && active(until)) {
        m_all = until;
    }
    return true;
}

bool MuteList::active(const QDateTime& until) const
{
    return !until.isValid() || until > m_now();
}

void MuteList::mute(const QString& ip, const QDateTime& until)
{
    m_devices.insert(ip, until);
    changedNow();
    emit muted(ip, until);
}

void MuteList::unmute(const QString& ip)
{
    if (!m_devices.remove(ip))
        return;
    changedNow();
    emit unmuted(ip);
}

void MuteList::muteAll(const QDateTime& until)
{
    m_all = until;
    changedNow();
    emit muted(QString(), until);
}

void MuteList::unmuteAll()
{
    if (!std::exchange(m_all, std::nullopt))
        return;
    changedNow();
    emit unmuted(QString());
}

bool MuteList::isMuted(const QString& ip) const
{
    return allMutedUntil() || mutedUntil(ip);
}

std::optional<QDateTime> MuteList::mutedUntil(const QString& ip) const
{
    const auto found = m_devices.constFind(ip);
    if (found == m_devices.cend() || !active(*found))
        return std::nullopt;
    return *found;
}

std::optional<QDateTime> MuteList::allMutedUntil() const
{
    if (!m_all || !m_all->isValid() || !active(*m_all))
        return std::nullopt;
    return m_all;
}

std::optional<QDateTime> MuteList::heardAgainAt(const QString& ip) const
{
    const std::optional<QDateTime> own = mutedUntil(ip);
    const std::optional<QDateTime> all = allMutedUntil();
    if (!own || !all)
        return own ? own : all;
    if (!own->isValid())
        return own;
    return std::max(*own, *all);
}

void MuteList::changedNow()
{
    // Mutes that are over are left out of the file.
    m_devices.removeIf([this](QHash<QString, QDateTime>::iterator device) { return !active(device.value()); });
    if (m_all && !active(*m_all))
        m_all.reset();
    if (!m_file.fileName().isEmpty()) {
        QStringList addresses = m_devices.keys();
        std::sort(addresses.begin(), addresses.end());
        m_file.write(
            [&](QXmlStreamWriter& xml) {
                xml.writeStartElement(Root);
                if (m_all) {
                    xml.writeEmptyElement(AllElement);
                    xml.writeAttribute(UntilAttribute, m_all->toUTC().toString(Qt::ISODate));
                }
                for (const QString& ip : std::as_const(addresses)) {
                    xml.writeEmptyElement(DeviceElement);
                    xml.writeAttribute(AddressAttribute, ip);
                    if (const QDateTime until = m_devices.value(ip); until.isValid())
                        xml.writeAttribute(UntilAttribute, until.toUTC().toString(Qt::ISODate));
                }
                xml.writeEndElement();
            },
            true);
    }
    watchForEnds();
    emit changed();
}

void MuteList::watchForEnds()
{
    std::optional<QDateTime> next;
    if (m_all && m_all->isValid())
        next = m_all;
    for (const QDateTime& until : std::as_const(m_devices)) {
        if (until.isValid() && (!next || until < *next))
            next = until;
    }
    if (!next) {
        m_endTimer.stop();
        return;
    }
    // A look at least once a minute: the timer counts no time the computer slept, nor a change
    // of its clock.
    const qint64 wait = std::clamp<qint64>(m_now().msecsTo(*next) + 1, 0, 60 * 1000);
    m_endTimer.start(std::chrono::milliseconds(wait));
}

} // namespace Tarnwick
