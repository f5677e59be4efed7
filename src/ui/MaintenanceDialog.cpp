// SPDX-License-Identifier: GPL-3.0-or-later
#include "MaintenanceDialog.h"

#include "DeviceFormLayout.h"
#include "data/MaintenanceList.h"

#include <QCheckBox>
#include <QDateTimeEdit>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include <tuple>

namespace Tarnwick {

MaintenanceDialog::MaintenanceDialog(MaintenanceList& maintenance, QStringList ips, QWidget* parent)
    : QDialog(parent)
    , m_maintenance(maintenance)
    , m_ips(std::move(ips))
    , m_windows(new QListWidget)
    , m_remove(new QPushButton(QStringLiteral("Remove")))
    , m_weekly(new QRadioButton(QStringLiteral("Weekly")))
    , m_from(new QDateTimeEdit)
    , m_to(new QDateTimeEdit)
    , m_start(new QTimeEdit(QTime(2, 0)))
    , m_end(new QTimeEdit(QTime(4, 0)))
{
    setWindowTitle(QStringLiteral("Maintenance"));
    const QString whose = m_ips.isEmpty() ? QStringLiteral("all devices")
        : m_ips.size() == 1               ? m_ips.first()
                                          : QStringLiteral("%1 devices").arg(m_ips.size());
    auto* layout = new QVBoxLayout(this);
    auto* heading = new QLabel(QStringLiteral("Windows of %1: alerts wait for the window's end, and are told then "
                                              "if they still hold.")
                                   .arg(whose));
    heading->setWordWrap(true);
    layout->addWidget(heading);
    m_windows->setObjectName(QStringLiteral("windowList"));
    layout->addWidget(m_windows);
    m_remove->setObjectName(QStringLiteral("removeButton"));
    m_remove->setEnabled(false);
    auto* removeRow = new QHBoxLayout;
    removeRow->addStretch();
    removeRow->addWidget(m_remove);
    layout->addLayout(removeRow);

    auto* add = new QGroupBox(QStringLiteral("New window"));
    auto* form = new QFormLayout(add);
    auto* once = new QRadioButton(QStringLiteral("Once"));
    once->setObjectName(QStringLiteral("onceButton"));
    once->setChecked(true);
    m_weekly->setObjectName(QStringLiteral("weeklyButton"));
    auto* repeat = new QHBoxLayout;
    repeat->addWidget(once);
    repeat->addWidget(m_weekly);
    repeat->addStretch();
    form->addRow(QStringLiteral("Repeat"), repeat);
    // From the next full hour, for two hours.
    const QDateTime now = QDateTime::currentDateTime();
    const QDateTime hour(now.date(), QTime(now.time().hour(), 0));
    for (auto [edit, name, at] :
         {std::tuple{m_from, "fromEdit", hour.addSecs(3600)}, std::tuple{m_to, "toEdit", hour.addSecs(3 * 3600)}}) {
        edit->setObjectName(QString::fromLatin1(name));
        edit->setDisplayFormat(QStringLiteral("d MMM yyyy HH:mm"));
        edit->setCalendarPopup(true);
        edit->setDateTime(at);
    }
    form->addRow(QStringLiteral("From"), m_from);
    form->addRow(QStringLiteral("To"), m_to);
    auto* days = new QHBoxLayout;
    for (int day = 1; day <= 7; ++day) {
        auto* box = new QCheckBox(MaintenanceWindow::dayName(day).left(3));
        box->setObjectName(QStringLiteral("day%1").arg(day));
        days->addWidget(box);
        m_days << box;
    }
    form->addRow(QStringLiteral("Days"), days);
    for (auto [edit, name] : {std::pair{m_start, "startEdit"}, std::pair{m_end, "endEdit"}}) {
        edit->setObjectName(QString::fromLatin1(name));
        edit->setDisplayFormat(QStringLiteral("HH:mm"));
    }
    form->addRow(QStringLiteral("Start"), m_start);
    form->addRow(QStringLiteral("End"), m_end);
    // Only the fields of the kind of window chosen can be edited.
    const auto follow = [this] {
        const bool weekly = m_weekly->isChecked();
        for (QWidget* field : {static_cast<QWidget*>(m_from), static_cast<QWidget*>(m_to)})
            field->setEnabled(!weekly);
        for (QWidget* field : {static_cast<QWidget*>(m_start), static_cast<QWidget*>(m_end)})
            field->setEnabled(weekly);
        for (QCheckBox* box : std::as_const(m_days))
            box->setEnabled(weekly);
    };
    follow();
    connect(m_weekly, &QRadioButton::toggled, this, follow);
    layout->addWidget(add);

    auto* buttons = new QHBoxLayout;
    auto* addButton = new QPushButton(QStringLiteral("Add"));
    addButton->setObjectName(QStringLiteral("addButton"));
    auto* close = new QPushButton(QStringLiteral("Close"));
    close->setObjectName(QStringLiteral("closeButton"));
    buttons->addStretch();
    buttons->addWidget(addButton);
    buttons->addWidget(close);
    layout->addLayout(buttons);

    connect(addButton, &QPushButton::clicked, this, &MaintenanceDialog::addWindow);
    connect(close, &QPushButton::clicked, this, &QDialog::accept);
    connect(m_remove, &QPushButton::clicked, this, &MaintenanceDialog::removeChosen);
    connect(m_windows, &QListWidget::currentRowChanged, this, [this](int row) { m_remove->setEnabled(row >= 0); });
    // Windows come and go by themselves too: a window that is over, or one added elsewhere.
    connect(&m_maintenance, &MaintenanceList::changed, this, &MaintenanceDialog::showWindows);
    showWindows();
}

void MaintenanceDialog::showWindows()
{
    m_windows->clear();
    for (const MaintenanceWindow& window : m_maintenance.windows()) {
        if (m_ips.isEmpty() ? !window.ip.isEmpty() : !m_ips.contains(window.ip))
            continue;
        auto* item = new QListWidgetItem(
            m_ips.size() > 1 ? window.ip + QStringLiteral(": ") + window.text() : window.text(), m_windows);
        item->setData(Qt::UserRole, window.id);
    }
    m_remove->setEnabled(m_windows->currentRow() >= 0);
}

void MaintenanceDialog::addWindow()
{
    MaintenanceWindow window;
    if (m_weekly->isChecked()) {
        window.repeat = MaintenanceWindow::Repeat::Weekly;
        for (int day = 0; day < 7; ++day) {
            if (m_days[day]->isChecked())
                window.days |= 1 << day;
        }
        window.start = m_start->time();
        window.end = m_end->time();
    } else {
        window.from = m_from->dateTime();
        window.to = m_to->dateTime();
    }
    // A window over already would be dropped as soon as it was added.
    if (const QString problem = window.problemAt(QDateTime::currentDateTime()); !problem.isEmpty()) {
        DeviceFormLayout::refuse(this, problem);
        return;
    }
    for (const QString& ip : m_ips.isEmpty() ? QStringList{QString()} : m_ips) {
        window.ip = ip;
        m_maintenance.add(window);
    }
}

void MaintenanceDialog::removeChosen()
{
    if (QListWidgetItem* chosen = m_windows->currentItem())
        m_maintenance.remove(chosen->data(Qt::UserRole).toString());
}

} // namespace Tarnwick
