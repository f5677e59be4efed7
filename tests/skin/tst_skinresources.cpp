// SPDX-License-Identifier: GPL-3.0-or-later
#include "data/Settings.h"
#include "skin/SkinResources.h"

#include <QDir>
#include <QFile>
#include <QImage>
#include <QTemporaryDir>
#include <QTest>

using namespace Tarnwick;

namespace {

void writePicture(const QString& path, const QColor& colour)
{
    QImage image(8, 8, QImage::Format_ARGB32);
    image.fill(colour);
    QVERIFY(image.save(path, "PNG"));
}

} // namespace

// The cache is filled once per process and never cleared, so the cases build on each other.
class TestSkinResources : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        QVERIFY(QDir::setCurrent(m_dir.path()));
        QDir().mkpath(QStringLiteral("Skins/Test/x.png"));
        QDir().mkpath(QStringLiteral("Skins/Test/sub"));
        writePicture(QStringLiteral("Skins/Test/ConnectedIcon.png"), Qt::green);
        writePicture(QStringLiteral("Skins/Test/Extra.PNG"), Qt::blue);
        writePicture(QStringLiteral("Skins/Test/.hidden.png"), Qt::red);
        writePicture(QStringLiteral("Skins/Test/sub/deep.png"), Qt::red);
        writePicture(QStringLiteral("Skins/Test/notes.txt"), Qt::red);
        writePicture(QStringLiteral("Skins/top.png"), Qt::yellow);
        QFile broken(QStringLiteral("Skins/Test/broken.png"));
        QVERIFY(broken.open(QIODevice::WriteOnly));
        broken.write("not a picture");
    }

    void skinFolderIsRead_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("found");
        QTest::newRow("picture") << "ConnectedIcon.png" << true;
        QTest::newRow("upper-case extension, own key") << "Extra.PNG" << true;
        QTest::newRow("keys are case-sensitive") << "connectedicon.png" << false;
        QTest::newRow("extension case is part of the key") << "Extra.png" << false;
        QTest::newRow("directory named like a picture") << "x.png" << false;
        QTest::newRow("hidden file") << ".hidden.png" << false;
        QTest::newRow("no recursion") << "deep.png" << false;
        QTest::newRow("not a png") << "notes.txt" << false;
        QTest::newRow("undecodable") << "broken.png" << false;
        QTest::newRow("the skins folder itself") << "top.png" << false;
    }

    void skinFolderIsRead()
    {
        QFETCH(QString, name);
        QFETCH(bool, found);
        Settings::instance().skin = QStringLiteral("Test");
        SkinResources::load();
        QCOMPARE(!SkinResources::image(name).isNull(), found);
        QCOMPARE(!SkinResources::pixmap(name).isNull(), found);
        if (found) {
            QVERIFY(!SkinResources::icon(name).isNull());
            QCOMPARE(SkinResources::image(name).size(), QSize(8, 8));
            QCOMPARE(SkinResources::pixmap(name).toImage().pixelColor(4, 4),
                     SkinResources::image(name).pixelColor(4, 4));
        }
    }

    void emptySkinNameReadsTheSkinsFolder()
    {
        Settings::instance().skin = QString();
        SkinResources::load();
        QCOMPARE(SkinResources::image(QStringLiteral("top.png")).pixelColor(0, 0), QColor(Qt::yellow));
        QVERIFY(SkinResources::image(QStringLiteral("deep.png")).isNull());
    }

    // Whatever the chosen skin lacks comes from "Default", and it is said once; a name that
    // would lead out of "Skins" is not followed.
    void missingPicturesComeFromTheDefaultSkin_data()
    {
        QTest::addColumn<QString>("skin");
        QTest::addColumn<QString>("said");
        QTest::newRow("no such folder") << "NoSuchSkin"
                                        << "\"Skins/NoSuchSkin\" lacks twicon.png";
        QTest::newRow("a path") << "../../etc"
                                << "\"../../etc\" is not a folder name";
        QTest::newRow("parent") << ".."
                                << "\"..\" is not a folder name";
    }

    void missingPicturesComeFromTheDefaultSkin()
    {
        QFETCH(QString, skin);
        QFETCH(QString, said);
        QDir().mkpath(QStringLiteral("Skins/Default"));
        writePicture(QStringLiteral("Skins/Default/twicon.png"), Qt::cyan);
        Settings::instance().skin = skin;
        SkinResources::load();
        QCOMPARE(SkinResources::image(QStringLiteral("twicon.png")).pixelColor(0, 0), QColor(Qt::cyan));
        QVERIFY(!SkinResources::icon(QStringLiteral("twicon.png")).isNull());
        QVERIFY2(SkinResources::problems().join(' ').contains(said), qPrintable(SkinResources::problems().join(' ')));
        QVERIFY(SkinResources::folder().startsWith(QStringLiteral("Skins/")));
        QVERIFY(!SkinResources::folder().contains(QStringLiteral("..")));
    }

    // The shipped skin has every picture the program asks for, at least 64 x 64.
    void defaultSkinIsComplete()
    {
        QVERIFY(QDir::setCurrent(QStringLiteral(TARNWICK_SOURCE_DIR)));
        Settings::instance().skin = QStringLiteral("Default");
        SkinResources::load();
        for (const char* name : {"twicon.png", "ConnectedIcon.png", "DisconnectedIcon.png", "DeviceTypePCIcon.png",
                                 "DeviceTypeAPIcon.png", "DeviceTypeRouterIcon.png", "DeviceTypeWebIcon.png"}) {
            const QImage image = SkinResources::image(QString::fromLatin1(name));
            QVERIFY2(image.width() >= 64 && image.height() >= 64, name);
        }
        QVERIFY(SkinResources::problems().isEmpty());
        QVERIFY(QFile::exists(QStringLiteral("Skins/Default/style.css")));
    }
};

QTEST_MAIN(TestSkinResources)
#include "tst_skinresources.moc"
