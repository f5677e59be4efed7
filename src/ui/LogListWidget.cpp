// SPDX-License-Identifier: GPL-3.0-or-later
#include "LogListWidget.h"

#include "data/PhraseBook.h"
#include "log/LogManager.h"
#include "log/LogTimestamp.h"

#include <QScrollBar>
#include <QTimer>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace Tarnwick {

namespace {

// The log file's categories, as the tab names them.
const char* const Categories[] = {
    //: A category of log entries: the program's start, end and problems
    QT_TRANSLATE_NOOP("Tarnwick::LogListWidget", "Application"),
    //: A category of log entries: alerts, mutes and maintenance windows
    QT_TRANSLATE_NOOP("Tarnwick::LogListWidget", "Alerts"),
    //: A category of log entries: the devices of the list and their states
    QT_TRANSLATE_NOOP("Tarnwick::LogListWidget", "DeviceList"),
    //: A category of log entries: the watch on the network for new devices
    QT_TRANSLATE_NOOP("Tarnwick::LogListWidget", "Network"),
    //: A category of log entries: changes of the settings
    QT_TRANSLATE_NOOP("Tarnwick::LogListWidget", "Settings"),
};

} // namespace

LogListWidget::LogListWidget(QWidget* parent)
    : QWidget(parent)
    , m_tree(new QTreeWidget(this))
{
    m_tree->setObjectName(QStringLiteral("logTree"));
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_tree);
    m_tree->setHeaderLabels({
        //: Column header of the log: when the entry was written
        tr("Date"),
        //: Column header of the log: the part of the program that wrote the entry
        tr("Category"),
        //: Column header of the log: the entry's text
        tr("Entry"),
    });
    m_tree->setColumnWidth(0, 200);
    m_tree->setColumnWidth(1, 200);
    m_tree->setColumnWidth(2, 500);
    m_tree->setRootIsDecorated(false);
    m_tree->setUniformRowHeights(true);

    LogManager& manager = LogManager::instance();
    manager.addListener(this);
    QList<QTreeWidgetItem*> rows;
    for (const std::string& line : manager.readLastEntries(MaxRows)) {
        // The time stamp and the category hold no "|"; the text is the rest of the line, whatever
        // it holds.
        const QString text = QString::fromStdString(line);
        const qsizetype dateEnd = text.indexOf(QLatin1Char('|'));
        const qsizetype categoryEnd = dateEnd < 0 ? -1 : text.indexOf(QLatin1Char('|'), dateEnd + 1);
        if (categoryEnd < 0)
            continue;
        rows << rowOf(text.left(dateEnd).trimmed(), text.mid(dateEnd + 1, categoryEnd - dateEnd - 1).trimmed(),
                      text.mid(categoryEnd + 1).trimmed());
    }
    m_tree->addTopLevelItems(rows);
    // The newest lines are what one opens the log for.
    m_tree->scrollToBottom();
}

LogListWidget::~LogListWidget()
{
    LogManager::instance().removeListener(this);
}

void LogListWidget::onLogEntry(const std::string& category, const std::string& text)
{
    appendRow(QString::fromStdString(logTimestamp()), QString::fromStdString(category), QString::fromStdString(text));
}

QTreeWidgetItem* LogListWidget::rowOf(const QString& date, const QString& category, const QString& text)
{
    // The file is written in English for whoever reads it; the tab speaks the user's language.
    QString shownCategory = category;
    for (const char* known : Categories)
        if (category == QLatin1String(known))
            shownCategory = tr(known);
    return new QTreeWidgetItem(QStringList{date, shownCategory, PhraseBook::translate(text)});
}

void LogListWidget::appendRow(const QString& date, const QString& category, const QString& text)
{
    // A view resting at its newest line follows new lines; one scrolled back stays where it is.
    // Lines come in bursts (a mass outage logs thousands at once), and reading the scroll bar or
    // scrolling lays out every row: whether the view follows is judged at a burst's first line,
    // and it is scrolled once, as the burst ends.
    if (!m_scrollPending) {
        const QScrollBar* bar = m_tree->verticalScrollBar();
        m_followBurst = bar->value() >= bar->maximum();
        m_scrollPending = true;
        QTimer::singleShot(0, this, [this] {
            m_scrollPending = false;
            if (m_followBurst)
                m_tree->scrollToBottom();
        });
    }
    m_tree->addTopLevelItem(rowOf(date, category, text));
    if (m_tree->topLevelItemCount() > MaxRows)
        delete m_tree->takeTopLevelItem(0);
}

} // namespace Tarnwick
