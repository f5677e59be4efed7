// SPDX-License-Identifier: GPL-3.0-or-later
#include "../common/RunningPinger.h"
#include "data/Data.h"
#include "data/Settings.h"
#include "net/PingerThread.h"
#include "ui/AddDeviceDialog.h"
#include "ui/AutostartEntry.h"
#include "ui/EditDeviceEntryDialog.h"
#include "ui/SettingsDialog.h"

#include "../common/TestFiles.h"
#include "../common/WidgetTest.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QMutex>
#include <QProcess>
#include <QPushButton>
#include <QScopeGuard>
#include <QScrollArea>
#include <QSignalSpy>
#include <QSpinBox>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

using namespace std::chrono_literals;

using namespace Tarnwick;

namespace {

template <typename T>
T* field(QWidget* dialog, const char* name)
{
    auto* f = dialog->findChild<T*>(QString::fromLatin1(name));
    if (!f)
        qFatal("no field %s", name);
    return f;
}

QByteArray readFile(const QString& name)
{
    QFile file(name);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

class TestDeviceDialogs : public QObject
{
    Q_OBJECT

    Data* m_data = nullptr;
    QTemporaryDir m_config;

private slots:
    void initTestCase()
    {
        // The dialog keeps the desktop's autostart entry in step; never the user's own.
        QVERIFY(m_config.isValid());
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(m_config.path()));
    }

    void init()
    {
        Settings::instance().load(QStringLiteral("no-such-settings.xml"));
        m_data = new Data;
        Data::setInstance(m_data);
    }

    void cleanup()
    {
        stopPinger();
        delete m_data;
        QCoreApplication::processEvents();
    }

    void typeChooserOrderAndCodes()
    {
        AddDeviceDialog dialog;
        QCOMPARE(dialog.windowTitle(), QStringLiteral("Add Device - Tarnwick"));
        auto* type = field<QComboBox>(&dialog, "typeCombo");
        const QStringList texts = {"PC", "AP", "Router", "Web"};
        const QList<int> codes = {3, 1, 2, 4};
        QCOMPARE(type->count(), 4);
        for (int i = 0; i < 4; ++i) {
            QCOMPARE(type->itemText(i), texts[i]);
            QCOMPARE(type->itemData(i, Qt::UserRole).toInt(), codes[i]);
        }
        QCOMPARE(type->currentIndex(), 0);
    }

    void addKeepsTheDialogOpenAndOkKeepsWhatWasTyped()
    {
        AddDeviceDialog dialog;
        dialog.show();
        typeInto(field<QLineEdit>(&dialog, "ipEdit"), QStringLiteral(" 127.0.0.4 "));
        QTest::keyClick(field<QComboBox>(&dialog, "typeCombo"), Qt::Key_Down);
        typeInto(field<QLineEdit>(&dialog, "descriptionEdit"), QStringLiteral("Access point"));
        clickCheckBox(field<QCheckBox>(&dialog, "informCheckBox"));
        QSignalSpy added(m_data, &Data::DeviceAdded);
        pressButton(&dialog, "addButton");
        QCOMPARE(added.size(), 1);
        QVERIFY(dialog.isVisible());
        const DeviceEntry e = m_data->entry(QStringLiteral("127.0.0.4"));
        QCOMPARE(e.type, int(DeviceTypeAP));
        QCOMPARE(e.description, QStringLiteral("Access point"));
        QVERIFY(e.informOnStateChange);
        QCOMPARE(e.state, int(DeviceStateDisconnected));
        QCOMPARE(e.pingResult, QStringLiteral("X"));
        // "OK" after "Add" closes without a second entry or a complaint.
        pressButton(&dialog, "okButton");
        QVERIFY(!dialog.isVisible());
        QCOMPARE(dialog.result(), int(QDialog::Accepted));
        QCOMPARE(added.size(), 1);
        QVERIFY(!dialog.findChild<QMessageBox*>());

        // Enter, or "OK", with an address typed adds it.
        AddDeviceDialog second;
        second.show();
        QTest::keyClicks(field<QLineEdit>(&second, "ipEdit"), QStringLiteral("printer.lan"));
        QTest::keyClick(field<QLineEdit>(&second, "ipEdit"), Qt::Key_Return);
        QTRY_VERIFY(!second.isVisible());
        QCOMPARE(m_data->entry(QStringLiteral("printer.lan")).ip, QStringLiteral("printer.lan"));
    }

    // IPv6 addresses are taken and kept as typed, a link-local one with its interface.
    void ipv6AddressesAreAddedAsTyped_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::newRow("unique local") << "fd00::20";
        QTest::newRow("upper case, long form") << "FD00:0:0:0:0:0:0:21";
        QTest::newRow("link-local with its interface") << "fe80::1%eth0";
        QTest::newRow("IPv4-mapped") << "::ffff:127.0.0.5";
    }

    void ipv6AddressesAreAddedAsTyped()
    {
        QFETCH(QString, typed);
        AddDeviceDialog dialog;
        dialog.show();
        typeInto(field<QLineEdit>(&dialog, "ipEdit"), typed);
        pressButton(&dialog, "okButton");
        QTRY_VERIFY(!dialog.isVisible());
        QCOMPARE(m_data->entry(typed).ip, typed);
    }

