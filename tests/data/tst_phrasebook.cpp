// SPDX-License-Identifier: GPL-3.0-or-later
#include "data/PhraseBook.h"

#include <QCoreApplication>
#include <QHash>
#include <QTest>
#include <QTranslator>

using namespace Tarnwick;
using namespace Tarnwick::PhraseBook;

namespace {

// A German translation of a few phrases, as a .qm file would give it.
class GermanPhrases : public QTranslator
{
public:
    bool isEmpty() const override { return false; }
    QString translate(const char* context, const char* source, const char*, int n) const override
    {
        static const QHash<QString, QString> table{
            {"Device %1 state changed to: connected", "Gerät %1 ist jetzt verbunden"},
            {"Device %1 state changed to: disconnected", "Gerät %1 ist jetzt getrennt"},
            {"%1 (while Tarnwick was not running)", "%1 (während Tarnwick nicht lief)"},
            {"timed out", "Zeit abgelaufen"},
            {"Device %1 edited: %2", "Gerät %1 geändert: %2"},
            {"%1, from %2", "%1, von %2"},
            {"host unreachable", "Host nicht erreichbar"},
            {"The alert command \"%1\" said: %2", "Der Befehl \"%1\" sagte: %2"},
            {"%1 devices changed while Tarnwick was not running: %2", "Geändert (%1 Geräte): %2"},
            {"Mondays", "Montags"},
            {"Tuesdays", "Dienstags"},
            {"Fridays", "Freitags"},
            {"damaged: %1", "beschädigt: %1"},
            {"%1; the folder \"%2\" cannot be written", "%1; der Ordner \"%2\" ist nicht beschreibbar"}};
        if (qstrcmp(source, "Watching %1: %n devices seen") == 0)
            return n == 1 ? QStringLiteral("Beobachte %1: %n Gerät") : QStringLiteral("Beobachte %1: %n Geräte");
        return qstrcmp(context, "Phrases") == 0 ? table.value(QString::fromUtf8(source)) : QString();
    }
};

} // namespace

class TestPhraseBook : public QObject
{
    Q_OBJECT

private slots:
    void translatesWhole_data()
    {
        QTest::addColumn<QString>("made");
        QTest::addColumn<QString>("expected");
        QTest::addColumn<QString>("german");
        const auto row = [](const char* name, const QString& made, const char* expected, const char* german) {
            QTest::newRow(name) << made << QString::fromUtf8(expected) << QString::fromUtf8(german);
        };
        const QString down = english(StateDisconnected, {"10.0.0.1 (pc)"});
        row("parts inside parts", english(WhileAway, {english(WithReason, {down, "timed out"})}),
            "Device 10.0.0.1 (pc) state changed to: disconnected (timed out) (while Tarnwick was not running)",
            "Gerät 10.0.0.1 (pc) ist jetzt getrennt (Zeit abgelaufen) (während Tarnwick nicht lief)");
        row("count of one", english(WatchingNetworks, {"10.0.0.0/24"}, 1), "Watching 10.0.0.0/24: 1 device seen",
            "Beobachte 10.0.0.0/24: 1 Gerät");
        row("count of three", english(WatchingNetworks, {"10.0.0.0/24"}, 3), "Watching 10.0.0.0/24: 3 devices seen",
            "Beobachte 10.0.0.0/24: 3 Geräte");
        row("router's answer", english(FromRouter, {"host unreachable", "10.0.0.254"}),
            "host unreachable, from 10.0.0.254", "Host nicht erreichbar, von 10.0.0.254");
        // A command's output that quotes an alert: the quote is a part, not the start of the line,
        // and is shown as the command said it.
        row("quoted alert", english(CommandSaid, {"notify", english(SeveralChangedWhileAway, {"2", "a, b"})}),
            "The alert command \"notify\" said: 2 devices changed while Tarnwick was not running: a, b",
            "Der Befehl \"notify\" sagte: 2 devices changed while Tarnwick was not running: a, b");
        // A device named like a phrase keeps its name.
        row("description like a phrase", english(StateConnected, {"10.0.0.7 (timed out)"}),
            "Device 10.0.0.7 (timed out) state changed to: connected",
            "Gerät 10.0.0.7 (timed out) ist jetzt verbunden");
        // Fewer days would take "Mondays, Tuesdays" for one; a list of reasons would split the folder off.
        row("three days", english(WeeklyWindows[2], {"Mondays", "Tuesdays", "Fridays", "22:00", "06:00"}),
            "Mondays, Tuesdays, Fridays 22:00–06:00", "Montags, Dienstags, Freitags 22:00–06:00");
        row("added to a reason", english(FolderNotWritable, {english(HistoryDamaged, {"page 3"}), "/data"}),
            "damaged: page 3; the folder \"/data\" cannot be written",
            "beschädigt: page 3; der Ordner \"/data\" ist nicht beschreibbar");
        row("no template", QStringLiteral("Something else entirely"), "Something else entirely",
            "Something else entirely");
        row("part holding %2", english(Edited, {"10.0.0.1", "name %2"}), "Device 10.0.0.1 edited: name %2",
            "Gerät 10.0.0.1 geändert: name %2");
    }

    void translatesWhole()
    {
        QFETCH(QString, made);
        QFETCH(QString, expected);
        QFETCH(QString, german);
        QCOMPARE(made, expected);
        QCOMPARE(PhraseBook::translate(made), made);
        GermanPhrases translator;
        QVERIFY(QCoreApplication::installTranslator(&translator));
        const QString translated = PhraseBook::translate(made);
        QCoreApplication::removeTranslator(&translator);
        QCOMPARE(translated, german);
    }
};

QTEST_GUILESS_MAIN(TestPhraseBook)
#include "tst_phrasebook.moc"
