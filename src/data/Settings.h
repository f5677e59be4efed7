#pragma once

#include "DocumentFile.h"

#include <QRect>
#include <QString>

#include <atomic>

namespace Tarnwick {

// The user's settings, one process-wide record. The pinger thread reads the two ping
// timings while the GUI thread may write them, so those two are atomic; the record stays
// copyable so that a dialog can keep the whole of it and put it back.
class Settings
{
public:
    Settings();
    Settings(const Settings& other);
    Settings& operator=(const Settings& other);

    static Settings& instance();

    bool load(const QString& fileName);
    bool save();

    QString fileName;
    bool siodsc = false;
    bool playSounds = false;
    bool chatStartServer = false;
    quint16 port = 0;
    QRect windowGeometry;
    bool windowMaximized = false;
    QString skin;
    int skinType = 0;
    std::atomic<int> pingTimeout{0};
    std::atomic<int> pingTimeGap{0};
    bool logStateChange = false;

private:
    void setDefaults();

    DocumentFile m_file;
};

} // namespace Tarnwick
