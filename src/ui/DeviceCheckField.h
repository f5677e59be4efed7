// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "data/DeviceCheck.h"

#include <QWidget>

#include <QList>

#include <optional>

class QComboBox;
class QLabel;
class QSpinBox;

namespace Tarnwick {

// The "Check" row of the device dialogs: "ICMP echo", "TCP port" with its number, or "ARP",
// with a note when an ARP check cannot reach the address typed.
class DeviceCheckField : public QWidget
{
    Q_OBJECT

public:
    explicit DeviceCheckField(QWidget* parent = nullptr);

    void setCheck(const DeviceCheck& check);
    // The checks of several entries: where they differ, the kind starts blank, and the port
    // "(several)" where the ports differ; what is left so stays each entry's own (appliedTo).
    void setChecks(const QList<DeviceCheck>& checks);
    std::optional<DeviceCheck> check() const;
    // The check an entry that has own gets: the one chosen, with own's port where the ports
    // were left "(several)"; own itself where no kind was chosen.
    DeviceCheck appliedTo(const DeviceCheck& own) const;

    // The address the check is for, so that the field can say when ARP cannot ask it.
    void setAddress(const QString& address);
    // Why the check chosen can never work for the address (ARP for an IPv6 address), in the
    // user's language, or empty.
    QString problem() const;

signals:
    // Another kind of check was chosen (or none).
    void kindChanged();

private:
    void update();

    QComboBox* m_kind;
    QSpinBox* m_port;
    QLabel* m_note;
    QString m_address;
};

} // namespace Tarnwick
