// SPDX-License-Identifier: GPL-3.0-or-later
#include "MaintenanceDialog.h"

#include "DeviceFormLayout.h"
#include "data/MaintenanceList.h"
#include "data/PhraseBook.h"

#include <QCheckBox>
#include <QDateTimeEdit>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QLocale>
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
    , m_remove(new QPushButton(tr("Remove")))
    //: How often a maintenance window comes back
    , m_weekly(new QRadioButton(tr("Weekly")))
    , m_from(new QDateTimeEdit)
    , m_to(new QDateTimeEdit)
    , m_start(new QTimeEdit(QTime(2, 0)))
    , m_end(new QTimeEdit(QTime(4, 0)))
{
    setWindowTitle(tr("Maintenance"));
    // Whose windows they are, each a sentence of its own for the translators.
    QString headingText;
    if (m_ips.isEmpty()) {
        headingText = tr(
            "Windows of all devices: alerts wait for the window's end, and are told then if they still hold.");
    } else if (m_ips.size() == 1) {
        //: %1: the device's address
        headingText = tr("Windows of %1: alerts wait for the window's end, and are told then if they still hold.")
                          .arg(m_ips.first());
    } else {
        //: %n: the number of devices chosen, always more than one
        headingText = tr("Windows of %n devices: alerts wait for the window's end, and are told then if they still "
                         "hold.",
                         nullptr, int(m_ips.size()));
    }
    auto* layout = new QVBoxLayout(this);
    auto* heading = new QLabel(headingText);
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

    //: A new maintenance window
    auto* add = new QGroupBox(tr("New window"));
    auto* form = new QFormLayout(add);
    //: How often a maintenance window comes: a single time
    auto* once = new QRadioButton(tr("Once"));
    once->setObjectName(QStringLiteral("onceButton"));
    once->setChecked(true);
    m_weekly->setObjectName(QStringLiteral("weeklyButton"));
    auto* repeat = new QHBoxLayout;
    repeat->addWidget(once);
    repeat->addWidget(m_weekly);
    repeat->addStretch();
    //: The label of the choice between once and weekly
    form->addRow(tr("Repeat"), repeat);
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
    //: The date and time a window of once starts
    form->addRow(tr("From"), m_from);
    //: The date and time a window of once ends
    form->addRow(tr("To"), m_to);
    auto* days = new QHBoxLayout;
    for (int day = 1; day <= 7; ++day) {
        // The desktop's own short name of the day, in the language the dialog is in.
        auto* box = new QCheckBox(QLocale().dayName(day, QLocale::ShortFormat));
        box->setObjectName(QStringLiteral("day%1").arg(day));
        days->addWidget(box);
        m_days << box;
    }
    //: The days of the week a weekly window comes on
    form->addRow(tr("Days"), days);
    for (auto [edit, name] : {std::pair{m_start, "startEdit"}, std::pair{m_end, "endEdit"}}) {
        edit->setObjectName(QString::fromLatin1(name));
        edit->setDisplayFormat(QStringLiteral("HH:mm"));
    }
    //: The time of day a weekly window starts
    form->addRow(tr("Start"), m_start);
    //: The time of day a weekly window ends
    form->addRow(tr("End"), m_end);
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
    //: Button: adds the new maintenance window
    auto* addButton = new QPushButton(tr("Add"));
    addButton->setObjectName(QStringLiteral("addButton"));
    auto* close = new QPushButton(tr("Close"));
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
        const QString shown = PhraseBook::translate(window.text(QLocale()));
        auto* item = new QListWidgetItem(
            //: %1: a device's address, %2: its maintenance window
            m_ips.size() > 1 ? tr("%1: %2").arg(window.ip, shown) : shown, m_windows);
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
        DeviceFormLayout::refuse(this, PhraseBook::translate(problem));
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
