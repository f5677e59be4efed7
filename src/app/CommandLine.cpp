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

} // namespace

CommandLine CommandLine::parse(const QStringList& arguments)
{
    CommandLine line;
    QStringList scanAddresses;
    bool timeoutGiven = false;
    bool headless = false;
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
        if (argument == QLatin1String("--scan")) {
            if (i + 2 >= arguments.size())
                return failed(QStringLiteral("--scan needs two addresses: FROM and TO"));
            scanAddresses = {arguments.at(i + 1), arguments.at(i + 2)};
            i += 2;
            line.mode = Mode::Scan;
        } else if (argument == QLatin1String("--timeout")) {
            bool ok = false;
            line.timeoutMs = i + 1 < arguments.size() ? arguments.at(i + 1).toInt(&ok) : 0;
            if (!ok || line.timeoutMs < 0 || line.timeoutMs > 600000)
                return failed(QStringLiteral("--timeout needs a number of milliseconds from 0 to 600000"));
            timeoutGiven = true;
            ++i;
        } else if (argument == QLatin1String("--headless")) {
            headless = true;
        } else if (argument == QLatin1String("--metrics")) {
            if (i + 1 >= arguments.size())
                return failed(QStringLiteral("--metrics needs ADDRESS:PORT (or \"\" for none)"));
            line.metricsGiven = true;
            line.metrics = arguments.at(++i);
        } else if (argument.startsWith(QLatin1String("--"))) {
            return failed(QStringLiteral("unknown option %1 (see --help)").arg(argument));
        }
    }
    if (line.mode != Mode::Scan) {
        if (timeoutGiven)
            return failed(QStringLiteral("--timeout goes with --scan"));
        if (headless)
            line.mode = Mode::Headless;
        return line;
    }
    if (headless || line.metricsGiven)
        return failed(QStringLiteral("--scan goes with neither --headless nor --metrics"));
    const auto from = DiscoverDevicesThread::parseAddress(scanAddresses.at(0));
    const auto to = DiscoverDevicesThread::parseAddress(scanAddresses.at(1));
    if (!from || !to)
        return failed(QStringLiteral("\"%1\" is not an IPv4 address with octets from 0 to 254")
                          .arg(from ? scanAddresses.at(1) : scanAddresses.at(0)));
    line.scanFrom = *from;
    line.scanTo = *to;
    return line;
}

QString CommandLine::usage()
{
    return QStringLiteral("Usage: tarnwick [OPTION]...\n"
                          "Watches the devices of your local network.\n"
                          "\n"
                          "Without options, starts the desktop program in the current folder, which holds its\n"
                          "files (DeviceConfig.xml, Settings.xml, VisualRepresentation.xml, LogRelease.txt).\n"
                          "\n"
                          "  --scan FROM TO   probe every address from FROM to TO (each octet on its own, as the\n"
                          "                   \"Discover Devices\" dialog does) and print one line per address;\n"
                          "                   touches no file\n"
                          "  --timeout MS     with --scan: wait MS milliseconds for each reply (default 1000)\n"
                          "  --headless       watch the devices without a window or tray icon (no display needed),\n"
                          "                   logging to standard error as well as LogRelease.txt, until SIGTERM,\n"
                          "                   SIGINT or SIGHUP\n"
                          "  --metrics ADDRESS:PORT\n"
                          "                   serve Prometheus metrics at http://ADDRESS:PORT/metrics this time, in\n"
                          "                   place of the \"Serve metrics at\" setting; a port alone means\n"
                          "                   127.0.0.1; \"\" serves none\n"
                          "  --help           print this and end\n"
                          "  --version        print the version and end\n"
                          "\n"
                          "Exit status: 0 when the program or the scan ran, 1 when another Tarnwick runs in the\n"
                          "folder and could not be asked to show itself, 2 for bad arguments.\n");
}

} // namespace Tarnwick
