// SPDX-License-Identifier: GPL-3.0-or-later
#include "../common/PrivateSessionBus.h"
#include "app/AppearanceSwitch.h"
#include "app/DesktopColorScheme.h"
#include "app/MainWindow.h"
#include "data/Data.h"
#include "data/Settings.h"
#include "data/VisualRepresentationData.h"

#include <QApplication>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusVariant>
#include <QDialog>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QScopeGuard>
#include <QTabBar>
#include <QToolTip>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <cmath>
#include <functional>

using namespace Tarnwick;

namespace {

const QString SkinFolder = QStringLiteral(TARNWICK_SOURCE_DIR "/Skins/Default");
const QString Portal = QStringLiteral("org.freedesktop.portal.Desktop");
const QString PortalPath = QStringLiteral("/org/freedesktop/portal/desktop");
const QString PortalSettings = QStringLiteral("org.freedesktop.portal.Settings");

// The relative luminance of a pixel, as WCAG reckons it.
double luminance(QRgb pixel)
{
    const auto linear = [](int channel) {
        const double c = channel / 255.0;
        return c <= 0.04045 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
    };
    return 0.2126 * linear(qRed(pixel)) + 0.7152 * linear(qGreen(pixel)) + 0.0722 * linear(qBlue(pixel));
}

double contrast(QRgb one, QRgb other)
{
    const double a = luminance(one);
    const double b = luminance(other);
    return (std::max(a, b) + 0.05) / (std::min(a, b) + 0.05);
}

// The contrast of the text in a part of a picture with what it stands on: the commonest colour
// there is the background, and the pixel farthest from it the text's own colour (glyph edges
// blend into the background, so this is never more than the real contrast).
double textContrast(const QImage& image, const QRect& part)
{
    QHash<QRgb, int> counts;
    for (int y = part.top(); y <= part.bottom(); ++y) {
        for (int x = part.left(); x <= part.right(); ++x)
            ++counts[image.pixel(x, y)];
    }
    QRgb background = 0;
    for (auto it = counts.cbegin(); it != counts.cend(); ++it)
        background = it.value() > counts.value(background) ? it.key() : background;
    double most = 1;
    for (auto it = counts.cbegin(); it != counts.cend(); ++it)
        most = std::max(most, contrast(it.key(), background));
    return most;
}

double meanLuminance(QWidget* window)
{
    const QImage image = window->grab().toImage();
    double sum = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x)
            sum += luminance(image.pixel(x, y));
    }
    return sum / (double(image.width()) * image.height());
}

// One of each kind of text the window shows, as the skin's sheets style them.
struct Panel
{
    Panel()
    {
        auto* layout = new QVBoxLayout(&dialog);
        for (QWidget* each : QList<QWidget*>{label, disabledLabel, tabs, tree, edit, button, disabledButton})
            layout->addWidget(each);
        disabledLabel->setEnabled(false);
        disabledButton->setEnabled(false);
        tabs->addTab(QStringLiteral("Device list"));
        tabs->addTab(QStringLiteral("Map"));
        tree->setHeaderLabels({QStringLiteral("Address"), QStringLiteral("Description")});
        tree->setAlternatingRowColors(true);
        for (const char* address : {"10.0.0.1", "10.0.0.2", "10.0.0.3"})
            tree->addTopLevelItem(new QTreeWidgetItem({QString::fromLatin1(address), QStringLiteral("Printer")}));
        tree->topLevelItem(1)->setSelected(true);
        menu.addAction(QStringLiteral("Edit"));
        selected = menu.addAction(QStringLiteral("Ping now"));
        menu.addAction(QStringLiteral("Remove"))->setEnabled(false);
        dialog.show();
        menu.popup(QPoint(0, 0));
        menu.setActiveAction(selected);
    }

    QDialog dialog;
    QLabel* label = new QLabel(QStringLiteral("200 devices: 150 connected, 50 disconnected"));
    QLabel* disabledLabel = new QLabel(QStringLiteral("Networks to watch"));
    QTabBar* tabs = new QTabBar;
    QTreeWidget* tree = new QTreeWidget;
    QLineEdit* edit = new QLineEdit(QStringLiteral("Printer 10.0.0.1"));
    QPushButton* button = new QPushButton(QStringLiteral("Add Device"));
    QPushButton* disabledButton = new QPushButton(QStringLiteral("Stop"));
    QMenu menu;
    QAction* selected;
};

