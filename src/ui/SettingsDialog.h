// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "data/Settings.h"

#include <QDialog>

class QCheckBox;
class QLabel;
class QGridLayout;
class QLineEdit;
class QPushButton;

namespace Tarnwick {

// Edits a copy of the process-wide settings and puts the fields the user changed into the
// record as the dialog closes, so that the program hears only those, once. "Cancel" closes it
// without them; Escape and the title bar's close keep them, as "OK" does.
class SettingsDialog : public QDialog
{
    Q_OBJECT

public:
    explicit SettingsDialog(QWidget* parent = nullptr);

private slots:
    void CancelButtonClicked();
    void PlaySoundsCheckBoxStateChanged(int nState);
    void SkinLineEditTextChanged(const QString& sText);
    void PingTimeoutLineEditTextChanged(const QString& sText);
    void PingTimeGapLineEditTextChanged(const QString& sText);
    void LogStateChangeCheckBoxStateChanged(int nState);

private:
    // A choice among the list's devices of the one this computer reaches the network through.
    void addFirstHopRow();
    // Light or dark windows, or as the desktop prefers; the program takes it on as the dialog closes.
    void addAppearanceRow();
    void addMetricsRow();
    // "Alerts": where alerts go besides the desktop, and a button that sends a test alert there
    // with the values as typed.
    void addAlertRows();
    // A bold line over the rows that follow it.
    void addHeading(const QString& text);
    // A text setting; its placeholder says what an empty field means.
    void addTextRow(const QString& label, const char* objectName, QString Settings::*setting, const QString& hint,
                    //: An empty field: the setting is off
                    const QString& placeholder = tr("off"));
    // How often the network watch looks for devices and which networks it looks at; how often
    // the paths are traced, and whether a change is an alert.
    void addNetworkWatchRows();
    // How often a watch looks: "Off" or seconds, at least the shortest period.
    void addPeriodRow(const QString& label, const char* objectName, CopyableAtomic<int> Settings::*setting,
                      int shortest, const QString& hint);
    void sendTestAlert();
    // A check box for a yes/no setting, in a row of its own below the others.
    void addCheckRow(const QString& label, const char* objectName, bool Settings::*setting);
    // A further setting edited as a number from 0 to maximum, in a row of its own.
    void addNumberRow(const QString& label, const char* objectName, CopyableAtomic<int> Settings::*setting, int maximum,
                      const QString& hint);
    // Probing one device at a time, how long a pass over the list takes with the time-out and
    // gap as typed, and where to turn when that is long; probing side by side, how often each
    // device is really probed where the list needs more than the engine sends.
    void addPassRow();
    void showPass();
    // What the line says of a pass over the list one device at a time.
    static QString passText(qint64 devices, qint64 fastestMs, qint64 slowestMs);
    // Puts the edits into the record unless the user cancelled, then brings the desktop's
    // autostart entry in step with the record.
    void applyOnClose();

    // Stores the number typed into field in setting, and shows it normalised; anything that
    // is not a 32-bit decimal number leaves both alone.
    static void updateNumber(QLineEdit* field, CopyableAtomic<int>& setting, const QString& text);

    QCheckBox* playSoundsCheckBox;
    QLineEdit* skinLineEdit;
    QLineEdit* pingTimeoutLineEdit;
    QLineEdit* pingTimeGapLineEdit;
    QCheckBox* logStateChangeCheckBox;
    QPushButton* okButton;
    QPushButton* cancelButton;
    // The record as the dialog opened, and the copy the fields edit.
    const Settings m_original;
    Settings m_edited;
    bool m_cancelled = false;
    QGridLayout* m_grid = nullptr;
    QLabel* m_pass = nullptr;
    QPushButton* m_testAlertButton = nullptr;
    QLabel* m_testAlertResult = nullptr;
};

} // namespace Tarnwick
