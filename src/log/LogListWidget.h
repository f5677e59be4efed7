#pragma once

#include "ILogManagerListener.h"

#include <QWidget>

class QTreeWidget;

namespace Tarnwick {

// The log tab: the history of the log file, oldest first, followed by every entry logged
// while the widget lives.
class LogListWidget : public QWidget, public ILogManagerListener
{
    Q_OBJECT

public:
    explicit LogListWidget(QWidget* parent = nullptr);
    ~LogListWidget() override;

    void onLogEntry(const std::string& category, const std::string& text) override;

private:
    void appendRow(const QString& date, const QString& category, const QString& text);

    QTreeWidget* m_tree;
};

} // namespace Tarnwick