    // Refused with a message that names the problem; nothing is added and the dialog stays.
    void addressesThatCannotBeAdded_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("said");
        QTest::newRow("empty") << "   "
                               << "Type the device's address";
        QTest::newRow("octet above 255") << "10.77.0.300"
                                         << "300 is above 255";
        QTest::newRow("three numbers") << "10.77.0"
                                       << "four numbers";
        QTest::newRow("five numbers") << "10.77.0.1.2"
                                      << "four numbers";
        QTest::newRow("an empty part") << "10..0.1"
                                       << "four numbers";
        QTest::newRow("no device") << "0.0.0.0"
                                   << "no device at all";
        QTest::newRow("IPv6 with three colons") << "fd00:::1"
                                                << "not an IPv6 address";
        QTest::newRow("link-local without its interface") << "fe80::1"
                                                          << "add the interface it is reached on";
        QTest::newRow("empty interface") << "fe80::1%"
                                         << "does not name an interface";
        QTest::newRow("no IPv6 device") << "::"
                                        << "no device at all";
        QTest::newRow("not a name") << "hello world!"
                                    << "neither an IPv4 address nor a host name";
        QTest::newRow("hyphen at the end") << "router-.lan"
                                           << "neither an IPv4 address nor a host name";
        QTest::newRow("in the list already") << " 127.0.0.9"
                                             << "in the device list already";
    }

    void addressesThatCannotBeAdded()
    {
        QFETCH(QString, typed);
        QFETCH(QString, said);
        m_data->addEntry(DeviceEntry(QStringLiteral("127.0.0.9"), QString(), 3, false, NoReplyResult));
        AddDeviceDialog dialog;
        dialog.show();
        typeInto(field<QLineEdit>(&dialog, "ipEdit"), typed);
        // "OK" refuses as "Add" does, except that with nothing typed it only closes.
        pressButton(&dialog, typed.trimmed().isEmpty() ? "addButton" : "okButton");
        QVERIFY(dialog.isVisible());
        QCOMPARE(m_data->entries().size(), 1);
        auto* box = dialog.findChild<QMessageBox*>(QStringLiteral("refusal"));
        QVERIFY(box);
        QVERIFY2(box->text().contains(said), qPrintable(box->text()));
    }

    // The check is chosen in the Add dialog; ARP says when it cannot reach the address typed.
    void addChoosesTheCheck()
    {
        AddDeviceDialog dialog;
        dialog.show();
        auto* check = field<QComboBox>(&dialog, "checkCombo");
        auto* port = field<QSpinBox>(&dialog, "portSpin");
        auto* note = field<QLabel>(&dialog, "checkNote");
        QCOMPARE(check->currentText(), QStringLiteral("ICMP echo"));
        QVERIFY(!port->isEnabled());
        typeInto(field<QLineEdit>(&dialog, "ipEdit"), QStringLiteral("127.0.0.4"));
        QTest::keyClick(check, Qt::Key_Down);
        QCOMPARE(check->currentText(), QStringLiteral("TCP port"));
        QVERIFY(port->isEnabled());
        port->setFocus();
        port->selectAll();
        QTest::keyClicks(port, QStringLiteral("8443"));
        pressButton(&dialog, "addButton");
        QCOMPARE(m_data->entry(QStringLiteral("127.0.0.4")).check, DeviceCheck::tcp(8443));

        QVERIFY(note->isHidden());
        QTest::keyClick(check, Qt::Key_Down);
        QCOMPARE(check->currentText(), QStringLiteral("ARP"));
        QVERIFY(!note->isHidden());
        QCOMPARE(note->text(), QStringLiteral("ARP reaches only addresses on a local link."));
    }

    // Further checks are typed in the words of the device list; one given twice is refused.
    void addTakesFurtherChecks_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QList<DeviceCheck>>("taken");
        QTest::addColumn<QString>("said"); // empty: added
        QTest::newRow("TCP and ARP") << " tcp:443  ARP" << QList{DeviceCheck::tcp(443), DeviceCheck::arp()}
                                     << QString();
        QTest::newRow("the first again") << "tcp:443 echo" << QList<DeviceCheck>()
                                         << "The check \"echo\" is given twice.";
    }

    void addTakesFurtherChecks()
    {
        QFETCH(QString, typed);
        QFETCH(QList<DeviceCheck>, taken);
        QFETCH(QString, said);
        AddDeviceDialog dialog;
        dialog.show();
        typeInto(field<QLineEdit>(&dialog, "ipEdit"), QStringLiteral("127.0.0.4"));
        typeInto(field<QLineEdit>(&dialog, "moreChecksEdit"), typed);
        pressButton(&dialog, "addButton");
        QCOMPARE(m_data->contains(QStringLiteral("127.0.0.4")), said.isEmpty());
        QCOMPARE(m_data->entry(QStringLiteral("127.0.0.4")).moreChecks, taken);
        auto* box = dialog.findChild<QMessageBox*>(QStringLiteral("refusal"));
        QCOMPARE(box ? box->text() : QString(), said);
    }

    // Shown at its default size, with the ARP note up, every text and box of a device dialog reads
    // whole and nothing is drawn over the check; so do the boxes of devices whose limits differ.
    void dialogsShowEveryFieldWhole_data()
    {
        QTest::addColumn<bool>("edit");
        QTest::addColumn<QString>("address");
        QTest::newRow("add, IPv4 off the links") << false << "127.0.0.4";
        QTest::newRow("add, IPv6") << false << "fd00::20";
        QTest::newRow("edit, IPv6") << true << "fd00::20";
        QTest::newRow("edit, two devices whose limits differ") << true << QString();
    }

    void dialogsShowEveryFieldWhole()
    {
        QFETCH(bool, edit);
        QFETCH(QString, address);
        DeviceEntry entry(address.isEmpty() ? QStringLiteral("127.0.0.4") : address, QString(), 3, false,
                          NoReplyResult);
        entry.check = DeviceCheck{DeviceCheck::Arp, 0};
        std::unique_ptr<QDialog> dialog;
        if (address.isEmpty()) {
            DeviceEntry other(QStringLiteral("127.0.0.5"), QString(), 3, false, NoReplyResult);
            other.slowLimits = {300, 5, 20};
            dialog = std::make_unique<EditDeviceEntryDialog>(QList<DeviceEntry>{entry, other});
        } else if (edit) {
            dialog = std::make_unique<EditDeviceEntryDialog>(entry);
        } else {
            dialog = std::make_unique<AddDeviceDialog>();
            dialog->show();
            typeInto(field<QLineEdit>(dialog.get(), "ipEdit"), address);
            QTest::keyClick(field<QComboBox>(dialog.get(), "checkCombo"), Qt::Key_End);
        }
        if (edit)
            dialog->show();
        auto* note = field<QLabel>(dialog.get(), "checkNote");
        QTRY_COMPARE(note->isVisible(), !address.isEmpty());
        QCoreApplication::processEvents();
        for (QWidget* widget : dialog->findChildren<QWidget*>()) {
            if (!widget->isVisible() || !(qobject_cast<QLabel*>(widget) || qobject_cast<QAbstractSpinBox*>(widget)))
                continue;
            const QString what = widget->objectName() + QLatin1Char(' ')
                + (qobject_cast<QLabel*>(widget) ? qobject_cast<QLabel*>(widget)->text()
                                                 : qobject_cast<QAbstractSpinBox*>(widget)->text());
            if (!qobject_cast<QLabel*>(widget) || !qobject_cast<QLabel*>(widget)->wordWrap())
                QVERIFY2(widget->sizeHint().width() <= widget->width(), qPrintable(what));
            QVERIFY2(widget->minimumSizeHint().height() <= widget->height(), qPrintable(what));
        }
        for (const char* name : {"checkCombo", "portSpin"}) {
            QWidget* box = field<QWidget>(dialog.get(), name);
            const QRect boxAt(box->mapTo(dialog.get(), QPoint()), box->size());
            const QRect noteAt(note->mapTo(dialog.get(), QPoint()), note->size());
            QVERIFY2(note->isHidden() || !boxAt.intersects(noteAt), name);
            QVERIFY2(box->height() >= box->minimumSizeHint().height(), name);
        }
    }

    // ARP cannot ask an IPv6 address: the note says so and the dialog does not add it.
    void arpIsRefusedForAnIpv6Address()
    {
        AddDeviceDialog dialog;
        dialog.show();
        typeInto(field<QLineEdit>(&dialog, "ipEdit"), QStringLiteral("fd00::20"));
        QTest::keyClick(field<QComboBox>(&dialog, "checkCombo"), Qt::Key_End);
        QCOMPARE(field<QLabel>(&dialog, "checkNote")->text(), QStringLiteral("ARP is for IPv4 addresses only."));
        pressButton(&dialog, "okButton");
        QVERIFY(dialog.isVisible());
        QVERIFY(m_data->entries().isEmpty());
        auto* box = dialog.findChild<QMessageBox*>(QStringLiteral("refusal"));
        QVERIFY(box);
        QCOMPARE(box->text(), QStringLiteral("ARP is for IPv4 addresses only."));
    }

    // Limits typed are the device's own; a box emptied follows the settings again, and where
    // several devices differ, a box left as it is keeps each one's.
    void slowLimitsAreTheDevicesOwnOrTheSettings()
    {
        const auto typeLimit = [](QWidget* dialog, const char* name, const QString& text) {
            auto* box = field<QSpinBox>(dialog, name);
            box->setFocus();
            box->selectAll();
            if (text.isEmpty())
                QTest::keyClick(box, Qt::Key_Backspace);
            else
                QTest::keyClicks(box, text);
        };
        {
            AddDeviceDialog dialog;
            dialog.show();
            QCOMPARE(field<QSpinBox>(&dialog, "slowAverageSpin")->text(), QStringLiteral("Use the settings"));
            typeInto(field<QLineEdit>(&dialog, "ipEdit"), QStringLiteral("a"));
            typeLimit(&dialog, "slowAverageSpin", QStringLiteral("300"));
            pressButton(&dialog, "okButton");
        }
        const DeviceEntry::SlowLimits averageOnly{300, std::nullopt, std::nullopt};
        QCOMPARE(m_data->entry(QStringLiteral("a")).slowLimits, averageOnly);
        m_data->addEntry(DeviceEntry(QStringLiteral("b"), QString(), DeviceTypePC, false, NoReplyResult));
        {
            EditDeviceEntryDialog dialog(m_data->entries());
            dialog.show();
            QCOMPARE(field<QSpinBox>(&dialog, "slowAverageSpin")->text(), QStringLiteral("Each keeps its own"));
            QCOMPARE(field<QSpinBox>(&dialog, "slowLossSpin")->text(), QStringLiteral("Use the settings"));
            typeLimit(&dialog, "slowLossSpin", QStringLiteral("0"));
            pressButton(&dialog, "okButton");
        }
        const DeviceEntry::SlowLimits averageAndNoLoss{300, 0, std::nullopt};
        QCOMPARE(m_data->entry(QStringLiteral("a")).slowLimits, averageAndNoLoss);
        const DeviceEntry::SlowLimits noLoss{std::nullopt, 0, std::nullopt};
        QCOMPARE(m_data->entry(QStringLiteral("b")).slowLimits, noLoss);
        EditDeviceEntryDialog dialog(m_data->entry(QStringLiteral("a")));
        dialog.show();
        typeLimit(&dialog, "slowAverageSpin", QString());
        pressButton(&dialog, "okButton");
        QCOMPARE(m_data->entry(QStringLiteral("a")).slowLimits, noLoss);
    }

    // The "Advanced" fold opens on a click; the echo options are typed and ticked there, and
    // only an echo check takes them.
    void advancedFoldSetsTheEchoOptions_data()
    {
        QTest::addColumn<bool>("edit");
        QTest::addColumn<bool>("tcp");
        QTest::addColumn<QString>("more"); // typed into "More checks"
        QTest::addColumn<QString>("size"); // typed; empty: left as it is
        QTest::addColumn<bool>("clickDontFragment");
        QTest::addColumn<int>("payloadSize");
        QTest::addColumn<bool>("dontFragment");
        QTest::newRow("add, 1200 bytes unfragmented") << false << false << ""
                                                      << "1200" << true << 1200 << true;
        QTest::newRow("add, no data") << false << false << ""
                                      << "0" << false << 0 << false;
        QTest::newRow("add, beyond the largest") << false << false << ""
                                                 << "99999" << false << 9999 << false;
        QTest::newRow("edit, back to the default") << true << false << ""
                                                   << "40" << true << 40 << false;
        QTest::newRow("add, TCP check") << false << true << ""
                                        << "" << false << 40 << false;
        QTest::newRow("add, TCP check and an echo beside") << false << true << "echo"
                                                           << "1200" << false << 1200 << false;
    }

    void advancedFoldSetsTheEchoOptions()
    {
        QFETCH(bool, edit);
        QFETCH(bool, tcp);
        QFETCH(QString, more);
        QFETCH(QString, size);
        QFETCH(bool, clickDontFragment);
        QFETCH(int, payloadSize);
        QFETCH(bool, dontFragment);
        const QString address = QStringLiteral("127.0.0.4");
        std::unique_ptr<QDialog> dialog;
        if (edit) {
            DeviceEntry entry(address, QString(), DeviceTypePC, false, NoReplyResult);
            entry.echo = {1472, true};
            m_data->addEntry(entry);
            dialog = std::make_unique<EditDeviceEntryDialog>(entry);
            dialog->show();
        } else {
            dialog = std::make_unique<AddDeviceDialog>();
            dialog->show();
            typeInto(field<QLineEdit>(dialog.get(), "ipEdit"), address);
        }
        if (tcp)
            QTest::keyClick(field<QComboBox>(dialog.get(), "checkCombo"), Qt::Key_Down);
        typeInto(field<QLineEdit>(dialog.get(), "moreChecksEdit"), more);
        auto* spin = field<QSpinBox>(dialog.get(), "payloadSizeSpin");
        auto* unfragmented = field<QCheckBox>(dialog.get(), "dontFragmentCheckBox");
        // An entry with options of its own shows them open.
        QCOMPARE(spin->isVisible(), edit);
        if (!edit)
            QTest::mouseClick(field<QWidget>(dialog.get(), "advancedFold"), Qt::LeftButton);
        QTRY_VERIFY(spin->isVisible());
        const bool echoSent = !tcp || !more.isEmpty();
        QCOMPARE(spin->isEnabled(), echoSent);
        QCOMPARE(field<QLabel>(dialog.get(), "echoOptionsNote")->isVisible(), !echoSent);
        if (!size.isEmpty()) {
            spin->setFocus();
            spin->selectAll();
            QTest::keyClicks(spin, size);
        }
        if (clickDontFragment)
            clickCheckBox(unfragmented);
        pressButton(dialog.get(), "okButton");
        const EchoOptions expected{std::uint16_t(payloadSize), dontFragment};
        QCOMPARE(m_data->entry(address).echo, expected);
    }

    // Several entries with different checks keep their own unless one is chosen for all.
    void multiEditKeepsOrSetsTheChecks()
    {
        DeviceEntry web(QStringLiteral("w"), QString(), DeviceTypeWeb, false, NoReplyResult);
        web.check = DeviceCheck::tcp(443);
        m_data->addEntry(web);
        m_data->addEntry(DeviceEntry(QStringLiteral("p"), QString(), DeviceTypePC, false, NoReplyResult));
        {
            EditDeviceEntryDialog dialog(m_data->entries());
            dialog.show();
            QCOMPARE(field<QComboBox>(&dialog, "checkCombo")->currentIndex(), -1);
            pressButton(&dialog, "okButton");
        }
        QCOMPARE(m_data->entry(QStringLiteral("w")).check, DeviceCheck::tcp(443));
        QCOMPARE(m_data->entry(QStringLiteral("p")).check, DeviceCheck{});
        EditDeviceEntryDialog dialog(m_data->entries());
        dialog.show();
        auto* check = field<QComboBox>(&dialog, "checkCombo");
        check->setFocus();
        QTest::keyClick(check, Qt::Key_End);
        pressButton(&dialog, "okButton");
        QCOMPARE(m_data->entry(QStringLiteral("w")).check, DeviceCheck::arp());
        QCOMPARE(m_data->entry(QStringLiteral("p")).check, DeviceCheck::arp());
    }

    void multiEditShowsDifferingPortsAsSeveral_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<int>("first");
        QTest::addColumn<int>("second");
        QTest::newRow("left as it is") << QString() << 80 << 8080;
        QTest::newRow("a port typed") << "443" << 443 << 443;
    }

    // Ports that differ show as "(several)", not as the first device's, and stay each
    // device's own until one is typed for all.
    void multiEditShowsDifferingPortsAsSeveral()
    {
        QFETCH(QString, typed);
        QFETCH(int, first);
        QFETCH(int, second);
        for (const auto& [ip, number] : {std::pair{"w", 80}, {"v", 8080}}) {
            DeviceEntry web(QString::fromLatin1(ip), QString(), DeviceTypeWeb, false, NoReplyResult);
            web.check = DeviceCheck::tcp(std::uint16_t(number));
            m_data->addEntry(web);
        }
        EditDeviceEntryDialog dialog(m_data->entries());
        dialog.show();
        auto* port = field<QSpinBox>(&dialog, "portSpin");
        QCOMPARE(field<QComboBox>(&dialog, "checkCombo")->currentText(), QStringLiteral("TCP port"));
        QCOMPARE(port->text(), QStringLiteral("(several)"));
        if (!typed.isEmpty()) {
            port->setFocus();
            port->selectAll();
            QTest::keyClicks(port, typed);
        }
        pressButton(&dialog, "okButton");
        QCOMPARE(m_data->entry(QStringLiteral("w")).check, DeviceCheck::tcp(std::uint16_t(first)));
        QCOMPARE(m_data->entry(QStringLiteral("v")).check, DeviceCheck::tcp(std::uint16_t(second)));
    }

    void editShowsTheEntryAndChangesOnlyItsUserFields_data()
    {
        QTest::addColumn<int>("type");
        QTest::addColumn<QString>("shown");
        QTest::addColumn<int>("stored");
        QTest::newRow("AP") << 1 << "AP" << 1;
        QTest::newRow("Web") << 4 << "Web" << 4;
        QTest::newRow("unknown shows PC") << 9 << "PC" << 3;
        QTest::newRow("zero shows PC") << 0 << "PC" << 3;
    }

    void editShowsTheEntryAndChangesOnlyItsUserFields()
    {
        QFETCH(int, type);
        QFETCH(QString, shown);
        QFETCH(int, stored);
        m_data->addEntry(DeviceEntry(QStringLiteral("h"), QStringLiteral("desc"), type, false, NoReplyResult));
        m_data->setPingResults({{QStringLiteral("h"), 0, ProbeResult::reply(8ms)}});
        EditDeviceEntryDialog dialog(m_data->entry(QStringLiteral("h")));
        dialog.show();
        QCOMPARE(dialog.windowTitle(), QStringLiteral("Edit Device Entry - Tarnwick"));
        QCOMPARE(field<QLabel>(&dialog, "ipLabel")->text(), QStringLiteral("h"));
        QCOMPARE(field<QComboBox>(&dialog, "typeCombo")->currentText(), shown);
        QCOMPARE(field<QLineEdit>(&dialog, "descriptionEdit")->text(), QStringLiteral("desc"));
        clickCheckBox(field<QCheckBox>(&dialog, "informCheckBox"));

        QSignalSpy changed(m_data, &Data::DeviceEntryChanged);
        pressButton(&dialog, "okButton");
        QCOMPARE(changed.size(), 1);
        const DeviceEntry e = m_data->entry(QStringLiteral("h"));
        QCOMPARE(e.type, stored);
        QVERIFY(e.informOnStateChange);
        QCOMPARE(e.description, QStringLiteral("desc"));
        QCOMPARE(e.state, int(DeviceStateConnected));
        QCOMPARE(e.pingResult, QStringLiteral("8"));
        QCOMPARE(dialog.result(), int(QDialog::Accepted));
    }

    // Enter in the Edit dialog keeps the edit (it used to mean "Cancel").
    void enterInTheEditDialogKeepsTheEdit()
    {
        m_data->addEntry(DeviceEntry(QStringLiteral("h"), QStringLiteral("desc"), 2, false, NoReplyResult));
        EditDeviceEntryDialog dialog(m_data->entry(QStringLiteral("h")));
        dialog.show();
        auto* description = field<QLineEdit>(&dialog, "descriptionEdit");
        description->setFocus();
        description->selectAll();
        QTest::keyClicks(description, QStringLiteral("new"));
        QTest::keyClick(description, Qt::Key_Return);
        QTRY_VERIFY(!dialog.isVisible());
        QCOMPARE(dialog.result(), int(QDialog::Accepted));
        QCOMPARE(m_data->entry(QStringLiteral("h")).description, QStringLiteral("new"));
    }

    // An entry the list gave no address gets one in the Edit dialog, keeping what the user set;
    // an address that cannot be added is refused as in the Add dialog.
    void editGivesAnEntryWithoutAnAddressOne_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<bool>("taken");
        QTest::newRow("address") << "127.0.0.5" << true;
        QTest::newRow("listed already") << "127.0.0.1" << false;
        QTest::newRow("not an address") << "a b" << false;
    }

    void editGivesAnEntryWithoutAnAddressOne()
    {
        QFETCH(QString, typed);
        QFETCH(bool, taken);
        const QString key = DeviceEntry::keyWithoutAddress(1);
        m_data->addEntry(DeviceEntry(QStringLiteral("127.0.0.1"), QString(), 2, false, NoReplyResult));
        m_data->addEntry(DeviceEntry(key, QStringLiteral("printer"), 3, true, NoReplyResult));
        EditDeviceEntryDialog dialog(m_data->entry(key));
        dialog.show();
        typeInto(field<QLineEdit>(&dialog, "ipEdit"), typed);
        pressButton(&dialog, "okButton");
        QCOMPARE(dialog.isVisible(), !taken);
        QCOMPARE(m_data->contains(key), !taken);
        if (!taken) {
            QTRY_VERIFY(dialog.findChild<QMessageBox*>(QStringLiteral("refusal")));
            return;
        }
        const DeviceEntry given = m_data->entry(typed);
        QCOMPARE(given.description, QStringLiteral("printer"));
        QCOMPARE(given.type, 3);
        QVERIFY(given.informOnStateChange);
    }

    void editOfARemovedEntryOrCancelChangesNothing()
    {
        m_data->addEntry(DeviceEntry(QStringLiteral("h"), QStringLiteral("desc"), 2, false, NoReplyResult));
        QSignalSpy changed(m_data, &Data::DeviceEntryChanged);
        {
            EditDeviceEntryDialog dialog(m_data->entry(QStringLiteral("h")));
            typeInto(field<QLineEdit>(&dialog, "descriptionEdit"), QStringLiteral("new"));
            pressButton(&dialog, "cancelButton");
            QCOMPARE(dialog.result(), int(QDialog::Rejected));
        }
        QCOMPARE(m_data->entry(QStringLiteral("h")).description, QStringLiteral("desc"));
        EditDeviceEntryDialog dialog(m_data->entry(QStringLiteral("h")));
        dialog.show();
        m_data->removeEntry(QStringLiteral("h"));
        pressButton(&dialog, "okButton");
        QVERIFY(!dialog.isVisible());
        QCOMPARE(changed.size(), 0);
        QVERIFY(m_data->entries().isEmpty());
    }

    // Typed key by key: only digits get in, and nothing beyond ten minutes.
    void settingsNumbersAreDigitsWithinBounds_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<int>("stored");
        QTest::addColumn<QString>("shown");
        QTest::newRow("leading zero") << "0250" << 250 << "250";
        QTest::newRow("plus sign") << "+40" << 40 << "40";
        QTest::newRow("minus sign") << "-100" << 100 << "100";
        QTest::newRow("a unit") << "2s" << 2 << "2";
        QTest::newRow("letters") << "abc" << 1000 << "";
        QTest::newRow("beyond ten minutes") << "700000" << 70000 << "70000";
        QTest::newRow("ten minutes") << "600000" << 600000 << "600000";
    }

    void settingsNumbersAreDigitsWithinBounds()
    {
        QFETCH(QString, typed);
        QFETCH(int, stored);
        QFETCH(QString, shown);
        SettingsDialog dialog;
        dialog.show();
        QCOMPARE(dialog.windowTitle(), QStringLiteral("Settings - Tarn Wick"));
        auto* timeout = field<QLineEdit>(&dialog, "pingTimeoutLineEdit");
        QCOMPARE(timeout->text(), QStringLiteral("1000"));
        timeout->selectAll();
        QTest::keyClick(timeout, Qt::Key_Delete);
        QTest::keyClicks(timeout, typed);
        QCOMPARE(timeout->text(), shown);
        pressButton(&dialog, "okButton");
        QCOMPARE(Settings::instance().pingTimeout.load(), stored);
    }

    // The watch's period: a shorter one than the shortest is kept as the shortest, 0 is off;
    // the networks are kept as typed, trimmed.
    void settingsNetworkWatch_data()
    {
        QTest::addColumn<int>("before");
        QTest::addColumn<QString>("typed"); // "up" and "down": the arrow keys
        QTest::addColumn<int>("stored");
        QTest::newRow("off") << 60 << "0" << 0;
        QTest::newRow("shorter than the shortest") << 60 << "5" << 10;
        QTest::newRow("beyond a week") << 60 << "700000" << 70000;
        QTest::newRow("a step up from off") << 0 << "up" << 10;
        QTest::newRow("a step down from the shortest") << 10 << "down" << 0;
    }

    void settingsNetworkWatch()
    {
        QFETCH(int, before);
        QFETCH(QString, typed);
        QFETCH(int, stored);
        Settings::instance().set(&Settings::networkWatchPeriod, before);
        SettingsDialog dialog;
        dialog.show();
        auto* period = field<QSpinBox>(&dialog, "networkWatchPeriodSpinBox");
        QCOMPARE(period->text(), before == 0 ? QStringLiteral("Off") : QStringLiteral("%1 seconds").arg(before));
        if (typed == QLatin1String("up") || typed == QLatin1String("down")) {
            QTest::keyClick(period, typed == QLatin1String("up") ? Qt::Key_Up : Qt::Key_Down);
        } else {
            QTest::keyClick(period, Qt::Key_A, Qt::ControlModifier);
            QTest::keyClicks(period, typed);
        }
        auto* networks = field<QLineEdit>(&dialog, "networkWatchPrefixesLineEdit");
        QCOMPARE(networks->placeholderText(), QStringLiteral("the directly connected networks"));
        typeInto(networks, QStringLiteral(" 10.0.0.0/24 fd00::/64 "));
        pressButton(&dialog, "okButton");
        QCOMPARE(Settings::instance().networkWatchPeriod.load(), stored);
        QCOMPARE(Settings::instance().networkWatchPrefixes, QStringLiteral("10.0.0.0/24 fd00::/64"));
    }

    // Probing one at a time, the dialog says how long a pass over the list takes with the
    // time-out and gap typed, and points at the period when a pass is long; side by side, how
    // often devices are really probed where the list is too long for the period.
    void passOverTheListIsShown_data()
    {
        QTest::addColumn<int>("devices");
        QTest::addColumn<QString>("timeout");
        QTest::addColumn<QString>("period");
        QTest::addColumn<QString>("ceiling"); // probes a second
        QTest::addColumn<QString>("shown"); // empty: no such line
        QTest::newRow("short pass") << 10 << "1000"
                                    << "0"
                                    << "5000"
                                    << "A pass over the 10 devices takes 5 s,\nup to 15 s when none answers.";
        QTest::newRow("long pass") << 250 << "1000"
                                   << "0"
                                   << "5000"
                                   << "A pass over the 250 devices takes 2 min 5 s,\nup to 6 min 15 s when none "
                                      "answers.\n\"Probe every device every N seconds\" probes them side by "
                                      "side\ninstead, each every N seconds.";
        QTest::newRow("side by side") << 250 << "1000"
                                      << "5"
                                      << "5000"
                                      << "";
        // More devices a second than the engine sends: each is probed less often than asked.
        QTest::newRow("side by side, list too long") << 6000 << "1000"
                                                     << "1"
                                                     << "5000"
                                                     << "With 6000 devices, each is probed about every 1.2 s.";
        QTest::newRow("side by side, the most raised") << 6000 << "1000"
                                                       << "1"
                                                       << "10000"
                                                       << "";
        // Below the least the engine takes, the least holds.
        QTest::newRow("side by side, the most too low") << 1500 << "1000"
                                                        << "1"
                                                        << "10"
                                                        << "With 1500 devices, each is probed about every 1.5 s.";
    }

    void passOverTheListIsShown()
    {
        QFETCH(int, devices);
        QFETCH(QString, timeout);
        QFETCH(QString, period);
        QFETCH(QString, ceiling);
        QFETCH(QString, shown);
        for (int i = 0; i < devices; ++i)
            m_data->addEntry(DeviceEntry(QStringLiteral("127.0.%1.%2").arg(i / 250).arg(i % 250 + 1), QString(), 3,
                                         false, NoReplyResult));
        SettingsDialog dialog;
        dialog.show();
        // Whatever the line says, the rows below it stay under the mouse.
        auto* below = field<QLineEdit>(&dialog, "disconnectAfterLineEdit");
        const QPoint before = below->mapTo(&dialog, QPoint());
        typeInto(field<QLineEdit>(&dialog, "pingTimeoutLineEdit"), timeout);
        typeInto(field<QLineEdit>(&dialog, "probePeriodLineEdit"), period);
        typeInto(field<QLineEdit>(&dialog, "mostProbesPerSecondLineEdit"), ceiling);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
        QCOMPARE(below->mapTo(&dialog, QPoint()), before);
        auto* pass = field<QLabel>(&dialog, "passLabel");
        QCOMPARE(pass->isVisible() ? pass->text() : QString(), shown);
        dialog.reject();
    }

    // What OK keeps is what the program uses: a number below its least is kept as the least.
    void numbersAreKeptAsUsed_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<int>("kept");
        QTest::newRow("raised") << "20000" << 20000;
        QTest::newRow("below the least") << "10" << 1000;
    }

    void numbersAreKeptAsUsed()
    {
        QFETCH(QString, typed);
        QFETCH(int, kept);
        SettingsDialog dialog;
        dialog.show();
        typeInto(field<QLineEdit>(&dialog, "mostProbesPerSecondLineEdit"), typed);
        pressButton(&dialog, "okButton");
        QCOMPARE(Settings::instance().mostProbesPerSecond.load(), kept);
    }

    // "Start with my desktop session" writes the autostart entry as the dialog closes with it
    // set, and removes it when closed with it unset; Cancel leaves the entry as it was.
    void autostartEntryFollowsTheSetting()
    {
        const QString entry = m_config.filePath(QStringLiteral("autostart/tarnwick.desktop"));
        QCOMPARE(AutostartEntry::filePath(), entry);
        {
            SettingsDialog dialog;
            dialog.show();
            clickCheckBox(field<QCheckBox>(&dialog, "autostartCheckBox"));
            pressButton(&dialog, "cancelButton");
        }
        QVERIFY(!QFile::exists(entry));
        {
            SettingsDialog dialog;
            dialog.show();
            clickCheckBox(field<QCheckBox>(&dialog, "autostartCheckBox"));
            clickCheckBox(field<QCheckBox>(&dialog, "startHiddenCheckBox"));
            pressButton(&dialog, "okButton");
        }
        QVERIFY(Settings::instance().startHidden);
        QFile file(entry);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray text = file.readAll();
        QVERIFY(text.startsWith("[Desktop Entry]\nType=Application\nName=Tarnwick\n"));
        QVERIFY(text.contains("\nExec="));
        file.close();
        {
            SettingsDialog dialog;
            dialog.show();
            QVERIFY(field<QCheckBox>(&dialog, "autostartCheckBox")->isChecked());
            clickCheckBox(field<QCheckBox>(&dialog, "autostartCheckBox"));
            pressButton(&dialog, "okButton");
        }
        QVERIFY(!QFile::exists(entry));
    }

    // Whatever the program's name and folder hold, the entry passes the desktop's validator and
    // a real launch starts that program in that folder.
    void autostartEntryStartsTheProgramInItsFolder_data()
    {
        QTest::addColumn<QString>("program");
        QTest::addColumn<QString>("folder");
        QTest::newRow("plain") << "tarnwick"
                               << "data";
        QTest::newRow("percent in the program") << "tarn%wick"
                                                << "data";
        QTest::newRow("backslash in the folder") << "tarnwick"
                                                 << "back\\slash";
        QTest::newRow("line break in the folder") << "tarnwick"
                                                  << "two\nlines";
        QTest::newRow("shell characters in the program") << "it's \"$HOME\" `x` \\ 100%"
                                                         << "data";
        QTest::newRow("tab and percent in the folder") << "tarnwick"
                                                       << "50%\tdone";
    }

    void autostartEntryStartsTheProgramInItsFolder()
    {
        QFETCH(QString, program);
        QFETCH(QString, folder);
        const QString validator = QStandardPaths::findExecutable(QStringLiteral("desktop-file-validate"));
        const QString gio = QStandardPaths::findExecutable(QStringLiteral("gio"));
        if (validator.isEmpty() || gio.isEmpty())
            QSKIP("needs desktop-file-validate (desktop-file-utils) and gio (libglib2.0-bin)");
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QString folderPath = dir.filePath(folder);
        QVERIFY(QDir().mkpath(folderPath));
        // A stand-in for the program that says where it was started.
        const QString programPath = dir.filePath(program);
        QVERIFY(TestFiles::writeScript(programPath, "pwd -P > \"$TARNWICK_TEST_MARK\"\n"));

        QString why;
        const QString text = AutostartEntry::contents(programPath, folderPath, &why);
        QVERIFY2(!text.isEmpty(), qPrintable(why));
        const QString entry = dir.filePath(QStringLiteral("entry.desktop"));
        QFile file(entry);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(text.toUtf8());
        file.close();

        QProcess validate;
        validate.setProcessChannelMode(QProcess::MergedChannels);
        validate.start(validator, {entry});
        QVERIFY(validate.waitForFinished(20000));
        QVERIFY2(validate.exitCode() == 0 && validate.readAll().isEmpty(), qPrintable(text));

        const QString mark = dir.filePath(QStringLiteral("mark"));
        QProcess launch;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("TARNWICK_TEST_MARK"), mark);
        launch.setProcessEnvironment(environment);
        launch.setProcessChannelMode(QProcess::MergedChannels);
        launch.start(gio, {QStringLiteral("launch"), entry});
        QVERIFY(launch.waitForFinished(20000));
        QVERIFY2(launch.exitCode() == 0, launch.readAll().constData());
        const QByteArray started = QFile::encodeName(QFileInfo(folderPath).canonicalFilePath()) + '\n';
        QTRY_COMPARE_WITH_TIMEOUT(readFile(mark), started, 20000);
    }

    // A folder the format cannot say is refused, not written wrong, and the user is told why;
    // with the menu's launcher installed, the entry uses it only where it starts Tarnwick in
    // the same folder.
    void autostartEntryRefusesOrUsesTheLauncher()
    {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QString unsayable = dir.filePath(QStringLiteral("a\x01"
                                                              "b"));
        QVERIFY(QDir().mkpath(unsayable));
        const QString before = QDir::currentPath();
        QVERIFY(QDir::setCurrent(unsayable));
        {
            const auto back = qScopeGuard([before] { QDir::setCurrent(before); });
            SettingsDialog dialog;
            dialog.show();
            auto* autostart = field<QCheckBox>(&dialog, "autostartCheckBox");
            QTest::mouseClick(autostart, Qt::LeftButton, {}, QPoint(8, autostart->height() / 2));
            QVERIFY(autostart->isChecked());
            pressButton(&dialog, "okButton");
        }
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        QVERIFY(box);
        QVERIFY2(box->text().contains(QStringLiteral("control character")), qPrintable(box->text()));
        delete box;
        QVERIFY(!AutostartEntry::exists());
        QVERIFY(!Settings::instance().autostart);

        const QByteArray path = qgetenv("PATH");
        // Only this test reads the data folder; nothing is left of it afterwards.
        const auto restore = qScopeGuard([path] {
            qputenv("PATH", path);
            qunsetenv("XDG_DATA_HOME");
        });
        QVERIFY(QDir().mkpath(dir.filePath(QStringLiteral("bin"))));
        QFile launcher(dir.filePath(QStringLiteral("bin/tarnwick-desktop")));
        QVERIFY(launcher.open(QIODevice::WriteOnly));
        launcher.close();
        QVERIFY(launcher.setPermissions(QFile::ReadOwner | QFile::ExeOwner));
        qputenv("PATH", QFile::encodeName(dir.filePath(QStringLiteral("bin"))) + ':' + path);
        qputenv("XDG_DATA_HOME", QFile::encodeName(dir.filePath(QStringLiteral("share"))));
        QVERIFY(QDir().mkpath(dir.filePath(QStringLiteral("share/tarnwick"))));
        const QString own = AutostartEntry::contents(QStringLiteral("/usr/bin/tarnwick"),
                                                     dir.filePath(QStringLiteral("share/tarnwick")));
        QVERIFY2(own.contains(QStringLiteral("\nExec=tarnwick-desktop\n")) && !own.contains(QStringLiteral("Path=")),
                 qPrintable(own));
        const QString elsewhere = AutostartEntry::contents(QStringLiteral("/usr/bin/tarnwick"), dir.path());
        QVERIFY2(elsewhere.contains(QStringLiteral("\nExec=/usr/bin/tarnwick\nPath=%1\n").arg(dir.path())),
                 qPrintable(elsewhere));
    }

    void metricsAddressIsKeptTrimmed()
    {
        SettingsDialog dialog;
        dialog.show();
        QTest::keyClicks(field<QLineEdit>(&dialog, "metricsAddressLineEdit"), QStringLiteral(" 127.0.0.1:9716 "));
        pressButton(&dialog, "okButton");
        QCOMPARE(Settings::instance().metricsAddress, QStringLiteral("127.0.0.1:9716"));
        Settings::instance().metricsAddress.clear();
    }

    // An address the program would refuse at its start is refused as it is typed, in the
    // program's words, and never stored: Escape keeps the edits, but not that one.
    void metricsAddressIsCheckedAsTyped()
    {
        SettingsDialog dialog;
        dialog.show();
        typeInto(field<QLineEdit>(&dialog, "metricsAddressLineEdit"), QStringLiteral("localhost:9716"));
        QCOMPARE(field<QLabel>(&dialog, "metricsProblemLabel")->text(),
                 QStringLiteral("\"localhost:9716\" is not an address to serve metrics at: give an IPv4 address or an "
                                "IPv6 address in brackets, not a name"));
        QVERIFY(!field<QPushButton>(&dialog, "okButton")->isEnabled());
        QTest::keyClick(&dialog, Qt::Key_Escape);
        QCOMPARE(Settings::instance().metricsAddress, QString());
    }

    // The first hop is picked among the listed devices, by the keys a user presses on the box;
    // the one already set is shown chosen.
    void firstHopIsPickedAmongTheDevices()
    {
        Data data;
        for (const char* ip : {"127.0.0.1", "127.0.0.2"})
            data.addEntry(
                DeviceEntry(QString::fromLatin1(ip), QStringLiteral("gw"), DeviceTypePC, true, NoReplyResult));
        Data::setInstance(&data);
        const auto restore = qScopeGuard([] {
            Data::setInstance(nullptr);
            Settings::instance().firstHop.clear();
        });
        Settings::instance().firstHop = QStringLiteral("127.0.0.1");
        SettingsDialog dialog;
        dialog.show();
        auto* box = field<QComboBox>(&dialog, "firstHopComboBox");
        QCOMPARE(box->currentText(), QStringLiteral("127.0.0.1 (gw)"));
        box->setFocus();
        QTest::keyClick(box, Qt::Key_Down);
        pressButton(&dialog, "okButton");
        QCOMPARE(Settings::instance().firstHop, QStringLiteral("127.0.0.2"));
    }

    // The dialog edits a copy: while it is open the program goes on with the settings as they
    // were. "Cancel" leaves the record as it is, changes made elsewhere meanwhile included;
    // Escape keeps the edits as "OK" does, and only the edited fields are set, once each.
    void settingsApplyOnCloseCancelWritesNothing_data()
    {
        QTest::addColumn<QString>("close");
        QTest::addColumn<bool>("kept");
        QTest::newRow("Cancel") << "cancelButton" << false;
        QTest::newRow("OK") << "okButton" << true;
        QTest::newRow("Escape") << "" << true;
    }

    void settingsApplyOnCloseCancelWritesNothing()
    {
        QFETCH(QString, close);
        QFETCH(bool, kept);
        Settings& settings = Settings::instance();
        QSignalSpy changes(&settings.notifier(), &SettingsNotifier::changed);
        SettingsDialog dialog;
        dialog.show();
        clickCheckBox(field<QCheckBox>(&dialog, "playSoundsCheckBox"));
        typeInto(field<QLineEdit>(&dialog, "disconnectAfterLineEdit"), QStringLiteral("3"));
        typeInto(field<QLineEdit>(&dialog, "skinLineEdit"), QStringLiteral("Night"));
        typeInto(field<QLineEdit>(&dialog, "pingTimeGapLineEdit"), QStringLiteral("75"));
        clickCheckBox(field<QCheckBox>(&dialog, "logStateChangeCheckBox"));
        // Typed back to what it was: not an edit.
        typeInto(field<QLineEdit>(&dialog, "pingTimeoutLineEdit"), QStringLiteral("1000"));
        QCOMPARE(settings.skin, QStringLiteral("Default"));
        QCOMPARE(settings.pingTimeGap.load(), 500);
        settings.set(&Settings::windowGeometry, QRect(5, 5, 700, 600));
        QCOMPARE(changes.size(), 1);
        if (close.isEmpty())
            QTest::keyClick(&dialog, Qt::Key_Escape);
        else
            pressButton(&dialog, close.toLatin1().constData());
        QVERIFY(!dialog.isVisible());

        QCOMPARE(settings.windowGeometry, QRect(5, 5, 700, 600));
        QCOMPARE(settings.skin, kept ? QStringLiteral("Night") : QStringLiteral("Default"));
        QCOMPARE(settings.playSounds, kept);
        QCOMPARE(settings.disconnectAfter.load(), kept ? 3 : 1);
        QCOMPARE(settings.pingTimeGap.load(), kept ? 75 : 500);
        QCOMPARE(settings.logStateChange, !kept);
        QCOMPARE(changes.size(), kept ? 6 : 1);
        SettingsDialog second;
        QCOMPARE(field<QLineEdit>(&second, "skinLineEdit")->text(), settings.skin);
    }

    // The test alert goes out with the command as typed, before the dialog has stored it.
    void settingsTestAlertRunsTheTypedCommand()
    {
        QTemporaryDir dir;
        const QString envFile = dir.filePath(QStringLiteral("alert.env"));
        SettingsDialog dialog;
        dialog.show();
        typeInto(field<QLineEdit>(&dialog, "alertCommandLineEdit"),
                 QStringLiteral("/bin/sh -c 'env > \"$0\"' '%1'").arg(envFile));
        pressButton(&dialog, "testAlertButton");
        auto* result = field<QLabel>(&dialog, "testAlertResult");
        QTRY_VERIFY_WITH_TIMEOUT(result->text().contains(QStringLiteral("ran")), 20000);
        // What became of it shows in the visible part of the dialog, below the button.
        auto* scroll = field<QScrollArea>(&dialog, "settingsScrollArea");
        QTRY_VERIFY(
            scroll->viewport()->rect().contains(QRect(result->mapTo(scroll->viewport(), QPoint()), result->size())));
        QFile env(envFile);
        QVERIFY(env.open(QIODevice::ReadOnly));
        const QByteArray variables = env.readAll();
        QVERIFY2(variables.contains("TARNWICK_TITLE=Tarnwick\n") && variables.contains("TARNWICK_TEXT=Test alert\n"),
                 variables.constData());
        QVERIFY(field<QPushButton>(&dialog, "testAlertButton")->isEnabled());
        QVERIFY(Settings::instance().alertCommand.isEmpty());
        pressButton(&dialog, "cancelButton");
    }

    void pingerUsesTheNewTimeoutAtItsNextProbe()
    {
        m_data->addEntry(DeviceEntry(QStringLiteral("h"), QString(), 3, false, NoReplyResult));
        Settings::instance().pingTimeGap = 5;
        QMutex mutex;
        QList<int> timeouts;
        // The probe refers to this function's locals.
        const auto stop = qScopeGuard([] { stopPinger(); });
        startPinger(NetworkProbe::from([&](const QString&, int timeout) {
            QMutexLocker lock(&mutex);
            timeouts << timeout;
            return ProbeResult::reply(1ms);
        }));
        SettingsDialog dialog;
        dialog.show();
        typeInto(field<QLineEdit>(&dialog, "pingTimeoutLineEdit"), QStringLiteral("200"));
        pressButton(&dialog, "okButton");
        qsizetype seen;
        {
            QMutexLocker lock(&mutex);
            seen = timeouts.size();
        }
        QTRY_VERIFY([&]() {
            QMutexLocker lock(&mutex);
            return timeouts.size() >= seen + 2;
        }());
        stopPinger();
        QCOMPARE(timeouts.at(seen + 1), 200);
    }
};

QTEST_MAIN(TestDeviceDialogs)
#include "tst_devicedialogs.moc"
