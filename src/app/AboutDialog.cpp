// SPDX-License-Identifier: GPL-3.0-or-later
#include "AboutDialog.h"

#include "server/ProcessValues.h"
#include "skin/SkinResources.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace Tarnwick {

AboutDialog::AboutDialog(QWidget* parent)
    : QDialog(parent)
    , m_okButton(nullptr)
{
    setWindowTitle(tr("Tarnwick - About"));
    auto* outer = new QVBoxLayout(this);
    m_okButton = new QPushButton(tr("OK"), this);
    m_okButton->setObjectName(QStringLiteral("okButton"));
    auto* row = new QHBoxLayout;
    auto* text = new QLabel(this);
    text->setObjectName(QStringLiteral("aboutText"));
    //: %1: the program's version
    text->setText(tr("Tarnwick %1 (beta)\n\n"
                     "Written by the Tarnwick developers. Questions, ideas and bug reports "
                     "are welcome on the project's repository page.\n\n"
                     "Tarnwick is free software: you can redistribute it and/or modify it under the "
                     "terms of the GNU General Public License, version 3 or (at your option) any later "
                     "version. It comes with no warranty.")
                      .arg(appVersion));
    text->setWordWrap(true);
    auto* picture = new QLabel(this);
    picture->setPixmap(SkinResources::pixmap(QStringLiteral("twicon.png")));
    picture->setVisible(true);
    row->addWidget(text);
    row->addWidget(picture);
    outer->addLayout(row);
    outer->addWidget(m_okButton);
    setBaseSize(300, 150);
    setMinimumSize(300, 150);
    connect(m_okButton, &QPushButton::pressed, this, &AboutDialog::OkButtonClicked);
}

void AboutDialog::OkButtonClicked()
{
    close();
}

} // namespace Tarnwick
