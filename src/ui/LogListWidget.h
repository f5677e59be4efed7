// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "log/ILogManagerListener.h"

#include <QWidget>

class QTreeWidget;
class QTreeWidgetItem;

namespace Tarnwick {

// The log tab: the last lines of the log file, oldest first, followed by every entry logged
// while the widget lives; it opens at the newest line and follows new ones while it rests
// there. It holds MaxRows lines at most, so that a long log costs no more than a short one.
class LogListWidget : public QWidget, public ILogManagerListener
{
    Q_OBJECT

public:
    static constexpr int MaxRows = 10000;

    explicit LogListWidget(QWidget* parent = nullptr);
    ~LogListWidget() override;

    void onLogEntry(const std::string& category, const std::string& text) override;

private:
    void appendRow(const QString& date, const QString& category, const QString& text);
    // A row as the tab shows it: the category and the text in the user's language.
    static QTreeWidgetItem* rowOf(const QString& date, const QString& category, const QString& text);

    QTreeWidget* m_tree;
    // A burst of lines is followed once, when it is over (see appendRow).
    bool m_scrollPending = false;
    bool m_followBurst = false;
};

} // namespace Tarnwick
