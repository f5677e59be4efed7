// SPDX-License-Identifier: GPL-3.0-or-later
#include "data/Settings.h"
#include "data/SettingsValueText.h"

#include "../common/TestFiles.h"

#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <type_traits>

using namespace Tarnwick;
using TestFiles::readAll;
using TestFiles::writeFile;

class TestSettings : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;

private slots:
    void init() { TestFiles::enterEmpty(m_dir); }

    void defaultsWrittenByteExact()
    {
        Settings s;
        QVERIFY(!s.load(QStringLiteral("Settings.xml")));
        QCOMPARE(s.skin, QStringLiteral("Default"));
        QCOMPARE(s.pingTimeout.load(), 1000);
        QCOMPARE(s.pingTimeGap.load(), 500);
        QCOMPARE(s.windowGeometry, QRect(0, 0, 600, 500));
        QVERIFY(s.logStateChange);
        QVERIFY(s.save());
        QCOMPARE(readAll(QStringLiteral("Settings.xml")),
                 readAll(QStringLiteral(TARNWICK_SOURCE_DIR "/tests/data/golden/Settings-default.xml")));
    }

    void instanceStartsEmpty()
    {
        const Settings& s = Settings::instance();
        QVERIFY(s.fileName.isEmpty());
        QVERIFY(s.skin.isEmpty());
        QVERIFY(!s.windowGeometry.isValid());
    }

    void conversions_data()
    {
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<QString>("field");
        QTest::addColumn<QString>("expected");
        QTest::newRow("port low 16 bits") << QByteArray("<Port>70000</Port>") << "port"
                                          << "4464";
        QTest::newRow("letters read as 0") << QByteArray("<PingTimeout>abc</PingTimeout>") << "timeout"
                                           << "0";
        QTest::newRow("negative gap held to 0") << QByteArray("<PingTimeGap>-5</PingTimeGap>") << "gap"
                                                << "0";
        QTest::newRow("time-out held to ten minutes")
            << QByteArray("<PingTimeout>2147483647</PingTimeout>") << "timeout"
            << "600000";
        QTest::newRow("period held to an hour") << QByteArray("<ProbePeriod>2147484</ProbePeriod>") << "period"
                                                << "3600";
        QTest::newRow("a number past any int held to the most")
            << QByteArray("<MostProbesPerSecond>2147483648</MostProbesPerSecond>") << "mostProbes"
            << "1000000";
        QTest::newRow("period within range") << QByteArray("<ProbePeriod>60</ProbePeriod>") << "period"
                                             << "60";
        QTest::newRow("replies in a row held") << QByteArray("<ConnectAfter>5000</ConnectAfter>") << "connect"
                                               << "1000";
        QTest::newRow("history days held") << QByteArray("<HistoryDays>99999</HistoryDays>") << "days"
                                           << "3650";
        QTest::newRow("history size held to 0") << QByteArray("<HistoryMegabytes>-1</HistoryMegabytes>") << "megabytes"
                                                << "0";
        QTest::newRow("empty skin keeps Default") << QByteArray("<Skin></Skin>") << "skin"
                                                  << "Default";
        QTest::newRow("skin text with references") << QByteArray("<Skin>Dark &amp; &#x4C;ight</Skin>") << "skin"
                                                   << "Dark & Light";
        QTest::newRow("flag from non-zero") << QByteArray("<SIODSC>7</SIODSC>") << "siodsc"
                                            << "1";
        QTest::newRow("flag from text") << QByteArray("<LogStateChange>yes</LogStateChange>") << "log"
                                        << "0";
        QTest::newRow("nesting not tested") << QByteArray("<A><B><SkinType>9</SkinType></B></A>") << "skinType"
                                            << "9";
        QTest::newRow("later value wins")
            << QByteArray("<PingTimeout>10</PingTimeout><PingTimeout>20</PingTimeout>") << "timeout"
            << "20";
        QTest::newRow("names case-sensitive") << QByteArray("<pingtimeout>10</pingtimeout>") << "timeout"
                                              << "1000";
        QTest::newRow("window arithmetic")
            << QByteArray("<Window W=\"800\" H=\"600\" X=\"10\" Y=\"20\" Maximized=\"1\"/>") << "window"
            << "10,20,809,619,1";
        QTest::newRow("window numbers beyond any screen are saturated")
            << QByteArray("<Window X=\"10\" Y=\"-2147483648\" W=\"2147483647\" H=\"100\"/>") << "window"
            << "10,-1048576,1048585,-1048477,0";
        QTest::newRow("appearance by name") << QByteArray("<Appearance> Dark </Appearance>") << "appearance"
                                            << "Dark";
        // A name of a later version, or a typo, follows the desktop as a file without it does.
        QTest::newRow("unknown appearance follows the desktop")
            << QByteArray("<Appearance>Sepia</Appearance>") << "appearance"
            << "FollowDesktop";
        QTest::newRow("window without Maximized clears it")
            << QByteArray("<Window X=\"-3\" Y=\"x\" W=\"1\" H=\"0\"/>") << "window"
            << "-3,0,-3,-1,0";
    }

    void conversions()
    {
        QFETCH(QByteArray, body);
        QFETCH(QString, field);
        QFETCH(QString, expected);
        writeFile(QStringLiteral("Settings.xml"), "<?xml version=\"1.0\"?>\n<Settings>" + body + "</Settings>\n");
        Settings s;
        s.windowMaximized = true;
        QVERIFY(s.load(QStringLiteral("Settings.xml")));
        const QRect& g = s.windowGeometry;
        const QHash<QString, QString> actual = {
            {"port", QString::number(s.port)},
            {"timeout", QString::number(s.pingTimeout.load())},
            {"gap", QString::number(s.pingTimeGap.load())},
            {"period", QString::number(s.probePeriod.load())},
            {"mostProbes", QString::number(s.mostProbesPerSecond.load())},
            {"connect", QString::number(s.connectAfter.load())},
            {"days", QString::number(s.historyDays.load())},
            {"megabytes", QString::number(s.historyMegabytes.load())},
            {"skin", s.skin},
            {"siodsc", QString::number(s.siodsc)},
            {"log", QString::number(s.logStateChange)},
            {"skinType", QString::number(s.skinType)},
            {"appearance", SettingsValueText::write(s.appearance)},
            {"window",
             QStringLiteral("%1,%2,%3,%4,%5")
                 .arg(g.left())
                 .arg(g.top())
                 .arg(g.right())
                 .arg(g.bottom())
                 .arg(s.windowMaximized)},
        };
        QCOMPARE(actual.value(field), expected);
    }

    void onlySkinChangesTheRestStaysDefault()
    {
        writeFile(QStringLiteral("Settings.xml"), "<Settings><Skin>Night</Skin></Settings>");
        Settings s;
        QVERIFY(s.load(QStringLiteral("Settings.xml")));
        QVERIFY(!s.hasUnsavedChanges());
        QVERIFY(QFile::remove(QStringLiteral("Settings.xml")));
        QVERIFY(s.save());
        QByteArray expected = readAll(QStringLiteral(TARNWICK_SOURCE_DIR "/tests/data/golden/Settings-default.xml"));
        expected.replace("<Skin>Default</Skin>", "<Skin>Night</Skin>");
        QCOMPARE(readAll(QStringLiteral("Settings.xml")), expected);
    }

    // Edits made by hand while the program runs survive its saves until it changes something
    // itself; then the hand-edited file is kept beside the new one.
    void handEditsSurviveSavesWithoutChanges()
    {
        writeFile(QStringLiteral("Settings.xml"), "<Settings><PingTimeout>42</PingTimeout></Settings>");
        Settings s;
        QVERIFY(s.load(QStringLiteral("Settings.xml")));
        const QByteArray edit = "<Settings><!-- mine --><PingTimeout>77</PingTimeout></Settings>\n";
        writeFile(QStringLiteral("Settings.xml"), edit);
        QVERIFY(s.save());
        QCOMPARE(readAll(QStringLiteral("Settings.xml")), edit);
        s.pingTimeGap = 9;
        QVERIFY(s.save());
        QCOMPARE(readAll(QStringLiteral("Settings.xml.changed-on-disk")), edit);
    }

    // Read again while the program runs, each field that changed is put in and heard once;
    // the file is left as written. One that cannot be read whole changes nothing.
    void readAgainPutsInWhatChanged_data()
    {
        QTest::addColumn<QByteArray>("edited");
        QTest::addColumn<int>("timeout");
        QTest::addColumn<int>("heard");
        QTest::newRow("two fields") << QByteArray("<Settings><PingTimeout>77</PingTimeout><PingTimeGap>5</PingTimeGap>"
                                                  "<FirstHop>gw</FirstHop></Settings>\n")
                                    << 77 << 2;
        QTest::newRow("cut short") << QByteArray("<Settings><PingTimeout>77</PingTimeout><FirstHop>") << 42 << 0;
    }

    void readAgainPutsInWhatChanged()
    {
        QFETCH(QByteArray, edited);
        QFETCH(int, timeout);
        QFETCH(int, heard);
        writeFile(QStringLiteral("Settings.xml"),
                  "<Settings><PingTimeout>42</PingTimeout><PingTimeGap>5</PingTimeGap></Settings>");
        Settings s;
        QVERIFY(s.load(QStringLiteral("Settings.xml")));
        writeFile(QStringLiteral("Settings.xml"), edited);
        QSignalSpy changes(&s.notifier(), &SettingsNotifier::changed);
        const FileReload outcome = s.reload();
        QCOMPARE(s.pingTimeout.load(), timeout);
        QCOMPARE(int(changes.size()), heard);
        QCOMPARE(outcome.changed, heard);
        QCOMPARE(outcome.read, heard > 0);
        QVERIFY(!s.hasUnsavedChanges());
        QVERIFY(s.save());
        QCOMPARE(readAll(QStringLiteral("Settings.xml")), edited);
    }

    void windowWrittenBackWithTheSameNumbers()
    {
        writeFile(
            QStringLiteral("Settings.xml"),
            "<Settings><Window X=\"10\" Y=\"20\" W=\"800\" H=\"600\" Maximized=\"1\"/><Port>65535</Port></Settings>");
        Settings s;
        QVERIFY(s.load(QStringLiteral("Settings.xml")));
        QVERIFY(QFile::remove(QStringLiteral("Settings.xml")));
        QVERIFY(s.save());
        const QByteArray written = readAll(QStringLiteral("Settings.xml"));
        QVERIFY(written.contains("<Window X=\"10\" Y=\"20\" W=\"800\" H=\"600\" Maximized=\"1\"/>"));
        QVERIFY(written.contains("<Port>65535</Port>"));
    }

    void malformedKeepsValuesReadBefore()
    {
        writeFile(QStringLiteral("Settings.xml"), "<Settings><PingTimeout>42</PingTimeout><Skin>a</Sk></Settings>");
        Settings s;
        QVERIFY(!s.load(QStringLiteral("Settings.xml")));
        QCOMPARE(s.pingTimeout.load(), 42);
        s.pingTimeout = 43;
        QVERIFY(s.hasUnsavedChanges());
        QVERIFY(s.save());
        QVERIFY(QFile::exists(QStringLiteral("Settings.xml.unreadable")));
    }

    // Every field of the list, set away from its default, survives a save and a load and is
    // kept by a copy; a field that one of them forgot would come back as its default.
    void everyFieldSurvivesSaveLoadAndCopy()
    {
        Settings s;
        s.load(QStringLiteral("Settings.xml"));
        const Settings defaults = s;
        int changed = 0;
        Settings::forEachStoredField([&](const auto& element) {
            ++changed;
            if constexpr (isWindowElement<decltype(element)>) {
                s.*element.geometry = QRect(11, 12, 613, 514);
                s.*element.maximized = true;
            } else {
                s.*element.field = changedValue(element.defaultValue, changed);
            }
        });
        QVERIFY(!(s == defaults));
        QVERIFY(s.save());

        Settings loaded;
        QVERIFY(loaded.load(QStringLiteral("Settings.xml")));
        Settings::forEachStoredField([&](const auto& element) {
            if constexpr (isWindowElement<decltype(element)>) {
                QCOMPARE(loaded.*element.geometry, s.*element.geometry);
                QCOMPARE(loaded.*element.maximized, s.*element.maximized);
            } else {
                QVERIFY2(loaded.*element.field == s.*element.field, element.name);
                QVERIFY2(!(loaded.*element.field == defaults.*element.field), element.name);
            }
        });
        QVERIFY(loaded == s);
        Settings copy;
        copy = loaded;
        QVERIFY(copy == s);
    }

    // Setting a field is heard once, as that field and by its own listeners only; the same
    // value again is not heard.
    void settingAFieldIsHeardAsThatFieldOnly()
    {
        Settings s;
        s.load(QStringLiteral("Settings.xml"));
        QSignalSpy changes(&s.notifier(), &SettingsNotifier::changed);
        QObject receiver;
        int firstHopHeard = 0;
        int timeoutHeard = 0;
        s.onChange(&Settings::firstHop, &receiver, [&] { ++firstHopHeard; });
        s.onChange(&Settings::pingTimeout, &receiver, [&] { ++timeoutHeard; });
        QList<int> expected;
        int place = 0;
        const auto setTwice = [&](auto member, const auto& value, const char* name) {
            s.set(member, value);
            s.set(member, value);
            expected << place;
            QVERIFY2(changes.size() == expected.size() && changes.last().at(0).toInt() == place, name);
            QCOMPARE(Settings::fieldOf(member), place);
        };
        Settings::forEachStoredField([&](const auto& element) {
            if constexpr (isWindowElement<decltype(element)>) {
                setTwice(element.geometry, QRect(1, 2, 300, 400), element.name);
                setTwice(element.maximized, true, element.name);
            } else {
                setTwice(element.field, changedValue(s.*element.field, place + 1), element.name);
            }
            ++place;
        });
        QCOMPARE(firstHopHeard, 1);
        QCOMPARE(timeoutHeard, 1);
    }

    // A copy is edited without a sound; putting its edits into the record is heard for the
    // edited fields only and keeps what changed in the record meanwhile.
    void editsOfACopyAreHeardAsTheyAreSet()
    {
        Settings s;
        s.load(QStringLiteral("Settings.xml"));
        QSignalSpy changes(&s.notifier(), &SettingsNotifier::changed);
        const Settings original = s;
        Settings edited = s;
        edited.set(&Settings::skin, QStringLiteral("Night"));
        edited.set(&Settings::pingTimeGap, 75);
        QCOMPARE(changes.size(), 0);
        s.set(&Settings::windowGeometry, QRect(5, 5, 700, 600));
        s.setEdited(original, edited);
        QCOMPARE(changes.size(), 3);
        QCOMPARE(changes.at(1).at(0).toInt(), Settings::fieldOf(&Settings::skin));
        QCOMPARE(changes.at(2).at(0).toInt(), Settings::fieldOf(&Settings::pingTimeGap));
        QCOMPARE(s.skin, QStringLiteral("Night"));
        QCOMPARE(s.pingTimeGap.load(), 75);
        QCOMPARE(s.windowGeometry, QRect(5, 5, 700, 600));
        // A record that takes a copy's values keeps its own listeners.
        s = original;
        s.set(&Settings::mapZoom, 150);
        QCOMPARE(changes.size(), 4);
    }

private:
    static bool changedValue(bool value, int) { return !value; }
    static int changedValue(int value, int n) { return value + n; }
    static quint16 changedValue(quint16 value, int n) { return quint16(value + n); }
    static QString changedValue(const QString& value, int n) { return value + QString::number(n); }
    static CopyableAtomic<int> changedValue(const CopyableAtomic<int>& value, int n) { return value.load() + n; }
    static Appearance changedValue(Appearance value, int) { return Appearance(int(value) + 1); }
};

QTEST_GUILESS_MAIN(TestSettings)
#include "tst_settings.moc"
