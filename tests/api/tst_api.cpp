// SPDX-License-Identifier: GPL-3.0-or-later
#include "api/ApiService.h"
#include "api/ApiToken.h"
#include "data/Data.h"
#include "data/Settings.h"
#include "monitor/MonitorCore.h"
#include "net/NameResolver.h"
#include "net/ProbeEngine.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

#include <sys/stat.h>

using namespace Tarnwick;
using namespace std::chrono_literals;

namespace {

struct Answer
{
    int status = 0;
    QByteArray body;
};

} // namespace

// The API through real HTTP on loopback, against a core whose probes a stand-in answers:
// 127.0.0.1 replies, every other address is silent.
class TestApi : public QObject
{
    Q_OBJECT

    QTemporaryDir m_folder;
    QString m_before = QDir::currentPath();
    Settings m_settings;
    std::unique_ptr<NameResolver> m_resolver;
    std::unique_ptr<ProbeEngine> m_engine;
    std::unique_ptr<MonitorCore> m_core;
    std::unique_ptr<ApiService> m_api;
    QStringList m_reports;
    QByteArray m_token;
    QNetworkAccessManager m_client;
    QJsonObject m_document;

    Answer ask(const QByteArray& method, const QString& path, const QByteArray& body = {},
               const QByteArray& token = "mine")
    {
        QNetworkRequest request(QUrl(QStringLiteral("http://127.0.0.1:%1%2").arg(m_api->port()).arg(path)));
        request.setHeader(QNetworkRequest::ContentTypeHeader, QByteArray("application/json"));
        if (!token.isEmpty())
            request.setRawHeader("Authorization", "Bearer " + (token == "mine" ? m_token : token));
        QNetworkReply* reply = m_client.sendCustomRequest(request, method, body);
        QSignalSpy finished(reply, &QNetworkReply::finished);
        if (!reply->isFinished())
            finished.wait(10000);
        reply->deleteLater();
        return {reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt(), reply->readAll()};
    }

