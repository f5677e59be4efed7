// SPDX-License-Identifier: GPL-3.0-or-later
#include "CommandLine.h"

#include "net/DiscoverDevicesThread.h"

namespace Tarnwick {

namespace {

CommandLine failed(const QString& error)
{
    CommandLine line;
    line.mode = CommandLine::Mode::Error;
    line.error = error;
    return line;
}

// A /0, or a box of whole octets, typed by mistake would ask the whole Internet for days.
constexpr qint64 MostScanned = qint64(1) << 24;

CommandLine boundedScan(const CommandLine& line, const QString& given)
{
    if (line.scanRange.size() <= MostScanned)
        return line;
    return failed(QStringLiteral("--scan: %1 holds %2 addresses; at most %3 (a /8) are scanned at once")
                      .arg(given)
                      .arg(line.scanRange.size())
                      .arg(MostScanned));
}

// Qt's own options, which its application object reads and removes; the first group takes a
// value, given as the next argument or after "=".
const QStringList QtOptionsWithValue = {
    QStringLiteral("-platform"),
    QStringLiteral("-platformpluginpath"),
    QStringLiteral("-platformtheme"),
    QStringLiteral("-plugin"),
    QStringLiteral("-qwindowgeometry"),
    QStringLiteral("-qwindowicon"),
    QStringLiteral("-qwindowtitle"),
    QStringLiteral("-session"),
    QStringLiteral("-display"),
    QStringLiteral("-geometry"),
    QStringLiteral("-name"),
    QStringLiteral("-title"),
    QStringLiteral("-style"),
    QStringLiteral("-stylesheet"),
    QStringLiteral("-qmljsdebugger"),
};
const QStringList QtOptionsAlone = {QStringLiteral("-reverse"), QStringLiteral("-widgetcount"),
                                    QStringLiteral("-nograb"), QStringLiteral("-dograb"), QStringLiteral("-sync")};

// How many arguments a Qt option takes up, itself included; 0 for an argument that is none.
// Qt takes its options with two dashes as well.
qsizetype qtOptionLength(const QString& argument)
{
    const QString option = argument.startsWith(QLatin1String("--")) ? argument.mid(1) : argument;
    const QString name = option.section(QLatin1Char('='), 0, 0);
    if (QtOptionsAlone.contains(option))
        return 1;
    if (!QtOptionsWithValue.contains(name))
        return 0;
    return name == option ? 2 : 1;
}

} // namespace

CommandLine CommandLine::parse(const QStringList& arguments, Mode withoutOptions)
{
    CommandLine line;
    line.mode = withoutOptions;
    QStringList scanAddresses;
    QString sweepText;
    QStringList given;
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        const QString& argument = arguments.at(i);
        if (argument == QLatin1String("--help") || argument == QLatin1String("-h")) {
            line.mode = Mode::Help;
            return line;
        }
        if (argument == QLatin1String("--version")) {
            line.mode = Mode::Version;
            return line;
        }
        if (const qsizetype length = qtOptionLength(argument)) {
            if (i + length > arguments.size())
                return failed(QStringLiteral("%1 needs a value").arg(argument));
            i += length - 1;
            continue;
        }
        // Each option once: which of two values was meant cannot be told.
        if (given.contains(argument))
            return failed(QStringLiteral("%1 is given twice").arg(argument));
        given << argument;
        if (argument == QLatin1String("--scan")) {
            // A prefix alone, or FROM and TO.
            const bool prefix = i + 1 < arguments.size() && arguments.at(i + 1).contains(QLatin1Char('/'));
            if (!prefix && i + 2 >= arguments.size())
                return failed(QStringLiteral("--scan needs two addresses, FROM and TO, or a prefix"));
            scanAddresses = arguments.mid(i + 1, prefix ? 1 : 2);
            i += scanAddresses.size();
            line.mode = Mode::Scan;
        } else if (argument == QLatin1String("--trace")) {
            if (i + 1 >= arguments.size() || arguments.at(i + 1).isEmpty())
                return failed(QStringLiteral("--trace needs an address or a name"));
            line.traceTarget = arguments.at(++i);
            line.mode = Mode::Trace;
        } else if (argument == QLatin1String("--port")) {
            bool ok = false;
            const uint port = i + 1 < arguments.size() ? arguments.at(i + 1).toUInt(&ok) : 0;
            if (!ok || port < 1 || port > 65535)
                return failed(QStringLiteral("--port needs a TCP port from 1 to 65535"));
            line.tracePort = quint16(port);
            ++i;
        } else if (argument == QLatin1String("--timeout")) {
            bool ok = false;
            line.timeoutMs = i + 1 < arguments.size() ? arguments.at(i + 1).toInt(&ok) : 0;
            if (!ok || line.timeoutMs < 0 || line.timeoutMs > 600000)
                return failed(QStringLiteral("--timeout needs a number of milliseconds from 0 to 600000"));
            ++i;
        } else if (argument == QLatin1String("--full-wait")) {
            line.quickScan = false;
        } else if (argument == QLatin1String("--rate")) {
            bool ok = false;
            line.scanRate = i + 1 < arguments.size() ? arguments.at(i + 1).toInt(&ok) : 0;
            if (!ok || line.scanRate < 1 || line.scanRate > CommandLine::MostScanRate)
                return failed(QStringLiteral("--rate needs a number of requests a second from 1 to 1000000"));
            ++i;
        } else if (argument == QLatin1String("--neighbours")) {
            continue;
        } else if (argument == QLatin1String("--sweep")) {
            // The networks are optional: without them, this machine's own.
            if (i + 1 < arguments.size() && !arguments.at(i + 1).startsWith(QLatin1Char('-')))
                sweepText = arguments.at(++i);
        } else if (argument == QLatin1String("--headless")) {
            continue;
        } else if (argument == QLatin1String("--metrics")) {
            if (i + 1 >= arguments.size())
                return failed(QStringLiteral("--metrics needs ADDRESS:PORT (or \"\" for none)"));
            line.metricsGiven = true;
            line.metrics = arguments.at(++i);
        } else if (argument == QLatin1String("--api")) {
            if (i + 1 >= arguments.size())
                return failed(QStringLiteral("--api needs ADDRESS:PORT (or \"\" for none)"));
            line.apiGiven = true;
            line.api = arguments.at(++i);
        } else if (argument.startsWith(QLatin1Char('-'))) {
            return failed(QStringLiteral("unknown option %1 (see --help)").arg(argument));
        } else {
            return failed(QStringLiteral("unexpected argument \"%1\" (see --help)").arg(argument));
        }
    }
    const bool headless = given.contains(QStringLiteral("--headless"));
    if (given.contains(QStringLiteral("--neighbours"))) {
        if (given.size() > 1)
            return failed(QStringLiteral("--neighbours goes with no other option"));
        line.mode = Mode::Neighbours;
        return line;
    }
    if (given.contains(QStringLiteral("--sweep"))) {
        if (given.size() > 1)
            return failed(QStringLiteral("--sweep goes with no other option"));
        QString why;
        const std::optional<WatchedNetworks> networks = WatchedNetworks::parse(sweepText, &why);
        if (!networks)
            return failed(why);
        line.mode = Mode::Sweep;
        line.sweepNetworks = *networks;
        return line;
    }
    if (given.contains(QStringLiteral("--trace")) && given.contains(QStringLiteral("--scan")))
        return failed(QStringLiteral("--trace and --scan go each on its own"));
    if (given.contains(QStringLiteral("--port")) && line.mode != Mode::Trace)
        return failed(QStringLiteral("--port goes with --trace"));
    if (line.mode == Mode::Trace) {
        const qsizetype allowed = 1 + (given.contains(QStringLiteral("--timeout")) ? 1 : 0)
            + (given.contains(QStringLiteral("--port")) ? 1 : 0);
        if (given.size() > allowed)
            return failed(QStringLiteral("--trace goes with no other option than --timeout and --port"));
        return line;
    }
    if (line.mode != Mode::Scan) {
        if (given.contains(QStringLiteral("--timeout")))
            return failed(QStringLiteral("--timeout goes with --scan or --trace"));
        if (given.contains(QStringLiteral("--full-wait")))
            return failed(QStringLiteral("--full-wait goes with --scan"));
        if (given.contains(QStringLiteral("--rate")))
            return failed(QStringLiteral("--rate goes with --scan"));
        if (headless)
            line.mode = Mode::Headless;
        return line;
    }
    if (headless || line.metricsGiven || line.apiGiven)
        return failed(QStringLiteral("--scan goes with none of --headless, --metrics and --api"));
    if (scanAddresses.size() == 1) {
        const std::optional<ScanRange> prefix = ScanRange::parsePrefix(scanAddresses.first());
        if (!prefix)
            return failed(
                QStringLiteral("\"%1\" is not an IPv4 prefix such as 192.168.4.0/22").arg(scanAddresses.first()));
        line.scanRange = *prefix;
        return boundedScan(line, scanAddresses.first());
    }
    if (scanAddresses.at(0).contains(QLatin1Char(':')) || scanAddresses.at(1).contains(QLatin1Char(':'))) {
        QString problem;
        const std::optional<ScanRange> span = ScanRange::ipv6Span(scanAddresses.at(0), scanAddresses.at(1), &problem);
        if (!span)
            return failed(problem);
        line.scanRange = *span;
        return line;
    }
    const auto from = DiscoverDevicesThread::parseAddress(scanAddresses.at(0));
    const auto to = DiscoverDevicesThread::parseAddress(scanAddresses.at(1));
    if (!from || !to)
        return failed(QStringLiteral("\"%1\" is not an IPv4 address with octets from 0 to 254")
                          .arg(from ? scanAddresses.at(1) : scanAddresses.at(0)));
    // Each octet runs from its FROM to its TO: one the wrong way round leaves nothing to scan.
    for (int octet = 0; octet < 4; ++octet) {
        if (from->at(octet) > to->at(octet))
            return failed(QStringLiteral("--scan: octet %1 of FROM %2 is above that of TO %3")
                              .arg(octet + 1)
                              .arg(scanAddresses.at(0), scanAddresses.at(1)));
    }
    line.scanRange = ScanRange::box(*from, *to);
    return boundedScan(line, scanAddresses.join(QLatin1Char(' ')));
}

