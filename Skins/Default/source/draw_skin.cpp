// SPDX-License-Identifier: GPL-3.0-or-later
// Draws the pictures of the default skin and makes its two sounds, and the application icon
// at other sizes:
//   draw_skin <output folder>
//   draw_skin --icon <size> <file>
// All pictures share one flat style: a rounded tile or disc in a strong colour, white
// symbols with a thick stroke, so that they read at 16 px in lists and at 48 px on the map.
#include <QDataStream>
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QPainterPath>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <functional>

namespace {

constexpr int Size = 64;
const QColor Ink(255, 255, 255);

using Drawing = std::function<void(QPainter&)>;

// Every picture is drawn on a 64 x 64 grid and scaled to the size asked for.
bool save(const QString& path, int size, const Drawing& draw)
{
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.scale(size / qreal(Size), size / qreal(Size));
    draw(painter);
    painter.end();
    const bool ok = image.save(path, "PNG");
    std::printf("%s %s\n", ok ? "wrote" : "FAILED", qPrintable(path));
    return ok;
}

// A short chime of two notes, as 16-bit mono PCM in a WAV file: rising for "connected",
// falling for "disconnected". Each note starts and ends softly, so that nothing clicks.
bool saveChime(const QString& path, double firstHz, double secondHz)
{
    constexpr int Rate = 22050;
    constexpr int NoteSamples = Rate * 12 / 100;
    QByteArray samples;
    for (const double hz : {firstHz, secondHz}) {
        for (int i = 0; i < NoteSamples; ++i) {
            const double t = double(i) / Rate;
            const double envelope = std::min(1.0, i / 200.0) * std::exp(-6.0 * t);
            const auto value = qint16(std::lround(9000.0 * envelope * std::sin(2 * M_PI * hz * t)));
            samples.append(char(value & 0xff)).append(char((value >> 8) & 0xff));
        }
    }
    QByteArray wav;
    QDataStream out(&wav, QIODevice::WriteOnly);
    out.setByteOrder(QDataStream::LittleEndian);
    const auto tag = [&](const char* fourLetters) { out.writeRawData(fourLetters, 4); };
    tag("RIFF");
    out << quint32(36 + samples.size());
    tag("WAVE");
    tag("fmt ");
    out << quint32(16) << quint16(1) << quint16(1) << quint32(Rate) << quint32(Rate * 2) << quint16(2) << quint16(16);
    tag("data");
    out << quint32(samples.size());
    out.writeRawData(samples.constData(), int(samples.size()));
    QFile file(path);
    const bool ok = file.open(QIODevice::WriteOnly) && file.write(wav) == wav.size();
    std::printf("%s %s\n", ok ? "wrote" : "FAILED", qPrintable(path));
    return ok;
}

void tile(QPainter& p, const QColor& top, const QColor& bottom)
{
    QLinearGradient fill(0, 0, 0, Size);
    fill.setColorAt(0, top);
    fill.setColorAt(1, bottom);
    p.setPen(Qt::NoPen);
    p.setBrush(fill);
    p.drawRoundedRect(QRectF(2, 2, Size - 4, Size - 4), 12, 12);
}

void disc(QPainter& p, const QColor& top, const QColor& bottom)
{
    QLinearGradient fill(0, 0, 0, Size);
    fill.setColorAt(0, top);
    fill.setColorAt(1, bottom);
    p.setPen(QPen(bottom.darker(120), 2));
    p.setBrush(fill);
    p.drawEllipse(QRectF(3, 3, Size - 6, Size - 6));
}

QPen stroke(qreal width)
{
    return QPen(Ink, width, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
}

void drawPC(QPainter& p)
{
    tile(p, QColor(74, 144, 226), QColor(38, 99, 178));
    p.setPen(stroke(4));
    p.setBrush(Qt::NoBrush);
    p.drawRoundedRect(QRectF(13, 14, 38, 26), 3, 3);
    p.drawLine(QPointF(32, 40), QPointF(32, 47));
    p.drawLine(QPointF(22, 49), QPointF(42, 49));
}

void drawAP(QPainter& p)
{
    tile(p, QColor(155, 89, 182), QColor(110, 52, 140));
    p.setPen(Qt::NoPen);
    p.setBrush(Ink);
    p.drawEllipse(QPointF(32, 44), 5, 5);
    p.setPen(stroke(4));
    p.setBrush(Qt::NoBrush);
    for (int r : {12, 21}) {
        const QRectF arc(32 - r, 44 - r, 2 * r, 2 * r);
        p.drawArc(arc, 45 * 16, 90 * 16);
    }
}

void drawRouter(QPainter& p)
{
    tile(p, QColor(243, 156, 18), QColor(202, 111, 0));
    p.setPen(stroke(4));
    p.setBrush(Qt::NoBrush);
    p.drawRoundedRect(QRectF(12, 34, 40, 16), 4, 4);
    p.drawLine(QPointF(20, 34), QPointF(16, 14));
    p.drawLine(QPointF(44, 34), QPointF(48, 14));
    p.setPen(Qt::NoPen);
    p.setBrush(Ink);
    for (int x : {22, 32, 42})
        p.drawEllipse(QPointF(x, 42), 2.5, 2.5);
}

void drawWeb(QPainter& p)
{
    tile(p, QColor(26, 188, 156), QColor(17, 128, 106));
    p.setPen(stroke(3.5));
    p.setBrush(Qt::NoBrush);
    const QRectF globe(13, 13, 38, 38);
    p.drawEllipse(globe);
    p.drawEllipse(QRectF(24, 13, 16, 38));
    p.drawLine(QPointF(13, 32), QPointF(51, 32));
    p.drawLine(QPointF(32, 13), QPointF(32, 51));
}

void drawConnected(QPainter& p)
{
    disc(p, QColor(76, 217, 100), QColor(39, 160, 70));
    p.setPen(stroke(7));
    QPainterPath check;
    check.moveTo(18, 33);
    check.lineTo(28, 43);
    check.lineTo(46, 22);
    p.drawPath(check);
}

void drawDisconnected(QPainter& p)
{
    disc(p, QColor(255, 94, 87), QColor(200, 40, 40));
    p.setPen(stroke(7));
    p.drawLine(QPointF(21, 21), QPointF(43, 43));
    p.drawLine(QPointF(43, 21), QPointF(21, 43));
}

// Not yet probed since start: a grey disc with three dots, neither green nor red.
void drawNotProbed(QPainter& p)
{
    disc(p, QColor(189, 195, 199), QColor(127, 140, 141));
    p.setPen(Qt::NoPen);
    p.setBrush(Ink);
    for (const int x : {19, 32, 45})
        p.drawEllipse(QPointF(x, 32), 4.5, 4.5);
}

// Present, but no echo reply (it answered on the local link alone): an amber disc with a ring,
// someone there who does not answer.
void drawPresent(QPainter& p)
{
    disc(p, QColor(255, 193, 7), QColor(214, 137, 16));
    p.setPen(stroke(7));
    p.setBrush(Qt::NoBrush);
    p.drawEllipse(QPointF(32, 32), 12, 12);
}

void drawAppIcon(QPainter& p)
{
    // A radar: the program watching the devices of a network.
    disc(p, QColor(44, 62, 80), QColor(23, 32, 42));
    p.setPen(QPen(QColor(46, 204, 113, 150), 2));
    p.setBrush(Qt::NoBrush);
    for (int r : {9, 18, 26})
        p.drawEllipse(QPointF(32, 32), r, r);
    QConicalGradient sweep(QPointF(32, 32), 60);
    sweep.setColorAt(0, QColor(46, 204, 113, 200));
    sweep.setColorAt(0.25, QColor(46, 204, 113, 0));
    sweep.setColorAt(1, QColor(46, 204, 113, 0));
    p.setPen(Qt::NoPen);
    p.setBrush(sweep);
    p.drawEllipse(QPointF(32, 32), 26, 26);
    p.setPen(QPen(QColor(46, 204, 113), 3, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(32, 32), QPointF(32 + 26 * std::cos(M_PI / 3), 32 - 26 * std::sin(M_PI / 3)));
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(236, 240, 241));
    for (QPointF dot : {QPointF(22, 24), QPointF(44, 40), QPointF(27, 45)})
        p.drawEllipse(dot, 3.5, 3.5);
}

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() == 4 && args[1] == QLatin1String("--icon"))
        return save(args[3], args[2].toInt(), drawAppIcon) ? 0 : 1;
    const QString folder = args.size() > 1 ? args[1] : QStringLiteral(".");
    const std::pair<const char*, Drawing> pictures[] = {
        {"twicon.png", drawAppIcon},
        {"ConnectedIcon.png", drawConnected},
        {"DisconnectedIcon.png", drawDisconnected},
        {"NotProbedIcon.png", drawNotProbed},
        {"PresentIcon.png", drawPresent},
        {"DeviceTypePCIcon.png", drawPC},
        {"DeviceTypeAPIcon.png", drawAP},
        {"DeviceTypeRouterIcon.png", drawRouter},
        {"DeviceTypeWebIcon.png", drawWeb},
    };
    bool ok = true;
    for (const auto& [name, draw] : pictures)
        ok &= save(folder + QLatin1Char('/') + QLatin1String(name), Size, draw);
    ok &= saveChime(folder + QStringLiteral("/ConnectedSound.wav"), 660, 880);
    ok &= saveChime(folder + QStringLiteral("/DisconnectedSound.wav"), 660, 440);
    return ok ? 0 : 1;
}
