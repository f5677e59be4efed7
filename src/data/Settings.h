// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "Appearance.h"
#include "CopyableAtomic.h"
#include "DocumentFile.h"
#include "FileReload.h"
#include "SettingsNotifier.h"

#include <QRect>
#include <QString>
#include <QStringList>
#include <QtGlobal>

#include <algorithm>
#include <limits>
#include <memory>
#include <type_traits>
#include <utility>

class QXmlStreamWriter;

namespace Tarnwick {

class Settings;

// One setting kept as the text of an element of "Settings.xml", with its default, and for a
// number the range it is held to when read: a file edited by hand or by another program may
// hold anything, and the program reckons with the values the settings dialog offers.
template <typename T>
struct SettingsElement
{
    const char* name;
    T Settings::*field;
    T defaultValue;
    int minimum = std::numeric_limits<int>::min();
    int maximum = std::numeric_limits<int>::max();

    // Holds a number's field in the range; other fields have none.
    void keepInRange(Settings& settings) const;
};

// The window's place, kept in the attributes of one element.
struct SettingsWindowElement
{
    const char* name;
    QRect Settings::*geometry;
    bool Settings::*maximized;
    QRect defaultGeometry;
};

// Whether a field of Settings::forEachStoredField is the window's element (the others are
// simple elements with a text each).
template <typename Element>
inline constexpr bool isWindowElement = std::is_same_v<std::decay_t<Element>, SettingsWindowElement>;

// The user's settings, one process-wide record. Worker threads read some fields while the GUI
// thread may write them, so those are atomic; the record stays copyable so that a dialog can
// edit a copy of the whole of it.
//
// Fields are read directly. A write that others should hear goes through set(), which tells
// the record's listeners when the value changes; onChange() subscribes to one field. Loading
// announces nothing: it runs before anyone listens.
class Settings
{
public:
    // A stored field's place in forEachStoredField; the window's geometry and its maximized
    // state share the place of their element.
    using Field = int;

    static Settings& instance();

    // Where the main window goes until the user has moved or sized it.
    static inline const QRect DefaultWindowGeometry{0, 0, 600, 500};

    // The largest values the settings dialog offers.
    static constexpr int MaxMilliseconds = 600000;
    static constexpr int MaxProbePeriodSeconds = 3600;
    static constexpr int MaxRepliesInARow = 1000;
    static constexpr int MaxHistoryDays = 3650;
    static constexpr int MaxHistoryMegabytes = 1048576;
    static constexpr int MaxSlowResults = 1000;

    // Failed saves are told to reporter.
    bool load(const QString& fileName, DocumentFile::Reporter reporter = {});
    // Reads the file again and puts in each field whose value changed, so that whoever follows
    // it hears the change; a file that cannot be read whole changes nothing.
    FileReload reload(DocumentFile::Reporter reporter = {});
    bool save();
    // Whether a save would write anything other than what was last read or saved.
    bool hasUnsavedChanges() const;
    // The file the record was loaded from, with what the program knows of it.
    DocumentFile& file() const;

    // Every field kept in "Settings.xml", in the file's order, with its default. Loading,
    // saving and the tests all walk this list: a new setting is a member below and one line
    // at the end of the list, which puts its element after the existing ones.
    template <typename Visitor>
    static void forEachStoredField(Visitor&& visit);

    // The field a member of the record is stored as.
    template <typename T>
    static Field fieldOf(T Settings::*member);

    // Gives the member a new value and, when that changes it, tells this record's listeners.
    template <typename T, typename V>
    void set(T Settings::*member, const V& value);
    // Sets every stored field in which edited differs from original, so that only the fields
    // edited in a copy are heard (and fields changed meanwhile elsewhere are left alone).
    // Returns the element names of the fields set.
    QStringList setEdited(const Settings& original, const Settings& edited);
    // Holds every stored number in the range it is read back in, so that what is kept is what is used.
    void keepInRanges();

