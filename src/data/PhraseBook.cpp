// SPDX-License-Identifier: GPL-3.0-or-later
#include "PhraseBook.h"

#include <QCoreApplication>
#include <QRegularExpression>

#include <cstring>
#include <vector>

namespace Tarnwick::PhraseBook {

const Phrase StateConnected{QT_TRANSLATE_NOOP("Phrases", "Device %1 state changed to: connected"), nullptr, "1"};
const Phrase StateDisconnected{QT_TRANSLATE_NOOP("Phrases", "Device %1 state changed to: disconnected"), nullptr, "1"};
const Phrase AddedToList{QT_TRANSLATE_NOOP("Phrases", "Device %1 added to list"), nullptr, "1"};
const Phrase RemovedFromList{QT_TRANSLATE_NOOP("Phrases", "Device %1 removed from list"), nullptr, "1"};
const Phrase Edited{QT_TRANSLATE_NOOP("Phrases", "Device %1 edited: %2"), nullptr, "12"};
const Phrase DeviceCannotBeProbed{QT_TRANSLATE_NOOP("Phrases", "Device %1 cannot be probed: %2"), nullptr, "1"};
const Phrase DeviceIsSlow{QT_TRANSLATE_NOOP("Phrases", "Device %1 is slow: %2"), nullptr, "1"};
const Phrase DeviceIsStillSlow{QT_TRANSLATE_NOOP("Phrases", "Device %1 is still slow: %2"), nullptr, "1"};
const Phrase DeviceIsNoLongerSlow{QT_TRANSLATE_NOOP("Phrases", "Device %1 is no longer slow: %2"), nullptr, "1"};
const Phrase UnreachableBehind{QT_TRANSLATE_NOOP("Phrases", "%1 (unreachable, behind %2)")};
const Phrase PathChanged{QT_TRANSLATE_NOOP("Phrases", "Path to %1 changed: %2 (was %3)"), nullptr, "1"};
const Phrase PathVia{QT_TRANSLATE_NOOP("Phrases", "via %1"), nullptr, "1"};
//: A router on the way to devices that is no device of the list
const Phrase NotInYourList{QT_TRANSLATE_NOOP("Phrases", "%1, not in your list"), nullptr, "1"};
const Phrase WhileAway{QT_TRANSLATE_NOOP("Phrases", "%1 (while Tarnwick was not running)")};
const Phrase DuringMaintenance{QT_TRANSLATE_NOOP("Phrases", "%1 (during maintenance)")};
const Phrase WithReason{QT_TRANSLATE_NOOP("Phrases", "%1 (%2)")};
const Phrase AlertsMuted{QT_TRANSLATE_NOOP("Phrases", "Alerts of %1 muted until %2")};
const Phrase AlertsUnmuted{QT_TRANSLATE_NOOP("Phrases", "Alerts of %1 unmuted")};
const Phrase MaintenanceAdded{QT_TRANSLATE_NOOP("Phrases", "Maintenance window for %1 added: %2")};
const Phrase MaintenanceRemoved{QT_TRANSLATE_NOOP("Phrases", "Maintenance window for %1 removed: %2")};
const Phrase SeveralChangedWhileAway{
    QT_TRANSLATE_NOOP("Phrases", "%1 devices changed while Tarnwick was not running: %2"), nullptr, "12"};
const Phrase BehindUnreachable{QT_TRANSLATE_N_NOOP("Phrases", "%1, %n devices behind it unreachable"),
                               "%1, %n device behind it unreachable", "1"};
const Phrase BehindSlow{QT_TRANSLATE_N_NOOP("Phrases", "%1: %2, %n devices behind it slow"),
                        "%1: %2, %n device behind it slow", "1"};
const Phrase CannotBeProbed{QT_TRANSLATE_NOOP("Phrases", "cannot be probed: %1")};
const Phrase IsSlow{QT_TRANSLATE_NOOP("Phrases", "is slow: %1")};
const Phrase IsStillSlow{QT_TRANSLATE_NOOP("Phrases", "is still slow: %1")};
const Phrase IsNoLongerSlow{QT_TRANSLATE_NOOP("Phrases", "is no longer slow: %1")};
const Phrase SlowFigures{QT_TRANSLATE_NOOP("Phrases", "average %1 ms, loss %2 % over the last %3 probes")};
const Phrase SlowByAverage{QT_TRANSLATE_NOOP("Phrases", "average %1 ms over the last %2 replies")};
const Phrase SlowByLoss{QT_TRANSLATE_NOOP("Phrases", "loss %1 % over the last %2 probes")};
const Phrase TestAlertSays{QT_TRANSLATE_NOOP("Phrases", "Test alert: %1")};
const Phrase SaidOf{QT_TRANSLATE_NOOP("Phrases", "%1: %2"), nullptr, "1"};
const Phrase EachOf{QT_TRANSLATE_NOOP("Phrases", "%1; %2")};

// The alert command.
const Phrase CommandRefused{QT_TRANSLATE_NOOP("Phrases", "The alert command \"%1\" cannot be run: %2")};
const Phrase CommandStillRunning{
    QT_TRANSLATE_NOOP("Phrases", "The alert command \"%1\" was still running and was stopped.")};
const Phrase CommandCannotRun{QT_TRANSLATE_NOOP("Phrases", "the alert command \"%1\" cannot be run")};
const Phrase CommandCouldNotStart{QT_TRANSLATE_NOOP("Phrases", "the alert command \"%1\" could not start: %2")};
const Phrase CommandTimedOut{
    QT_TRANSLATE_NOOP("Phrases", "The alert command \"%1\" did not end within %2 s and was stopped.")};
const Phrase CommandCrashed{QT_TRANSLATE_NOOP("Phrases", "The alert command \"%1\" crashed.")};
const Phrase CommandFailed{QT_TRANSLATE_NOOP("Phrases", "The alert command \"%1\" failed with exit status %2.")};
const Phrase CommandSaidBefore{QT_TRANSLATE_N_NOOP("Phrases", "The alert command \"%1\" said %n lines before these."),
                               "The alert command \"%1\" said %n line before these.", "1"};
const Phrase CommandSaid{QT_TRANSLATE_NOOP("Phrases", "The alert command \"%1\" said: %2"), nullptr, "12"};
const Phrase CommandRan{QT_TRANSLATE_NOOP("Phrases", "The alert command \"%1\" ran.")};

// The alert channels' settings.
const Phrase AlertsKeptUntilReadable{
    QT_TRANSLATE_NOOP("Phrases", "Alerts for %1 are kept until the setting can be read.")};
const Phrase SettingReadableAgain{
    QT_TRANSLATE_NOOP("Phrases", "The setting for %1 can be read again; the alerts kept for it go out.")};

// The outbox. The count of dropped alerts is a number alone: the outbox reads it back from the text.
const Phrase AlertsDropped{QT_TRANSLATE_NOOP("Phrases", "%1 alerts were dropped while the channel was down")};
const Phrase AlertsOverBound{QT_TRANSLATE_NOOP(
    "Phrases", "More than %1 alerts waited for %2; the oldest are dropped, and one alert says how many.")};
const Phrase AlertsWaitForNextRun{
    QT_TRANSLATE_N_NOOP("Phrases", "%n alerts waiting for %1; they go out when Tarnwick starts again."),
    "%n alert waiting for %1; they go out when Tarnwick starts again."};
const Phrase AlertsLostAtEnd{
    QT_TRANSLATE_N_NOOP("Phrases", "%n alerts for %1 could not be kept in \"%2\" (%3) and are lost as Tarnwick ends."),
    "%n alert for %1 could not be kept in \"%2\" (%3) and are lost as Tarnwick ends."};
const Phrase AlertsGoOutAgain{QT_TRANSLATE_NOOP("Phrases", "Alerts go out through %1 again.")};
const Phrase AlertGivenUp{QT_TRANSLATE_NOOP("Phrases", "Gave up sending the alert \"%1\" of %2 through %3: %4.")};
const Phrase AlertsWaitForChannel{QT_TRANSLATE_NOOP(
    "Phrases", "Alerts for %1 wait: %2. They are tried again; one that cannot be sent for a day is given up.")};
const Phrase OutboxKeptAgain{QT_TRANSLATE_NOOP("Phrases", "Alerts waiting to be sent are kept in \"%1\" again.")};
const Phrase AlertsOfChannelGone{
    QT_TRANSLATE_N_NOOP("Phrases", "%n alerts waited to be sent through the %1, which is no longer set up; dropped."),
    "%n alert waited to be sent through the %1, which is no longer set up; dropped."};
const Phrase OutboxKeptAside{QT_TRANSLATE_NOOP(
    "Phrases", "Alerts in \"%1\" that cannot be read are kept aside in it (the table \"unreadable\") and not sent.")};
const Phrase OutboxUnreadableForNow{
    QT_TRANSLATE_NOOP("Phrases", "Alerts waiting in \"%1\" cannot be read for now (%2); they are read again later.")};
const Phrase OutboxMovedAside{QT_TRANSLATE_NOOP(
    "Phrases", "The outbox \"%1\" could not be used (%2); it was moved aside as \"%3\" and a new one started.")};
const Phrase OutboxInMemory{QT_TRANSLATE_NOOP("Phrases",
                                              "Alerts waiting to be sent cannot be kept in \"%1\" for now "
                                              "(%2); they wait in memory, and the file is tried again.")};

// Apprise.
const Phrase NotAnAppriseUrl{
    QT_TRANSLATE_NOOP("Phrases",
                      "Alerts are not sent through Apprise: \"%1\" is not an Apprise URL (each begins "
                      "with its service, as in ntfys:// or mailtos://).")};
const Phrase AppriseNotInstalled{QT_TRANSLATE_NOOP(
    "Phrases", "the program %1 is not installed: install the package apprise to send alerts through Apprise")};
const Phrase ProgramCannotStart{QT_TRANSLATE_NOOP("Phrases", "%1 cannot be started: %2")};
const Phrase AppriseTimedOut{QT_TRANSLATE_NOOP("Phrases", "apprise did not end within %1 s and was stopped")};
const Phrase AppriseCrashedSaying{QT_TRANSLATE_NOOP("Phrases", "apprise crashed: %1")};
const Phrase AppriseFailed{QT_TRANSLATE_NOOP("Phrases", "apprise failed with exit status %1")};
const Phrase AppriseFailedSaying{QT_TRANSLATE_NOOP("Phrases", "apprise failed with exit status %1: %2")};

// The webhook.
const Phrase WebhookNoTarget{QT_TRANSLATE_NOOP("Phrases", "the webhook at %1 answered %2 without saying where to")};
const Phrase WebhookMoved{
    QT_TRANSLATE_NOOP("Phrases", "the webhook at %1 answered %2 to %3; set that address if it moved")};
const Phrase WebhookAnswered{QT_TRANSLATE_NOOP("Phrases", "the webhook at %1 answered HTTP %2")};
const Phrase WebhookTimedOut{QT_TRANSLATE_NOOP("Phrases", "the webhook at %1 did not answer within %2 s")};
const Phrase WebhookUnreachable{QT_TRANSLATE_NOOP("Phrases", "the webhook at %1 cannot be reached: %2")};

// The network watch and its inventory.
const Phrase WatchPeriod{QT_TRANSLATE_NOOP("Phrases", "The network is watched for new devices every %1 s.")};
const Phrase WatchRefused{QT_TRANSLATE_NOOP(
    "Phrases", "The networks to watch cannot be used: %1. The watch waits for a setting it can use.")};
const Phrase MoreNewDevices{QT_TRANSLATE_NOOP(
    "Phrases", "%1 more new devices in this round are not told one by one; the Network tab lists them.")};
const Phrase MoreHardwareChanged{QT_TRANSLATE_NOOP(
    "Phrases", "%1 more addresses answered from other hardware in this round; they are not told one by one.")};
const Phrase NewDeviceSeen{QT_TRANSLATE_NOOP("Phrases", "New device %1 (%2)")};
const Phrase AnswersFrom{QT_TRANSLATE_NOOP("Phrases", "%1 answers from %2 (was %3)")};
const Phrase BothAnswer{QT_TRANSLATE_NOOP("Phrases", "%1; both answer: possibly spoofed")};
const Phrase StillAnswersAt{QT_TRANSLATE_NOOP("Phrases", "%1; %2 still answers at %3: possibly spoofed")};
const Phrase AnswersForMany{QT_TRANSLATE_NOOP(
    "Phrases", "%1 answers for %2 addresses, as a proxy-ARP router does; its addresses are not told one by one")};
const Phrase WatchingNetworks{QT_TRANSLATE_N_NOOP("Phrases", "Watching %1: %n devices seen"),
                              "Watching %1: %n device seen"};

// Why a probe failed.
const Phrase NoArp{QT_TRANSLATE_NOOP("Phrases", "no ARP: %1")};
const Phrase PathMtu{QT_TRANSLATE_NOOP("Phrases", "message too long; path MTU %1")};
const Phrase FromRouter{QT_TRANSLATE_NOOP("Phrases", "%1, from %2")};

// Why a device's address or checks are not taken.
const Phrase AboveIpv4Range{QT_TRANSLATE_NOOP("Phrases", "\"%1\" is not an IPv4 address: %2 is above 255.")};
const Phrase NotIpv4{QT_TRANSLATE_NOOP(
    "Phrases", "\"%1\" is not an IPv4 address: it takes four numbers from 0 to 255 with a dot between each two.")};
const Phrase NotIpv6{QT_TRANSLATE_NOOP("Phrases",
                                       "\"%1\" is not an IPv6 address: it takes up to eight groups of hexadecimal "
                                       "digits with a colon between each two, such as fd00::20.")};
const Phrase NoInterfaceNamed{QT_TRANSLATE_NOOP("Phrases", "\"%1\" does not name an interface after its \"%\".")};
const Phrase NoSuchInterface{
    QT_TRANSLATE_NOOP("Phrases", "\"%1\" cannot be reached: no interface %2 on this machine.")};
const Phrase LinkLocalWithoutInterface{QT_TRANSLATE_NOOP(
    "Phrases", "\"%1\" is a link-local address: add the interface it is reached on, such as %1%eth0.")};
const Phrase NotHostName{QT_TRANSLATE_NOOP("Phrases",
                                           "\"%1\" is neither an IPv4 address nor a host name: a host name has only "
                                           "letters, digits and hyphens, in parts separated by dots.")};
const Phrase CheckGivenTwice{QT_TRANSLATE_NOOP("Phrases", "The check \"%1\" is given twice.")};
const Phrase TooManyChecks{QT_TRANSLATE_NOOP("Phrases", "A device takes at most %1 checks.")};
const Phrase UnknownCheck{
    QT_TRANSLATE_NOOP("Phrases", "Unknown check \"%1\": the checks are echo, arp and tcp:PORT (1 to 65535).")};
const Phrase UnreadableCheck{QT_TRANSLATE_NOOP("Phrases", "the check \"%1\" cannot be read")};
const Phrase NamedCheck{QT_TRANSLATE_NOOP("Phrases", "Check \"%1\"")};
const Phrase EchoPayload{QT_TRANSLATE_NOOP("Phrases", "Payload: %1 bytes")};
const Phrase EchoPayloadUnfragmented{QT_TRANSLATE_NOOP("Phrases", "Payload: %1 bytes, don't fragment")};

// Maintenance windows.
const Phrase OnceWindow{QT_TRANSLATE_NOOP("Phrases", "%1 – %2")};
const Phrase WeeklyWindows[6]{
    //: A weekly maintenance window: the days it comes on ("Mondays", "Every day"), its start and end times
    {QT_TRANSLATE_NOOP("Phrases", "%1 %2–%3")},
    //: A weekly maintenance window: the days it comes on ("Mondays"), its start and end times
    {QT_TRANSLATE_NOOP("Phrases", "%1, %2 %3–%4")},
    //: A weekly maintenance window: the days it comes on ("Mondays"), its start and end times
    {QT_TRANSLATE_NOOP("Phrases", "%1, %2, %3 %4–%5")},
    //: A weekly maintenance window: the days it comes on ("Mondays"), its start and end times
    {QT_TRANSLATE_NOOP("Phrases", "%1, %2, %3, %4 %5–%6")},
    //: A weekly maintenance window: the days it comes on ("Mondays"), its start and end times
    {QT_TRANSLATE_NOOP("Phrases", "%1, %2, %3, %4, %5 %6–%7")},
    //: A weekly maintenance window: the days it comes on ("Mondays"), its start and end times
    {QT_TRANSLATE_NOOP("Phrases", "%1, %2, %3, %4, %5, %6 %7–%8")},
};

// The search of the network and its neighbours.
const Phrase SearchCompleted{QT_TRANSLATE_NOOP("Phrases", "Search completed. Active: %1/%2 (%3%)")};
const Phrase SearchStopped{QT_TRANSLATE_NOOP("Phrases", "Search stopped. Active: %1/%2 (%3%)")};
const Phrase PresentWithoutEcho{QT_TRANSLATE_NOOP("Phrases", "Present without echo reply: %1")};
const Phrase NeighboursFound{QT_TRANSLATE_N_NOOP("Phrases", "Neighbours found: %1 on %n links"),
                             "Neighbours found: %1 on %n link"};
const Phrase NoIcmpv6Socket{QT_TRANSLATE_NOOP("Phrases", "No ICMPv6 socket: %1")};
const Phrase RequestNotSent{QT_TRANSLATE_NOOP("Phrases", "The request could not be sent: %1")};
const Phrase ProbedAboutEvery{QT_TRANSLATE_NOOP("Phrases", "With %1 devices, each is probed about every %2 s")};

// Where the metrics or the API are served: %2 is what is served.
const Phrase NotAnAddressToServe{QT_TRANSLATE_NOOP("Phrases", "\"%1\" is not an address to serve %2 at: %3")};

// Why the history cannot be written.
const Phrase HistoryDamaged{QT_TRANSLATE_NOOP("Phrases", "damaged: %1")};
const Phrase CannotBeMovedAside{QT_TRANSLATE_NOOP("Phrases", "%1, and it cannot be moved aside: %2")};
const Phrase FolderNotWritable{QT_TRANSLATE_NOOP("Phrases", "%1; the folder \"%2\" cannot be written")};

const Phrase SettingsChanged{QT_TRANSLATE_NOOP("Phrases", "Settings changed: %1")};

// Why a file of ours was not read, or not whole.
const Phrase LinkToNothing{QT_TRANSLATE_NOOP("Phrases", "it is a link to %1, which does not exist")};
const Phrase NotWellFormed{QT_TRANSLATE_NOOP("Phrases", "it is not well-formed XML: %1")};
const Phrase OtherRootElement{QT_TRANSLATE_NOOP("Phrases", "its root element is not \"%1\"")};
const Phrase TextCut{QT_TRANSLATE_NOOP("Phrases", "a text in it is longer than %1 characters and was cut")};

namespace {

// Where a text may have come from: the templates tried in this order. Those that quote a text
// of any kind (a command's output, an alert, a channel's reason) come first, so that the text
// they quote is not taken for the whole; then the ones that end in a part added to a text
// before those that make the text; the most general last.
// clang-format off
const Phrase* const Templates[] = {
    &CommandSaid,    &AlertGivenUp,           &AlertsWaitForChannel,
    &PathChanged,    &NotInYourList,          &PathVia,
    &WhileAway,      &DuringMaintenance,      &UnreachableBehind,   &StateConnected,       &StateDisconnected,
    &AddedToList,    &RemovedFromList,        &Edited,              &DeviceCannotBeProbed, &DeviceIsStillSlow,
    &DeviceIsNoLongerSlow, &DeviceIsSlow,     &AlertsMuted,         &AlertsUnmuted,        &MaintenanceAdded,
    &MaintenanceRemoved,   &SeveralChangedWhileAway, &BehindUnreachable, &BehindSlow,      &CannotBeProbed,
    &IsStillSlow,    &IsNoLongerSlow,         &IsSlow,              &SlowFigures,          &SlowByAverage,
    &SlowByLoss,     &TestAlertSays,
    // The alert command, the channels' settings, the outbox.
    &CommandRefused, &CommandStillRunning, &CommandCannotRun, &CommandCouldNotStart, &CommandTimedOut,
    &CommandCrashed, &CommandFailed, &CommandSaidBefore, &CommandRan,
    &AlertsKeptUntilReadable, &SettingReadableAgain,
    &AlertsOverBound, &AlertsWaitForNextRun, &AlertsLostAtEnd, &AlertsGoOutAgain, &OutboxKeptAgain,
    &AlertsOfChannelGone, &OutboxKeptAside, &OutboxUnreadableForNow, &OutboxMovedAside, &OutboxInMemory,
    // Apprise and the webhook; a reason said after a failure before the failure alone.
    &NotAnAppriseUrl, &AppriseNotInstalled, &AppriseTimedOut, &AppriseCrashedSaying, &AppriseFailedSaying,
    &AppriseFailed,
    &WebhookNoTarget, &WebhookMoved, &WebhookAnswered, &WebhookTimedOut, &WebhookUnreachable,
    // The network watch; the warnings of spoofing before the change they are added to.
    &WatchPeriod, &WatchRefused, &MoreNewDevices, &MoreHardwareChanged, &NewDeviceSeen,
    &BothAnswer, &StillAnswersAt, &AnswersFrom, &AnswersForMany, &WatchingNetworks,
    // Addresses and checks not taken; the search; served addresses; the settings.
    &AboveIpv4Range, &NotIpv4, &NotIpv6, &NoInterfaceNamed, &NoSuchInterface, &LinkLocalWithoutInterface,
    &NotHostName,    &CheckGivenTwice, &TooManyChecks, &UnknownCheck, &UnreadableCheck, &EchoPayload,
    &EchoPayloadUnfragmented, &SearchCompleted, &SearchStopped, &PresentWithoutEcho, &NeighboursFound,
    &NoIcmpv6Socket, &RequestNotSent, &ProbedAboutEvery, &NotAnAddressToServe, &SettingsChanged,
    &LinkToNothing,  &NotWellFormed, &OtherRootElement, &TextCut,
    // The history's problems, what is added to a reason before the reason.
    &FolderNotWritable, &CannotBeMovedAside, &HistoryDamaged,
    // Maintenance windows: the most days first, as fewer would take several days for one.
    &OnceWindow, &WeeklyWindows[5], &WeeklyWindows[4], &WeeklyWindows[3], &WeeklyWindows[2], &WeeklyWindows[1],
    &WeeklyWindows[0],
    // Probe reasons; then what begins with a part of any kind, the most general last.
    &NoArp, &PathMtu, &AlertsDropped, &ProgramCannotStart, &FromRouter, &NamedCheck,
    &EachOf,         &WithReason,     &SaidOf,
};
// clang-format on

// Parts inside parts: a line is rarely made of more than three templates inside each other.
constexpr int MaxDepth = 4;

// One English form of a template as a pattern: each %1..%9 a part (as long as the rest lets it
// be, so "%1 (%2)" takes the last parenthesis), %n a count.
struct Pattern
{
    const Phrase* phrase;
    QRegularExpression expression;
    // What each captured group is: the number of its %, or 0 for %n.
    QList<int> places;
};

Pattern patternOf(const Phrase& phrase, const char* form)
{
    const QString text = QString::fromUtf8(form);
    static const QRegularExpression placeholder(QStringLiteral("%([1-9n])"));
    QString expression = QStringLiteral("^");
    QList<int> places;
    qsizetype at = 0;
    for (auto it = placeholder.globalMatch(text); it.hasNext();) {
        const QRegularExpressionMatch match = it.next();
        expression += QRegularExpression::escape(text.mid(at, match.capturedStart() - at));
        const QChar which = match.captured(1).at(0);
        expression += which == u'n' ? QStringLiteral("(\\d+)") : QStringLiteral("(.+)");
        places << (which == u'n' ? 0 : which.digitValue());
        at = match.capturedEnd();
    }
    expression += QRegularExpression::escape(text.mid(at)) + QStringLiteral("$");
    return {&phrase, QRegularExpression(expression, QRegularExpression::DotMatchesEverythingOption), places};
}

const std::vector<Pattern>& patterns()
{
    static const std::vector<Pattern> all = [] {
        std::vector<Pattern> made;
        for (const Phrase* phrase : Templates) {
            made.push_back(patternOf(*phrase, phrase->text));
            if (phrase->one)
                made.push_back(patternOf(*phrase, phrase->one));
        }
        return made;
    }();
    return all;
}

// Fills %1..%9 in one pass, so that a part holding "%2" stays as it is; %n becomes the count.
QString fill(const QString& text, const QStringList& parts, int count)
{
    QString filled;
    filled.reserve(text.size() + 32);
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar next = i + 1 < text.size() ? text.at(i + 1) : QChar();
        if (text.at(i) == u'%' && next == u'n' && count >= 0) {
            filled += QString::number(count);
            ++i;
        } else if (text.at(i) == u'%' && next >= u'1' && next <= u'9' && next.digitValue() <= parts.size()) {
            filled += parts.at(next.digitValue() - 1);
            ++i;
        } else {
            filled += text.at(i);
        }
    }
    return filled;
}

QString translated(const QString& text, int depth)
{
    if (text.isEmpty())
        return text;
    const QByteArray source = text.toUtf8();
    const QString whole = QCoreApplication::translate("Phrases", source.constData());
    if (whole != text || depth >= MaxDepth)
        return whole;
    for (const Pattern& pattern : patterns()) {
        const QRegularExpressionMatch match = pattern.expression.match(text);
        if (!match.hasMatch())
            continue;
        int count = -1;
        QStringList parts;
        for (int group = 1; group <= pattern.places.size(); ++group) {
            const int place = pattern.places.at(group - 1);
            if (place == 0) {
                count = match.captured(group).toInt();
                continue;
            }
            if (parts.size() < place)
                parts.resize(place);
            const bool asIs = pattern.phrase->asIs && std::strchr(pattern.phrase->asIs, '0' + place);
            parts[place - 1] = asIs ? match.captured(group) : translated(match.captured(group), depth + 1);
        }
        return fill(QCoreApplication::translate("Phrases", pattern.phrase->text, nullptr, count), parts, count);
    }
    return text;
}

} // namespace

QString english(const Phrase& phrase, const QStringList& parts, int count)
{
    return fill(QString::fromUtf8(count == 1 && phrase.one ? phrase.one : phrase.text), parts, count);
}

QString translate(const QString& text)
{
    // Without a translation of the phrases the text is already in the language shown: nothing
    // to look for.
    const bool translationInstalled = QCoreApplication::translate("Phrases", StateConnected.text)
        != QLatin1String(StateConnected.text);
    return translationInstalled ? translated(text, 0) : text;
}

} // namespace Tarnwick::PhraseBook
