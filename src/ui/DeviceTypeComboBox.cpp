// SPDX-License-Identifier: GPL-3.0-or-later
#include "DeviceTypeComboBox.h"

#include "data/DeviceTypeName.h"
#include "skin/DevicePictures.h"
#include "skin/SkinResources.h"

namespace Tarnwick {

DeviceTypeComboBox::DeviceTypeComboBox(QWidget* parent)
    : QComboBox(parent)
{
    for (const int code : DeviceTypeName::chooserOrder())
        addItem(SkinResources::icon(DevicePictures::forType(code)), DeviceTypeName::shown(code), code);
}

int DeviceTypeComboBox::currentType() const
{
    return currentData(Qt::UserRole).toInt();
}

void DeviceTypeComboBox::setCurrentType(int type)
{
    const int index = findData(type, Qt::UserRole);
    setCurrentIndex(index < 0 ? 0 : index);
}

} // namespace Tarnwick