    // Calls slot() in receiver's thread whenever the member takes a new value through set().
    template <typename T, typename Slot>
    QMetaObject::Connection onChange(T Settings::*member, const QObject* receiver, Slot slot) const;
    // Tells of every change of this record, with the field that changed.
    SettingsNotifier& notifier() const { return *m_listeners.notifier; }

    bool operator==(const Settings& other) const = default;

    QString fileName;
    bool siodsc = false;
    bool playSounds = false;
    bool chatStartServer = false;
    quint16 port = 0;
    QRect windowGeometry;
    bool windowMaximized = false;
    QString skin;
    int skinType = 0;
    CopyableAtomic<int> pingTimeout{0};
    CopyableAtomic<int> pingTimeGap{0};
    bool logStateChange = false;
    // Seconds between two probes of each device, all devices probed side by side; 0 probes
    // them one at a time, the gap before each. Read by the monitor thread.
    CopyableAtomic<int> probePeriod{0};
    // How many missed replies in a row make a device disconnected, and how many replies in a
    // row make it connected again (1 and 1: every result decides). Read by the monitor thread.
    CopyableAtomic<int> disconnectAfter{1};
    CopyableAtomic<int> connectAfter{1};
    // How many days of probe results the history keeps, and the largest its file grows, in
    // megabytes (1024 = 1 GiB); both are read as the history opens.
    CopyableAtomic<int> historyDays{30};
    CopyableAtomic<int> historyMegabytes{1024};
    // Which columns of the device list the user has hidden, as their numbers ("6,8").
    QString hiddenColumns;
    // The device list's sort ("<column>,<a|d>", empty: as added) and its column widths.
    QString deviceListSort;
    QString columnWidths;
    // Whether the program starts with only its tray icon showing, and starts with the desktop
    // session (an autostart entry of the desktop).
    bool startHidden = false;
    bool autostart = false;
    // The map's zoom, in percent.
    int mapZoom = 100;
    // The device this computer reaches the network through (an address of the list; empty:
    // none). With it, the map's lines tell what is cut off behind a failed device.
    QString firstHop;
    // Where Prometheus metrics are served ("127.0.0.1:9716"; empty: nowhere). Read at start.
    QString metricsAddress;
    // Where alerts go besides the desktop: a command run for each ("Run on each alert"), a URL
    // they are posted to as JSON ("Post alerts to"), and Apprise URLs separated by spaces or new
    // lines ("Send alerts through Apprise"). Empty: not used.
    QString alertCommand;
    QString webhookUrl;
    QString appriseUrls;
    // A connected device is slow when, over its last slowResults results, the average round trip
    // of its replies exceeds slowAverageMs or the share of missed replies exceeds slowLossPercent
    // (0: that test is off). Devices may set their own (DeviceEntry).
    CopyableAtomic<int> slowAverageMs{0};
    CopyableAtomic<int> slowLossPercent{0};
    CopyableAtomic<int> slowResults{20};
    // Where the HTTP API is served, in the metrics address's forms ("127.0.0.1:9717"; empty:
    // nowhere).
    QString apiAddress;
    // How often the local networks are swept for devices that join them or answer from other
    // hardware, in seconds (0: never; a shorter time than MinNetworkWatchPeriod counts as that),
    // and which networks ("10.0.0.0/24 fd00::/64"; empty: the directly connected ones).
    CopyableAtomic<int> networkWatchPeriod{0};
    QString networkWatchPrefixes;
    // Which of the device list's columns that start hidden the user has shown ("10,11").
    QString shownColumns;
    // Whether the window is light or dark, or follows the desktop's preference.
    Appearance appearance = Appearance::FollowDesktop;
    // How often the way to every device is traced, in seconds (0: never; a shorter time than
    // MinPathWatchPeriod counts as that); a device's state change traces it too while on.
    CopyableAtomic<int> pathWatchPeriod{DefaultPathWatchPeriod};
    // Whether a changed path is told as a message too, not only in the log.
    bool announcePathChanges = false;
    // Whether the map draws the parents learnt from the paths, dotted.
    bool showLearntPaths = false;
    // The most requests the monitor sends a second when it probes each device once a period:
    // what a local network takes without its routers and firewalls counting it as a flood.
    // Raised where the network and its hosts take more, for lists that outgrow it.
    CopyableAtomic<int> mostProbesPerSecond{DefaultMostProbesPerSecond};
    static constexpr int DefaultPathWatchPeriod = 600;
    static constexpr int DefaultMostProbesPerSecond = 5000;
    static constexpr int LeastMostProbesPerSecond = 1000;
    static constexpr int MostMostProbesPerSecond = 1000000;
    static constexpr int MinPathWatchPeriod = 10;
    static constexpr int MinNetworkWatchPeriod = 10;
    static constexpr int MaxNetworkWatchPeriod = 7 * 24 * 3600;

private:
    // The listeners belong to the record they subscribed to: a copy starts with none of them,
    // and putting a copy's values into a record keeps that record's.
    struct Listeners
    {
        Listeners() = default;
        Listeners(const Listeners&) { }
        Listeners& operator=(const Listeners&) { return *this; }
        bool operator==(const Listeners&) const { return true; }