// Where a kind of text is: the widget drawn and the part of it the text sits in.
using Place = std::function<std::pair<QWidget*, QRect>(Panel&)>;

QWidget* shownToolTip()
{
    for (QWidget* each : QApplication::topLevelWidgets()) {
        if (each->inherits("QTipLabel") && each->isVisible())
            return each;
    }
    return nullptr;
}

} // namespace

Q_DECLARE_METATYPE(Place)

class TestAppearance : public QObject
{
    Q_OBJECT

    PrivateSessionBus m_bus{QStringLiteral("tarnwick-test-bus")};

    // The portal of a desktop whose preference is the given one.
    void startPortal(uint preference)
    {
        m_bus.startService({Portal, PortalPath, PortalSettings});
        QTRY_VERIFY_WITH_TIMEOUT(m_bus.connection().interface()->isServiceRegistered(Portal).value(), 20000);
        // Read answers a variant holding a variant, as the portal does.
        mockCall("AddMethod",
                 {PortalSettings, QStringLiteral("Read"), QStringLiteral("ss"), QStringLiteral("v"),
                  QStringLiteral("ret = dbus.UInt32(%1, variant_level=2)").arg(preference)});
    }

    void mockCall(const char* method, const QVariantList& arguments)
    {
        QDBusMessage call = QDBusMessage::createMethodCall(
            Portal, PortalPath, QStringLiteral("org.freedesktop.DBus.Mock"), QString::fromLatin1(method));
        call.setArguments(arguments);
        const QDBusMessage reply = m_bus.connection().call(call);
        QVERIFY2(reply.type() == QDBusMessage::ReplyMessage, qPrintable(reply.errorMessage()));
    }

private slots:
    void initTestCase()
    {
        Settings::instance().load(QStringLiteral("no-such-settings.xml"));
        if (const QString missing = PrivateSessionBus::missingTool(); missing.isEmpty())
            QVERIFY(m_bus.start());
    }

    void everyTextReadsInBothLooks_data()
    {
        QTest::addColumn<Appearance>("look");
        QTest::addColumn<Place>("place");
        const auto inset = [](QWidget* widget) {
            return std::pair{widget, widget ? widget->rect().adjusted(3, 3, -3, -3) : QRect()};
        };
        const QList<std::pair<const char*, Place>> kinds = {
            {"label", [=](Panel& p) { return inset(p.label); }},
            {"disabled label", [=](Panel& p) { return inset(p.disabledLabel); }},
            {"list row",
             [](Panel& p) {
                 return std::pair{p.tree->viewport(), p.tree->visualItemRect(p.tree->topLevelItem(0))};
             }},
            {"selected list row",
             [](Panel& p) {
                 return std::pair{p.tree->viewport(), p.tree->visualItemRect(p.tree->topLevelItem(1))};
             }},
            {"header",
             [](Panel& p) {
                 QHeaderView* header = p.tree->header();
                 return std::pair{
                     static_cast<QWidget*>(header),
                     QRect(header->sectionViewportPosition(0), 0, header->sectionSize(0), header->height())};
             }},
            {"selected tab",
             [](Panel& p) {
                 return std::pair{static_cast<QWidget*>(p.tabs), p.tabs->tabRect(0)};
             }},
            {"tab",
             [](Panel& p) {
                 return std::pair{static_cast<QWidget*>(p.tabs), p.tabs->tabRect(1)};
             }},
            {"button", [=](Panel& p) { return inset(p.button); }},
            {"disabled button", [=](Panel& p) { return inset(p.disabledButton); }},
            {"line edit", [=](Panel& p) { return inset(p.edit); }},
            {"menu item",
             [](Panel& p) {
                 return std::pair{static_cast<QWidget*>(&p.menu), p.menu.actionGeometry(p.menu.actions()[0])};
             }},
            {"selected menu item",
             [](Panel& p) {
                 return std::pair{static_cast<QWidget*>(&p.menu), p.menu.actionGeometry(p.selected)};
             }},
            {"disabled menu item",
             [](Panel& p) {
                 return std::pair{static_cast<QWidget*>(&p.menu), p.menu.actionGeometry(p.menu.actions()[2])};
             }},
            {"tooltip",
             [=](Panel& p) {
                 QToolTip::showText(p.dialog.mapToGlobal(QPoint(10, 10)), QStringLiteral("Alerts muted until 22:15"),
                                    &p.dialog);
                 return inset(shownToolTip());
             }},
        };
        for (const auto& [kind, place] : kinds) {
            QTest::addRow("%s, light", kind) << Appearance::Light << place;
            QTest::addRow("%s, dark", kind) << Appearance::Dark << place;
        }
    }