QString CommandLine::programName(Mode withoutOptions)
{
    return withoutOptions == Mode::Headless ? QStringLiteral("tarnwick-headless") : QStringLiteral("tarnwick");
}

QString CommandLine::usage(Mode withoutOptions)
{
    const bool server = withoutOptions == Mode::Headless;
    return QStringLiteral("Usage: %1 [OPTION]...\n"
                          "Watches the devices of your local network.\n"
                          "\n"
                          "Without options, %2 in the current folder,\n"
                          "which holds its files (DeviceConfig.xml, Settings.xml, VisualRepresentation.xml,\n"
                          "LogRelease.txt).\n"
                          "SIGHUP to the monitor without a window reads those files again.\n"
                          "\n"
                          "  --scan FROM TO   probe every address from FROM to TO (each octet on its own, as the\n"
                          "                   \"Discover Devices\" dialog does) and print one line per address;\n"
                          "                   touches no file; IPv6 FROM and TO differ only in their last 16 bits,\n"
                          "                   such as fd00::1 fd00::ff\n"
                          "  --scan PREFIX    the same for every host address of a prefix such as 192.168.4.0/22,\n"
                          "                   in address order (network and broadcast addresses left out)\n"
                          "  --trace ADDRESS  print the routers on the way to ADDRESS (or a name), one line per hop\n"
                          "                   as traceroute -I does: hop, address (with its name where it\n"
                          "                   resolves quickly), the round trips of 3 requests, \"*\" for one\n"
                          "                   unanswered; at most 30 hops; touches no file\n"
                          "  --port PORT      with --trace: trace by TCP connections to PORT instead of echo\n"
                          "                   requests, for a host that answers no echo (as traceroute -T)\n"
                          "  --timeout MS     with --scan or --trace: wait MS milliseconds for each reply\n"
                          "                   (default 1000); once hosts have answered, --scan waits for a silent\n"
                          "                   address ten times the slowest answer (at least 100 ms) at most\n"
                          "  --full-wait      with --scan: wait the whole time-out for every silent address\n"
                          "  --rate N         with --scan: send at most N requests a second (default 1000, one\n"
                          "                   a millisecond); more only where the network and its hosts take it\n"
                          "  --neighbours     send one echo request to all IPv6 nodes on each link that is up and\n"
                          "                   print who answers, with hardware address, vendor and name; touches no\n"
                          "                   file\n"
                          "  --sweep [NETWORKS]\n"
                          "                   ask every address of the IPv4 networks by ARP, at most 500 a second,\n"
                          "                   and the IPv6 neighbours of the IPv6 ones, and print each host that\n"
                          "                   answers with hardware address and vendor; NETWORKS such as\n"
                          "                   \"192.168.4.0/22,fd00::/64\" (none larger than a /16; without them,\n"
                          "                   this computer's own networks up to a /22 each, and every IPv6\n"
                          "                   neighbour); touches no file\n"
                          "  --headless       watch the devices without a window or tray icon (no display needed),\n"
                          "                   logging to standard error as well as LogRelease.txt, until SIGTERM\n"
                          "                   or SIGINT\n"
                          "  --metrics ADDRESS:PORT\n"
                          "                   serve Prometheus metrics at http://ADDRESS:PORT/metrics this time, in\n"
                          "                   place of the \"Serve metrics at\" setting; a port alone means\n"
                          "                   127.0.0.1; \"\" serves none\n"
                          "  --api ADDRESS:PORT\n"
                          "                   serve the HTTP API at http://ADDRESS:PORT/api/v1/ this time, in place\n"
                          "                   of the ApiAddress setting; the same forms as --metrics; every request\n"
                          "                   carries the token kept in the file ApiToken\n"
                          "  --help           print this and end\n"
                          "  --version        print the version and end\n"
                          "\n"
                          "Exit status: 0 when the program or the scan ran, 1 when another Tarnwick runs in the\n"
                          "folder and could not be asked to show itself (or --neighbours could not send its\n"
                          "request, or no host answered --sweep, or --trace did not reach its address), 2 for bad\n"
                          "arguments.\n")
        .arg(programName(withoutOptions),
             server ? QStringLiteral("watches the devices without a window (no display needed)")
                    : QStringLiteral("starts the desktop program"));
}

} // namespace Tarnwick