        std::unique_ptr<SettingsNotifier> notifier = std::make_unique<SettingsNotifier>();
    };

    void setDefaults();
    void writeDocument(QXmlStreamWriter& writer) const;

    Listeners m_listeners;
};

template <typename Visitor>
void Settings::forEachStoredField(Visitor&& visit)
{
    visit(SettingsElement<bool>{"SIODSC", &Settings::siodsc, false});
    visit(SettingsElement<bool>{"PSODSC", &Settings::playSounds, false});
    visit(SettingsElement<bool>{"ChatStartServer", &Settings::chatStartServer, false});
    visit(SettingsElement<quint16>{"Port", &Settings::port, 0});
    visit(SettingsElement<QString>{"Skin", &Settings::skin, QStringLiteral("Default")});
    visit(SettingsElement<int>{"SkinType", &Settings::skinType, 1});
    visit(SettingsElement<CopyableAtomic<int>>{"PingTimeout", &Settings::pingTimeout, 1000, 0, MaxMilliseconds});
    visit(SettingsElement<CopyableAtomic<int>>{"PingTimeGap", &Settings::pingTimeGap, 500, 0, MaxMilliseconds});
    visit(SettingsElement<bool>{"LogStateChange", &Settings::logStateChange, true});
    visit(
        SettingsWindowElement{"Window", &Settings::windowGeometry, &Settings::windowMaximized, DefaultWindowGeometry});
    visit(SettingsElement<CopyableAtomic<int>>{"ProbePeriod", &Settings::probePeriod, 0, 0, MaxProbePeriodSeconds});
    visit(SettingsElement<CopyableAtomic<int>>{"DisconnectAfter", &Settings::disconnectAfter, 1, 0, MaxRepliesInARow});
    visit(SettingsElement<CopyableAtomic<int>>{"ConnectAfter", &Settings::connectAfter, 1, 0, MaxRepliesInARow});
    visit(SettingsElement<CopyableAtomic<int>>{"HistoryDays", &Settings::historyDays, 30, 0, MaxHistoryDays});
    visit(SettingsElement<CopyableAtomic<int>>{"HistoryMegabytes", &Settings::historyMegabytes, 1024, 0,
                                               MaxHistoryMegabytes});
    visit(SettingsElement<QString>{"HiddenColumns", &Settings::hiddenColumns, QString()});
    visit(SettingsElement<QString>{"DeviceListSort", &Settings::deviceListSort, QString()});
    visit(SettingsElement<QString>{"ColumnWidths", &Settings::columnWidths, QString()});
    visit(SettingsElement<bool>{"StartHidden", &Settings::startHidden, false});
    visit(SettingsElement<bool>{"Autostart", &Settings::autostart, false});
    visit(SettingsElement<int>{"MapZoom", &Settings::mapZoom, 100});
    visit(SettingsElement<QString>{"FirstHop", &Settings::firstHop, QString()});
    visit(SettingsElement<QString>{"MetricsAddress", &Settings::metricsAddress, QString()});
    visit(SettingsElement<QString>{"AlertCommand", &Settings::alertCommand, QString()});
    visit(SettingsElement<QString>{"WebhookUrl", &Settings::webhookUrl, QString()});
    visit(SettingsElement<QString>{"AppriseUrls", &Settings::appriseUrls, QString()});
    visit(SettingsElement<CopyableAtomic<int>>{"SlowAverageMs", &Settings::slowAverageMs, 0, 0, MaxMilliseconds});
    visit(SettingsElement<CopyableAtomic<int>>{"SlowLossPercent", &Settings::slowLossPercent, 0, 0, 100});
    visit(SettingsElement<CopyableAtomic<int>>{"SlowResults", &Settings::slowResults, 20, 1, MaxSlowResults});
    visit(SettingsElement<QString>{"ApiAddress", &Settings::apiAddress, QString()});
    visit(SettingsElement<CopyableAtomic<int>>{"NetworkWatchPeriod", &Settings::networkWatchPeriod, 0, 0,
                                               MaxNetworkWatchPeriod});
    visit(SettingsElement<QString>{"NetworkWatchPrefixes", &Settings::networkWatchPrefixes, QString()});
    visit(SettingsElement<QString>{"ShownColumns", &Settings::shownColumns, QString()});
    visit(SettingsElement<Appearance>{"Appearance", &Settings::appearance, Appearance::FollowDesktop});
    visit(SettingsElement<CopyableAtomic<int>>{"PathWatchPeriod", &Settings::pathWatchPeriod, DefaultPathWatchPeriod, 0,
                                               MaxNetworkWatchPeriod});
    visit(SettingsElement<bool>{"AnnouncePathChanges", &Settings::announcePathChanges, false});
    visit(SettingsElement<bool>{"ShowLearntPaths", &Settings::showLearntPaths, false});
    visit(SettingsElement<CopyableAtomic<int>>{"MostProbesPerSecond", &Settings::mostProbesPerSecond,
                                               DefaultMostProbesPerSecond, LeastMostProbesPerSecond,
                                               MostMostProbesPerSecond});
}

template <typename T>
Settings::Field Settings::fieldOf(T Settings::*member)
{
    Field place = 0;
    Field found = -1;
    forEachStoredField([&](const auto& element) {
        if constexpr (isWindowElement<decltype(element)>) {
            if constexpr (std::is_same_v<T, QRect>)
                found = element.geometry == member ? place : found;
            else if constexpr (std::is_same_v<T, bool>)
                found = element.maximized == member ? place : found;
        } else if constexpr (std::is_same_v<decltype(element.field), T Settings::*>) {
            found = element.field == member ? place : found;
        }
        ++place;
    });
    Q_ASSERT_X(found >= 0, "Settings::fieldOf", "only the fields kept in the file announce their changes");
    return found;
}

template <typename T, typename V>
void Settings::set(T Settings::*member, const V& value)
{
    if (this->*member == T(value))
        return;
    this->*member = value;
    emit notifier().changed(fieldOf(member));
}

template <typename T>
void SettingsElement<T>::keepInRange(Settings& settings) const
{
    auto& value = settings.*field;
    if constexpr (std::is_same_v<T, CopyableAtomic<int>>)
        value = std::clamp(value.load(), minimum, maximum);
    else if constexpr (std::is_same_v<T, int>)
        value = std::clamp(value, minimum, maximum);
}

template <typename T, typename Slot>
QMetaObject::Connection Settings::onChange(T Settings::*member, const QObject* receiver, Slot slot) const
{
    const Field field = fieldOf(member);
    return QObject::connect(&notifier(), &SettingsNotifier::changed, receiver,
                            [field, slot = std::move(slot)](int changed) {
                                if (changed == field)
                                    slot();
                            });
}

} // namespace Tarnwick
