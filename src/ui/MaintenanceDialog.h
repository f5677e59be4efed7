// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDialog>
#include <QList>
#include <QStringList>

class QCheckBox;
class QDateTimeEdit;
class QListWidget;
class QPushButton;
class QRadioButton;
class QTimeEdit;

namespace Tarnwick {

class MaintenanceList;

// "Maintenance": the maintenance windows of the chosen devices, or of every device. Lists the
// windows there are and removes the one chosen; adds a window once (from, to) or weekly (days,
// start and end time) for each of the devices, and says in a box why one cannot be added.
class MaintenanceDialog : public QDialog
{
    Q_OBJECT

public:
    // ips: the devices the windows are for; none: every device.
    MaintenanceDialog(MaintenanceList& maintenance, QStringList ips, QWidget* parent = nullptr);

private:
    void showWindows();
    void addWindow();
    void removeChosen();

    MaintenanceList& m_maintenance;
    const QStringList m_ips;
    QListWidget* m_windows;
    QPushButton* m_remove;
    QRadioButton* m_weekly;
    QDateTimeEdit* m_from;
    QDateTimeEdit* m_to;
    QList<QCheckBox*> m_days;
    QTimeEdit* m_start;
    QTimeEdit* m_end;
};

} // namespace Tarnwick
