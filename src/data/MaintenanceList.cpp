// SPDX-License-Identifier: GPL-3.0-or-later
#include "MaintenanceList.h"

#include <QUuid>
#include <QXmlStreamWriter>

#include <algorithm>

namespace Tarnwick {

namespace {

const QString Root = QStringLiteral("Maintenance");
const QString WindowElement = QStringLiteral("Window");
const QString IdAttribute = QStringLiteral("Id");
const QString AddressAttribute = QStringLiteral("Address");
const QString RepeatAttribute = QStringLiteral("Repeat");
const QString FromAttribute = QStringLiteral("From");
const QString ToAttribute = QStringLiteral("To");
const QString DaysAttribute = QStringLiteral("Days");
const QString StartAttribute = QStringLiteral("Start");
const QString EndAttribute = QStringLiteral("End");
const QString Once = QStringLiteral("Once");
const QString Weekly = QStringLiteral("Weekly");
const QString TimeFormat = QStringLiteral("HH:mm");

// Each window is at most a week long, so a few steps reach the end of any chain of windows
// that follow one another; a chain longer than that is told as ending at its last step.
constexpr int MostChainedWindows = 64;

} // namespace

MaintenanceList::MaintenanceList(QObject* parent)
    : MaintenanceView(parent)
    , m_now([] { return QDateTime::currentDateTimeUtc(); })
{
    m_timer.setSingleShot(true);
    connect(&m_timer, &QTimer::timeout, this, [this] { look(false); });
}

void MaintenanceList::load(const QString& fileName, const DocumentFile::Reporter& report)
{
    m_file = DocumentFile(fileName, Root, DocumentFile::PartialReadPolicy::KeepCopy, report);
    m_report = report;
    m_windows.clear();
    m_unusable.clear();
    m_idsGiven = false;
    m_file.read(*this);
    if (std::exchange(m_idsGiven, false))
        save();
    m_covering = coveringNow(m_now());
    look(true);
}

void MaintenanceList::setClock(Clock clock)
{
    m_now = std::move(clock);
    look(false);
}

MaintenanceWindow MaintenanceList::fromAttributes(const QXmlStreamAttributes& attributes, QString& problem)
{
    MaintenanceWindow window;
    window.id = attributes.value(IdAttribute).toString().trimmed();
    window.ip = attributes.value(AddressAttribute).toString().trimmed();
    const QStringView repeat = attributes.value(RepeatAttribute);
    if (repeat == Once) {
        window.from = QDateTime::fromString(attributes.value(FromAttribute).toString(), Qt::ISODate);
        window.to = QDateTime::fromString(attributes.value(ToAttribute).toString(), Qt::ISODate);
    } else if (repeat == Weekly) {
        window.repeat = MaintenanceWindow::Repeat::Weekly;
        const QStringList days = attributes.value(DaysAttribute).toString().split(QLatin1Char(' '), Qt::SkipEmptyParts);
        for (const QString& name : days) {
            const int day = MaintenanceWindow::dayOfWeek(name, Qt::CaseSensitive);
            if (day == 0) {
                problem = QStringLiteral("\"%1\" is no day of the week").arg(name);
                return window;
            }
            window.days |= 1 << (day - 1);
        }
        window.start = QTime::fromString(attributes.value(StartAttribute).toString(), TimeFormat);
        window.end = QTime::fromString(attributes.value(EndAttribute).toString(), TimeFormat);
    } else {
        problem = QStringLiteral("it repeats \"%1\", neither \"%2\" nor \"%3\"").arg(repeat.toString(), Once, Weekly);
        return window;
    }
    problem = window.problem();
    return window;
}

bool MaintenanceList::startElement(const QString& qName, const QXmlStreamAttributes& attributes)
{
    if (qName != WindowElement)
        return true;
    QString problem;
    MaintenanceWindow window = fromAttributes(attributes, problem);
    const bool idTaken = std::any_of(m_windows.cbegin(), m_windows.cend(),
                                     [&](const MaintenanceWindow& known) { return known.id == window.id; });
    if (problem.isEmpty() && !window.id.isEmpty() && idTaken)
        problem = QStringLiteral("its id is that of another window");
    if (!problem.isEmpty()) {
        // Kept in the file as written, so that a mistyped entry can be put right by hand.
        m_unusable << attributes;
        if (m_report)
            m_report(QStringLiteral("%1: the maintenance window %2 cannot be used (%3); it applies to nothing.")
                         .arg(m_file.fileName(), window.id.isEmpty() ? QStringLiteral("without an id") : window.id,
                              problem));
        return true;
    }
    // A window that is over has nothing more to do.
    if (window.repeat == MaintenanceWindow::Repeat::Once && window.to <= m_now())
        return true;
    if (window.id.isEmpty()) {
        window.id = QUuid::createUuid().toString(QUuid::WithoutBraces);
        m_idsGiven = true;
    }
    m_windows << window;
    return true;
}

QString MaintenanceList::add(MaintenanceWindow window)
{
    if (!window.problem().isEmpty())
        return {};
    if (window.id.isEmpty())
        window.id = QUuid::createUuid().toString(QUuid::WithoutBraces);
    else if (std::any_of(m_windows.cbegin(), m_windows.cend(),
                         [&](const MaintenanceWindow& known) { return known.id == window.id; }))
        return {};
    window.ip = window.ip.trimmed();
    // Only what the kind of window uses is kept, as the file keeps it.
    if (window.repeat == MaintenanceWindow::Repeat::Once) {
        window.days = 0;
        window.start = window.end = QTime();
    } else {
        window.from = window.to = QDateTime();
        window.start = QTime(window.start.hour(), window.start.minute());
        window.end = QTime(window.end.hour(), window.end.minute());
        // Cut to the minute, the start and the end may meet.
        if (!window.problem().isEmpty())
            return {};
    }
    m_windows << window;
    save();
    look(true);
    emit windowAdded(window);
    return window.id;
}

bool MaintenanceList::remove(const QString& id)
{
    const auto removed = std::find_if(m_windows.cbegin(), m_windows.cend(),
                                      [&](const MaintenanceWindow& window) { return window.id == id; });
    if (removed == m_windows.cend())
        return false;
    const MaintenanceWindow window = *removed;
    m_windows.erase(removed);
    save();
    look(true);
    emit windowRemoved(window);
    return true;
}

bool MaintenanceList::inMaintenance(const QString& ip) const
{
    const QDateTime now = m_now();
    const auto covering = std::find_if(m_windows.cbegin(), m_windows.cend(), [&](const MaintenanceWindow& window) {
        return (window.ip.isEmpty() || window.ip == ip) && window.covers(now);
    });
    if (covering == m_windows.cend())
        return false;
    if (!m_covering.contains(covering->id))
        m_timer.start(0);
    return true;
}

std::optional<QDateTime> MaintenanceList::maintenanceEnds(const QString& ip) const
{
    std::optional<QDateTime> end;
    QDateTime at = m_now();
    for (int step = 0; step < MostChainedWindows; ++step) {
        // The latest end of the windows that cover this moment; a window that begins just as
        // they end carries the maintenance on.
        std::optional<QDateTime> latest;
        for (const MaintenanceWindow& window : m_windows) {
            if ((!window.ip.isEmpty() && window.ip != ip) || !window.covers(at))
                continue;
            const QDateTime ends = window.nextChangeAfter(at);
            if (!latest || ends > *latest)
                latest = ends;
        }
        if (!latest)
            break;
        end = latest;
        at = *latest;
    }
    return end;
}

void MaintenanceList::save()
{
    if (m_file.fileName().isEmpty())
        return;
    m_file.write(
        [&](QXmlStreamWriter& xml) {
            xml.writeStartElement(Root);
            for (const MaintenanceWindow& window : std::as_const(m_windows)) {
                xml.writeEmptyElement(WindowElement);
                xml.writeAttribute(IdAttribute, window.id);
                if (!window.ip.isEmpty())
                    xml.writeAttribute(AddressAttribute, window.ip);
                if (window.repeat == MaintenanceWindow::Repeat::Once) {
                    xml.writeAttribute(RepeatAttribute, Once);
                    xml.writeAttribute(FromAttribute, window.from.toUTC().toString(Qt::ISODate));
                    xml.writeAttribute(ToAttribute, window.to.toUTC().toString(Qt::ISODate));
                    continue;
                }
                xml.writeAttribute(RepeatAttribute, Weekly);
                QStringList days;
                for (int day = 1; day <= 7; ++day) {
                    if (window.days & (1 << (day - 1)))
                        days << MaintenanceWindow::dayName(day);
                }
                xml.writeAttribute(DaysAttribute, days.join(QLatin1Char(' ')));
                xml.writeAttribute(StartAttribute, window.start.toString(TimeFormat));
                xml.writeAttribute(EndAttribute, window.end.toString(TimeFormat));
            }
            for (const QXmlStreamAttributes& unusable : std::as_const(m_unusable)) {
                xml.writeEmptyElement(WindowElement);
                xml.writeAttributes(unusable);
            }
            xml.writeEndElement();
        },
        true);
}

QSet<QString> MaintenanceList::coveringNow(const QDateTime& now) const
{
    QSet<QString> covering;
    for (const MaintenanceWindow& window : m_windows) {
        if (window.covers(now))
            covering.insert(window.id);
    }
    return covering;
}

void MaintenanceList::look(bool changedAnyway)
{
    const QDateTime now = m_now();
    const bool over = m_windows.removeIf([&](const MaintenanceWindow& window) {
        return window.repeat == MaintenanceWindow::Repeat::Once && window.to <= now;
    });
    if (over)
        save();
    QSet<QString> covering = coveringNow(now);
    const bool tell = changedAnyway || over || covering != m_covering;
    m_covering = std::move(covering);

    std::optional<QDateTime> next;
    for (const MaintenanceWindow& window : std::as_const(m_windows)) {
        const QDateTime change = window.nextChangeAfter(now);
        if (change.isValid() && (!next || change < *next))
            next = change;
    }
    if (next) {
        // A look at least once a minute: the timer counts no time the computer slept, nor a
        // change of its clock.
        const qint64 wait = std::clamp<qint64>(now.msecsTo(*next) + 1, 0, 60 * 1000);
        m_timer.start(std::chrono::milliseconds(wait));
    } else {
        m_timer.stop();
    }
    if (tell)
        emit changed();
}

} // namespace Tarnwick