    // Whether the document lists the status among the answers to the method at the path, the
    // path's own segments read as its parameters; for 405, whether it lists the path without
    // the method.
    bool documented(const QByteArray& method, const QString& path, int status) const
    {
        QString relative = path.mid(QStringLiteral("/api/v1").size());
        relative.replace(QRegularExpression(QStringLiteral("^/devices/[^/]+")), QStringLiteral("/devices/{address}"));
        relative.replace(QRegularExpression(QStringLiteral("^/mutes/.+")), QStringLiteral("/mutes/{address}"));
        relative.replace(QRegularExpression(QStringLiteral("^/maintenance/.+")), QStringLiteral("/maintenance/{id}"));
        const QJsonObject operations = m_document.value(QStringLiteral("paths")).toObject().value(relative).toObject();
        const QJsonObject operation = operations.value(QString::fromLatin1(method.toLower())).toObject();
        if (status == 405)
            return !operations.isEmpty() && operation.isEmpty();
        return operation.value(QStringLiteral("responses")).toObject().contains(QString::number(status));
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_folder.isValid());
        QDir::setCurrent(m_folder.path());
        m_settings.pingTimeGap = 0;
        MonitorCore::Options options;
        options.report = [this](const QString& text) { m_reports << text; };
        options.probe = [](const QString& host, int) {
            return host == QLatin1String("127.0.0.1") ? ProbeResult::reply(3ms) : ProbeResult::timeout();
        };
        m_resolver = std::make_unique<NameResolver>();
        m_engine = std::make_unique<ProbeEngine>(*m_resolver);
        m_core = std::make_unique<MonitorCore>(m_settings, *m_engine, options);
        m_core->start();
        m_api = std::make_unique<ApiService>(*m_core, QStringLiteral("ApiToken"), options.report);
        m_api->serveAt({QStringLiteral("127.0.0.1:0"), {}});
        QVERIFY(m_api->port() > 0);
        QFile tokenFile(QStringLiteral("ApiToken"));
        QCOMPARE(tokenFile.permissions() & ~(QFile::ReadOwner | QFile::WriteOwner | QFile::ReadUser | QFile::WriteUser),
                 QFile::Permissions());
        m_token = ApiToken::readOrMake(QStringLiteral("ApiToken"), nullptr);
        QCOMPARE(m_token.size(), 64);
        const Answer document = ask("GET", QStringLiteral("/api/v1/openapi.json"));
        QCOMPARE(document.status, 200);
        m_document = QJsonDocument::fromJson(document.body).object();
        QVERIFY(m_document.contains(QStringLiteral("paths")));
    }

    void cleanupTestCase()
    {
        m_api.reset();
        m_core->end();
        m_core.reset();
        QDir::setCurrent(m_before);
    }

    // Rows run in order on one list: each request sees what the ones before it did.
    void answers_data()
    {
        QTest::addColumn<QByteArray>("method");
        QTest::addColumn<QString>("path");
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<QByteArray>("token");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("answer"); // a part of the body; empty: none at all

        const QString devices = QStringLiteral("/api/v1/devices");
        const QString mutes = QStringLiteral("/api/v1/mutes");
        const QByteArray mine = "mine";
        QTest::newRow("no token") << QByteArray("GET") << devices << QByteArray() << QByteArray() << 401
                                  << "\"Unauthorised.\"";
        QTest::newRow("a wrong token") << QByteArray("DELETE") << devices + "/127.0.0.1" << QByteArray()
                                       << QByteArray(64, 'a') << 401 << "\"Unauthorised.\"";
        QTest::newRow("an empty list") << QByteArray("GET") << devices << QByteArray() << mine << 200 << "[]";
        QTest::newRow("added") << QByteArray("POST") << devices
                               << QByteArray("{\"address\":\" 127.0.0.1 \",\"description\":\"loop\",\"alerts\":true}")
                               << mine << 201 << "\"state\":\"not yet probed\"";
        QTest::newRow("default echo options")
            << QByteArray("GET") << devices + "/127.0.0.1" << QByteArray() << mine << 200
            << "\"check\":\"echo\",\"moreChecks\":[],\"payloadSize\":40,\"dontFragment\":false";
        QTest::newRow("added twice") << QByteArray("POST") << devices << QByteArray("{\"address\":\"127.0.0.1\"}")
                                     << mine << 409 << "\\\"127.0.0.1\\\" is in the device list already.";
        QTest::newRow("an unknown field")
            << QByteArray("POST") << devices << QByteArray("{\"address\":\"192.0.2.1\",\"colour\":\"red\"}") << mine
            << 400 << "Unknown field \\\"colour\\\"";
        QTest::newRow("a bad address") << QByteArray("POST") << devices << QByteArray("{\"address\":\"300.1.1.1\"}")
                                       << mine << 400 << "300 is above 255";
        QTest::newRow("ARP to IPv6") << QByteArray("POST") << devices
                                     << QByteArray("{\"address\":\"fd00::1\",\"check\":\"arp\"}") << mine << 400
                                     << "ARP is for IPv4 addresses only.";
        QTest::newRow("an unknown type") << QByteArray("POST") << devices
                                         << QByteArray("{\"address\":\"192.0.2.1\",\"type\":\"Toaster\"}") << mine
                                         << 400 << "Unknown type \\\"Toaster\\\"";
        QTest::newRow("port 0") << QByteArray("POST") << devices
                                << QByteArray("{\"address\":\"192.0.2.1\",\"check\":\"tcp:0\"}") << mine << 400
                                << "Unknown check \\\"tcp:0\\\"";
        QTest::newRow("malformed") << QByteArray("POST") << devices << QByteArray("{\"address\":") << mine << 400
                                   << "Malformed JSON at byte";
        QTest::newRow("no object") << QByteArray("POST") << devices << QByteArray("[1]") << mine << 400
                                   << "must be a JSON object";
        QTest::newRow("a control character")
            << QByteArray("POST") << devices
            << QByteArray("{\"address\":\"192.0.2.6\",\"description\":\"bell\\u0007\"}") << mine << 400
            << "may hold no control characters";
        QTest::newRow("a number for a text") << QByteArray("POST") << devices << QByteArray("{\"address\":5}") << mine
                                             << 400 << "\\\"address\\\" must be a string.";
        QTest::newRow("over 64 KiB") << QByteArray("POST") << devices
                                     << "{\"description\":\"" + QByteArray(70000, 'x') + "\"}" << mine << 413
                                     << "larger than 64 KiB";
        QTest::newRow("a zone id") << QByteArray("POST") << devices
                                   << QByteArray("{\"address\":\"fe80::1%lo\",\"check\":\"tcp:22\",\"type\":\"web\"}")
                                   << mine << 201 << "\"check\":\"tcp:22\"";
        QTest::newRow("a zone id read") << QByteArray("GET") << devices + "/fe80::1%25lo" << QByteArray() << mine << 200
                                        << "\"type\":\"Web\"";
        QTest::newRow("a description to escape")
            << QByteArray("POST") << devices
            << QByteArray("{\"address\":\"192.0.2.5\",\"description\":\"Dr\\u00fccker \\\"2\\\" \\\\\"}") << mine << 201
            << "\"description\":\"Drücker \\\"2\\\" \\\\\"";
        QTest::newRow("more checks") << QByteArray("PATCH") << devices + "/192.0.2.5"
                                     << QByteArray("{\"moreChecks\":[\"TCP:443\",\"arp\"]}") << mine << 200
                                     << "\"check\":\"echo\",\"moreChecks\":[\"tcp:443\",\"arp\"]";
        QTest::newRow("a first check given again")
            << QByteArray("PATCH") << devices + "/192.0.2.5" << QByteArray("{\"check\":\"arp\"}") << mine << 400
            << "The check \\\"arp\\\" is given twice.";
        QTest::newRow("an unknown further check")
            << QByteArray("POST") << devices
            << QByteArray("{\"address\":\"192.0.2.8\",\"moreChecks\":[\"tcp:443 arp\"]}") << mine << 400
            << "Unknown check \\\"tcp:443 arp\\\"";
        QTest::newRow("edited") << QByteArray("PATCH") << devices + "/127.0.0.1"
                                << QByteArray("{\"type\":\"router\",\"description\":\"gateway\"}") << mine << 200
                                << "\"description\":\"gateway\"";
        QTest::newRow("echo options") << QByteArray("PATCH") << devices + "/127.0.0.1"
                                      << QByteArray("{\"payloadSize\":1472,\"dontFragment\":true}") << mine << 200
                                      << "\"payloadSize\":1472,\"dontFragment\":true";
        QTest::newRow("echo options kept")
            << QByteArray("PATCH") << devices + "/127.0.0.1" << QByteArray("{\"dontFragment\":false}") << mine << 200
            << "\"payloadSize\":1472,\"dontFragment\":false";
        QTest::newRow("a payload too large")
            << QByteArray("POST") << devices << QByteArray("{\"address\":\"192.0.2.7\",\"payloadSize\":65508}") << mine
            << 400 << "\\\"payloadSize\\\" must be a whole number from 0 to 65507.";
        QTest::newRow("a description too long to read back")
            << QByteArray("POST") << devices
            << "{\"address\":\"192.0.2.7\",\"description\":\"" + QByteArray(4097, 'x') + "\"}" << mine << 400
            << "\\\"description\\\" may hold at most 4096 characters.";
        QTest::newRow("a payload in words")
            << QByteArray("POST") << devices << QByteArray("{\"address\":\"192.0.2.7\",\"payloadSize\":\"abc\"}")
            << mine << 400 << "\\\"payloadSize\\\" must be a whole number from 0 to 65507.";
        QTest::newRow("a new address") << QByteArray("PATCH") << devices + "/127.0.0.1"
                                       << QByteArray("{\"address\":\"127.0.0.9\"}") << mine << 400
                                       << "address cannot be changed";
        QTest::newRow("an unlisted edit") << QByteArray("PATCH") << devices + "/192.0.2.99" << QByteArray("{}") << mine
                                          << 404 << "is not in the device list";
        QTest::newRow("removed") << QByteArray("DELETE") << devices + "/fe80::1%25lo" << QByteArray() << mine << 204
                                 << "";
        QTest::newRow("removed twice") << QByteArray("DELETE") << devices + "/fe80::1%25lo" << QByteArray() << mine
                                       << 404 << "is not in the device list";
        QTest::newRow("probed") << QByteArray("POST") << devices + "/127.0.0.1/probe" << QByteArray() << mine << 202
                                << "{\"address\":\"127.0.0.1\"}";
        QTest::newRow("probe by GET") << QByteArray("GET") << devices + "/127.0.0.1/probe" << QByteArray() << mine
                                      << 405 << "Use POST.";
        QTest::newRow("muted") << QByteArray("POST") << mutes
                               << QByteArray("{\"address\":\"127.0.0.1\",\"minutes\":30}") << mine << 201
                               << "\"address\":\"127.0.0.1\"";
        QTest::newRow("no minutes") << QByteArray("POST") << mutes << QByteArray("{\"minutes\":0}") << mine << 400
                                    << "from 1 to 527040";
        QTest::newRow("both ends") << QByteArray("POST") << mutes
                                   << QByteArray("{\"minutes\":5,\"until\":\"2099-01-01T00:00:00Z\"}") << mine << 400
                                   << "not both";
        QTest::newRow("an end passed") << QByteArray("POST") << mutes
                                       << QByteArray("{\"until\":\"2000-01-01T00:00:00Z\"}") << mine << 400
                                       << "has passed";
        QTest::newRow("mutes listed") << QByteArray("GET") << mutes << QByteArray() << mine << 200
                                      << "\"address\":\"127.0.0.1\"";
        QTest::newRow("device shows its mute")
            << QByteArray("GET") << devices + "/127.0.0.1" << QByteArray() << mine << 200 << "\"muted\":\"20";
        QTest::newRow("unmuted") << QByteArray("DELETE") << mutes + "/127.0.0.1" << QByteArray() << mine << 204 << "";
        QTest::newRow("all not muted") << QByteArray("DELETE") << mutes << QByteArray() << mine << 404 << "not muted";
        const QString maintenance = QStringLiteral("/api/v1/maintenance");
        QTest::newRow("a weekly window") << QByteArray("POST") << maintenance
                                         << QByteArray("{\"address\":\"127.0.0.1\",\"days\":[\"sunday\",\"Monday\"],"
                                                       "\"from\":\"22:00\",\"to\":\"02:00\"}")
                                         << mine << 201 << "\"text\":\"Mondays, Sundays 22:00–02:00\"";
        QTest::newRow("no day") << QByteArray("POST") << maintenance
                                << QByteArray("{\"days\":[],\"from\":\"02:00\",\"to\":\"04:00\"}") << mine << 400
                                << "Choose at least one day of the week.";
        QTest::newRow("a day unknown") << QByteArray("POST") << maintenance
                                       << QByteArray("{\"days\":[\"Caturday\"],\"from\":\"02:00\",\"to\":\"04:00\"}")
                                       << mine << 400 << "is no day of the week";
        QTest::newRow("an end before the start")
            << QByteArray("POST") << maintenance
            << QByteArray("{\"from\":\"2099-01-02T00:00:00Z\",\"to\":\"2099-01-01T00:00:00Z\"}") << mine << 400
            << "The end must be after the start.";
        QTest::newRow("a window over") << QByteArray(
            "POST") << maintenance << QByteArray("{\"from\":\"2000-01-01T00:00:00Z\",\"to\":\"2000-01-02T00:00:00Z\"}")
                                       << mine << 400 << "The window is over already.";
        QTest::newRow("windows listed") << QByteArray("GET") << maintenance << QByteArray() << mine << 200
                                        << "\"days\":[\"Monday\",\"Sunday\"]";
        QTest::newRow("no such window") << QByteArray("DELETE") << maintenance + "/nothing" << QByteArray() << mine
                                        << 404 << "No maintenance window";
        QTest::newRow("nothing there") << QByteArray("GET") << QStringLiteral("/api/v2/devices") << QByteArray() << mine
                                       << 404 << "No such resource";
    }

    void answers()
    {
        QFETCH(QByteArray, method);
        QFETCH(QString, path);
        QFETCH(QByteArray, body);
        QFETCH(QByteArray, token);
        QFETCH(int, status);
        QFETCH(QString, answer);

        const Answer got = ask(method, path, body, token);
        QCOMPARE(got.status, status);
        if (answer.isEmpty())
            QVERIFY2(got.body.isEmpty(), got.body.constData());
        else
            QVERIFY2(got.body.contains(answer.toUtf8()), got.body.constData());
        if (path.startsWith(QLatin1String("/api/v1/")))
            QVERIFY2(documented(method, path, status), "the OpenAPI document does not list this answer");
    }

    // An edit of another field keeps checks the file holds that cannot be read; a new first check
    // holds the kept ones to it.
    void editsKeepChecksThatCannotBeRead()
    {
        const QString address = QStringLiteral("127.0.0.8");
        DeviceEntry odd(address, QString(), DeviceTypePC, false, NoReplyResult);
        odd.check = DeviceCheck::fromAttribute(u"tcp:0");
        odd.moreChecks = {DeviceCheck::fromWord(u"bogus")};
        m_core->data().addEntry(odd);
        const auto forget = qScopeGuard([this, address] { m_core->data().removeEntry(address); });
        const QString path = QStringLiteral("/api/v1/devices/") + address;
        QCOMPARE(ask("PATCH", path, R"({"description":"renamed","payloadSize":100})").status, 200);
        QCOMPARE(m_core->data().entry(address).description, QStringLiteral("renamed"));
        QCOMPARE(m_core->data().entry(address).moreChecks, odd.moreChecks);
        const Answer refused = ask("PATCH", path, R"({"check":"echo"})");
        QCOMPARE(refused.status, 400);
        QVERIFY2(refused.body.contains("Unknown check \\\"bogus\\\""), refused.body.constData());
    }

    // A token file that is no regular file, or too short, serves no API; one that others may
    // read is used, with a warning.
    void tokenFiles_data()
    {
        QTest::addColumn<QString>("make");
        QTest::addColumn<bool>("served");
        QTest::addColumn<QString>("said");
        QTest::newRow("a pipe") << "mkfifo" << false << "is not a regular file";
        QTest::newRow("too short") << "short" << false << "holds no token of at least 32 characters";
        QTest::newRow("readable by all") << "0644" << true << "may be read by others than its owner";
    }

    void tokenFiles()
    {
        QFETCH(QString, make);
        QFETCH(bool, served);
        QFETCH(QString, said);
        const QString name = QStringLiteral("Token-") + QString::fromLatin1(QTest::currentDataTag()).replace(' ', '-');
        if (make == QLatin1String("mkfifo")) {
            QCOMPARE(::mkfifo(QFile::encodeName(name).constData(), 0600), 0);
        } else {
            QFile file(name);
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write(make == QLatin1String("short") ? "abc\n" : QByteArray(64, 'e'));
            file.close();
            QVERIFY(file.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup | QFile::ReadOther));
        }
        QString error;
        QString warning;
        const QByteArray token = ApiToken::readOrMake(name, &error, &warning);
        QCOMPARE(!token.isEmpty(), served);
        QVERIFY2((served ? warning : error).contains(said), qPrintable(error + warning));
    }

    // A device added is probed at once, logged as the API's, and listed with its state.
    void addedDeviceIsProbedAtOnce()
    {
        m_settings.set(&Settings::probePeriod, 3600);
        const Answer added = ask("POST", QStringLiteral("/api/v1/devices"),
                                 "{\"address\":\"127.0.0.2\",\"description\":\"second\"}");
        QCOMPARE(added.status, 201);
        QVERIFY(m_reports.contains(QStringLiteral("Device 127.0.0.2 added through the API")));
        const auto state = [this] {
            const QJsonArray listed
                = QJsonDocument::fromJson(ask("GET", QStringLiteral("/api/v1/devices")).body).array();
            for (const QJsonValue& device : listed) {
                if (device[QStringLiteral("address")] == QStringLiteral("127.0.0.2"))
                    return device[QStringLiteral("state")].toString();
            }
            return QString();
        };
        QTRY_COMPARE_WITH_TIMEOUT(state(), QStringLiteral("disconnected"), 15000);
    }
};

QTEST_GUILESS_MAIN(TestApi)
#include "tst_api.moc"
