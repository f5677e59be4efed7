// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QStringList>

namespace Tarnwick {

// Texts the monitor makes in English, because they go where others read them as they are (the
// log file, alert channels, the metrics), and that the desktop shows in the user's language.
// A text without a varying part is marked where it is written, with
// QT_TRANSLATE_NOOP("Phrases", ...); a text with varying parts is made from one of the templates
// below, whose %1, %2... are filled in English. translate() finds the template a text was made
// from and fills its translation with the same parts, each translated in turn.
namespace PhraseBook {

// A template; where it counts with %n, `one` is its English text for a count of one, since
// English texts are made without a translation. `asIs` names the parts (by their digits) that
// are shown as they are, never translated: a device as the user named it, what a program said.
struct Phrase
{
    const char* text;
    const char* one = nullptr;
    const char* asIs = nullptr;
};

// The template filled with its parts, in English (%n with count).
QString english(const Phrase& phrase, const QStringList& parts, int count = -1);
// The text in the language of the installed translation; a text made from none of the
// templates, or without a translation, stays as it is.
QString translate(const QString& text);

// Said of a device in the log: "Device 10.0.0.1 (router) ..."
extern const Phrase StateConnected;
extern const Phrase StateDisconnected;
extern const Phrase AddedToList;
extern const Phrase RemovedFromList;
extern const Phrase Edited;
extern const Phrase DeviceCannotBeProbed;
extern const Phrase DeviceIsSlow;
extern const Phrase DeviceIsStillSlow;
extern const Phrase DeviceIsNoLongerSlow;
// Added to a text: why, and when.
extern const Phrase UnreachableBehind;
extern const Phrase WhileAway;
extern const Phrase DuringMaintenance;
extern const Phrase WithReason;
// Mutes and maintenance windows.
extern const Phrase AlertsMuted;
extern const Phrase AlertsUnmuted;
extern const Phrase MaintenanceAdded;
extern const Phrase MaintenanceRemoved;
// Alerts.
extern const Phrase SeveralChangedWhileAway;
extern const Phrase BehindUnreachable;
extern const Phrase BehindSlow;
extern const Phrase CannotBeProbed;
extern const Phrase IsSlow;
extern const Phrase IsStillSlow;
extern const Phrase IsNoLongerSlow;
extern const Phrase SlowFigures;
extern const Phrase SlowByAverage;
extern const Phrase SlowByLoss;
extern const Phrase TestAlertSays;
extern const Phrase SaidOf;
// The failures of several checks, one after the other: "TCP 443: connection refused; ICMP: no reply".
extern const Phrase EachOf;
// The alert command.
extern const Phrase CommandRefused;
extern const Phrase CommandStillRunning;
extern const Phrase CommandCannotRun;
extern const Phrase CommandCouldNotStart;
extern const Phrase CommandTimedOut;
extern const Phrase CommandCrashed;
extern const Phrase CommandFailed;
extern const Phrase CommandSaidBefore;
extern const Phrase CommandSaid;
extern const Phrase CommandRan;
// The alert channels' settings.
extern const Phrase AlertsKeptUntilReadable;
extern const Phrase SettingReadableAgain;
// The outbox.
extern const Phrase AlertsDropped;
extern const Phrase AlertsOverBound;
extern const Phrase AlertsWaitForNextRun;
extern const Phrase AlertsLostAtEnd;
extern const Phrase AlertsGoOutAgain;
extern const Phrase AlertGivenUp;
extern const Phrase AlertsWaitForChannel;
extern const Phrase OutboxKeptAgain;
extern const Phrase AlertsOfChannelGone;
extern const Phrase OutboxKeptAside;
extern const Phrase OutboxUnreadableForNow;
extern const Phrase OutboxMovedAside;
extern const Phrase OutboxInMemory;
// Apprise.
extern const Phrase NotAnAppriseUrl;
extern const Phrase AppriseNotInstalled;
extern const Phrase ProgramCannotStart;
extern const Phrase AppriseTimedOut;
extern const Phrase AppriseCrashedSaying;
extern const Phrase AppriseFailed;
extern const Phrase AppriseFailedSaying;
// The webhook.
extern const Phrase WebhookNoTarget;
extern const Phrase WebhookMoved;
extern const Phrase WebhookAnswered;
extern const Phrase WebhookTimedOut;
extern const Phrase WebhookUnreachable;
// The network watch and its inventory.
extern const Phrase WatchPeriod;
extern const Phrase WatchRefused;
extern const Phrase MoreNewDevices;
extern const Phrase MoreHardwareChanged;
extern const Phrase NewDeviceSeen;
extern const Phrase AnswersFrom;
extern const Phrase BothAnswer;
extern const Phrase StillAnswersAt;
extern const Phrase AnswersForMany;
extern const Phrase WatchingNetworks;
// Why a probe failed.
extern const Phrase NoArp;
extern const Phrase PathMtu;
extern const Phrase FromRouter;
// Why a device's address or checks are not taken.
extern const Phrase AboveIpv4Range;
extern const Phrase NotIpv4;
extern const Phrase NotIpv6;
extern const Phrase NoInterfaceNamed;
extern const Phrase NoSuchInterface;
extern const Phrase LinkLocalWithoutInterface;
extern const Phrase NotHostName;
extern const Phrase CheckGivenTwice;
extern const Phrase TooManyChecks;
extern const Phrase UnknownCheck;
extern const Phrase UnreadableCheck;
// A check by its short name, where it has words: "Check "x"".
extern const Phrase NamedCheck;
// A device's echo requests where they are not the usual.
extern const Phrase EchoPayload;
extern const Phrase EchoPayloadUnfragmented;
// Maintenance windows: once, from one time to another; weekly, by the number of days named
// (one to six; "Every day" is one), then the start and end times.
extern const Phrase OnceWindow;
extern const Phrase WeeklyWindows[6];
// The search of the network and its neighbours.
extern const Phrase SearchCompleted;
extern const Phrase SearchStopped;
extern const Phrase PresentWithoutEcho;
extern const Phrase NeighboursFound;
extern const Phrase NoIcmpv6Socket;
extern const Phrase RequestNotSent;
extern const Phrase ProbedAboutEvery;
// Where the metrics or the API are served.
extern const Phrase NotAnAddressToServe;
// Why the history cannot be written.
extern const Phrase HistoryDamaged;
extern const Phrase CannotBeMovedAside;
extern const Phrase FolderNotWritable;
// The settings.
extern const Phrase SettingsChanged;
// Paths.
extern const Phrase PathChanged;
extern const Phrase PathVia;
extern const Phrase NotInYourList;
// Why a file of ours was not read, or not whole.
extern const Phrase LinkToNothing;
extern const Phrase NotWellFormed;
extern const Phrase OtherRootElement;
extern const Phrase TextCut;

} // namespace PhraseBook

} // namespace Tarnwick
