// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "data/EchoOptions.h"

#include <QList>
#include <QWidget>

class QCheckBox;
class QLabel;
class QSpinBox;
class QToolButton;

namespace Tarnwick {

// The "Advanced" fold of the device dialogs, closed until the user opens it unless an entry
// shown has options other than the defaults: the echo
// requests' payload size and "Don't fragment". Only an echo check sends echo requests, so for
// the others the fields are off and a note says why. Given several entries whose options
// differ, a field starts at "Each keeps its own", and left so, each entry keeps its own.
class EchoOptionsField : public QWidget
{
    Q_OBJECT

public:
    explicit EchoOptionsField(QWidget* parent = nullptr);

    void setOptions(const QList<EchoOptions>& options);
    // The options an entry that has own gets.
    EchoOptions appliedTo(const EchoOptions& own) const;
    // Whether the check chosen sends echo requests (none chosen yet: it may).
    void setForEcho(bool echo);

private:
    QToolButton* m_fold;
    QWidget* m_content;
    QSpinBox* m_payloadSize;
    QCheckBox* m_dontFragment;
    QLabel* m_note;
};

} // namespace Tarnwick