    // Every kind of text stands out at least 4.5:1 from what it stands on, measured on the
    // pixels drawn. The look is put on over the other one while the widgets show, as a switch
    // while running does.
    void everyTextReadsInBothLooks()
    {
        QFETCH(Appearance, look);
        QFETCH(Place, place);
        const auto hideToolTip = qScopeGuard([] { QToolTip::hideText(); });
        Settings settings;
        settings.appearance = look == Appearance::Dark ? Appearance::Light : Appearance::Dark;
        const DesktopColorScheme noDesktop(QDBusConnection(QStringLiteral("no-bus")));
        const AppearanceSwitch appearance(settings, noDesktop, SkinFolder);
        Panel panel;
        settings.set(&Settings::appearance, look);
        const auto [widget, part] = place(panel);
        QVERIFY(widget && !part.isEmpty());
        const double measured = textContrast(widget->grab().toImage(), part);
        QVERIFY2(measured >= 4.5, qPrintable(QStringLiteral("%1:1").arg(measured, 0, 'f', 2)));
    }

    void windowFollowsTheDesktop_data()
    {
        QTest::addColumn<int>("says");
        QTest::addColumn<QString>("changedKey");
        QTest::addColumn<uint>("changedTo");
        QTest::addColumn<bool>("dark");
        QTest::newRow("no portal") << -1 << QString() << 0u << false;
        QTest::newRow("prefers dark") << 1 << QString() << 0u << true;
        QTest::newRow("no preference") << 0 << QString() << 0u << false;
        QTest::newRow("turns dark") << 2 << "color-scheme" << 1u << true;
        QTest::newRow("turns light again") << 1 << "color-scheme" << 2u << false;
        QTest::newRow("another setting changes") << 2 << "contrast" << 1u << false;
    }

    // The window is drawn as the desktop prefers from the start, and turns within a second of
    // the portal's word; a desktop without a portal gets the light window, without a warning.
    void windowFollowsTheDesktop()
    {
        if (const QString missing = PrivateSessionBus::missingTool(); !missing.isEmpty())
            QSKIP(qPrintable(missing));
        QFETCH(int, says);
        QFETCH(QString, changedKey);
        QFETCH(uint, changedTo);
        QFETCH(bool, dark);
        QTest::failOnWarning(QRegularExpression(QStringLiteral(".")));
        if (says >= 0)
            startPortal(uint(says));
        Data data;
        VisualRepresentationData map;
        const auto unpublish = qScopeGuard([this] {
            Data::setInstance(nullptr);
            VisualRepresentationData::setInstance(nullptr);
            m_bus.stopServices();
        });
        Data::setInstance(&data);
        VisualRepresentationData::setInstance(&map);
        data.addEntry(
            DeviceEntry(QStringLiteral("10.0.0.1"), QStringLiteral("Printer"), DeviceTypePC, true, NoReplyResult));
        Settings settings;
        DesktopColorScheme desktop(m_bus.connection());
        const AppearanceSwitch appearance(settings, desktop, SkinFolder);
        MainWindow window;
        window.show();
        QCOMPARE(meanLuminance(&window) < 0.35, says == 1);
        if (!changedKey.isEmpty()) {
            mockCall("EmitSignal",
                     {PortalSettings, QStringLiteral("SettingChanged"), QStringLiteral("ssv"),
                      QVariant::fromValue(QVariantList{
                          QVariant::fromValue(QDBusVariant(QStringLiteral("org.freedesktop.appearance"))),
                          QVariant::fromValue(QDBusVariant(changedKey)),
                          QVariant::fromValue(QDBusVariant(QVariant::fromValue(QDBusVariant(changedTo))))})});
        }
        // The signal came before the answer to the call that sent it: a change that must leave the
        // window as it is has had its chance to change it.
        QCoreApplication::processEvents();
        if (dark)
            QTRY_VERIFY_WITH_TIMEOUT(meanLuminance(&window) < 0.35, 1000);
        else
            QTRY_VERIFY_WITH_TIMEOUT(meanLuminance(&window) > 0.6, 1000);
    }
};

QTEST_MAIN(TestAppearance)
#include "tst_appearance.moc"
