// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "DocumentFile.h"
#include "IXmlContentHandler.h"
#include "MaintenanceView.h"
#include "MaintenanceWindow.h"

#include <QList>
#include <QSet>
#include <QTimer>

#include <functional>

namespace Tarnwick {

// The maintenance windows the user declared, kept in a file of their own beside the lists and
// saved at each change. Lives on the GUI thread; wakes at the next moment a window begins or
// ends, so that whoever shows maintenance, and the announcer, hear it.
class MaintenanceList : public MaintenanceView, private IXmlContentHandler
{
    Q_OBJECT

public:
    static constexpr const char* DefaultFileName = "Maintenance.xml";
    using Clock = std::function<QDateTime()>;

    explicit MaintenanceList(QObject* parent = nullptr);

    // Reads the file and saves to it from now on; a missing file is an empty list. An entry
    // that cannot be used is reported and applies to nothing, but stays in the file as it was.
    void load(const QString& fileName, const DocumentFile::Reporter& report = {});
    // What "now" is from here on (tests); the system clock by default. The list looks at once,
    // as the time may have jumped.
    void setClock(Clock clock);

    // Returns the window's id (a new one when it has none), or empty when the window is refused:
    // it has a problem(), or its id is taken. A once window that is over is dropped at once, as
    // every such window is when it ends.
    QString add(MaintenanceWindow window);
    // False when there is no such window.
    bool remove(const QString& id);
    // In the order they were added.
    QList<MaintenanceWindow> windows() const { return m_windows; }

    bool inMaintenance(const QString& ip) const override;
    std::optional<QDateTime> maintenanceEnds(const QString& ip) const override;

signals:
    // The user added a window, or removed one (not one over and dropped at its end).
    void windowAdded(const Tarnwick::MaintenanceWindow& window);
    void windowRemoved(const Tarnwick::MaintenanceWindow& window);

private:
    bool startElement(const QString& qName, const QXmlStreamAttributes& attributes) override;
    bool endElement(const QString&) override { return true; }
    bool characters(const QString&) override { return true; }

    // The window an entry of the file describes; its problem when it cannot be used.
    static MaintenanceWindow fromAttributes(const QXmlStreamAttributes& attributes, QString& problem);
    void save();
    // Drops once windows that are over, tells whether a window began or ended since the last
    // look, and sets the timer for the next change.
    void look(bool changedAnyway);
    QSet<QString> coveringNow(const QDateTime& now) const;

    Clock m_now;
    DocumentFile m_file;
    DocumentFile::Reporter m_report;
    QList<MaintenanceWindow> m_windows;
    // Entries of the file that could not be used, written back as they were read.
    QList<QXmlStreamAttributes> m_unusable;
    // Windows read without an id, given one: the file is saved with it at once.
    bool m_idsGiven = false;
    // The windows that covered the last look, by id.
    QSet<QString> m_covering;
    // Also started by a question that finds a window begun since the last look (the timer was
    // late, or the clock jumped), so that whoever saw it begin hears it end.
    mutable QTimer m_timer;
};

} // namespace Tarnwick
