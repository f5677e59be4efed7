// SPDX-License-Identifier: GPL-3.0-or-later
#include "DeviceTypeComboBox.h"

#include "data/DeviceEntry.h"
#include "skin/DevicePictures.h"
#include "skin/SkinResources.h"

namespace Tarnwick {

namespace {

struct TypeChoice
{
    const char* text;
    int code;
};

// The chooser lists PC first; its positions are not type codes.
constexpr TypeChoice Choices[] = {
    {"PC", DeviceTypePC},
    {"AP", DeviceTypeAP},
    {"Router", DeviceTypeRouter},
    {"Web", DeviceTypeWeb},
};

} // namespace

DeviceTypeComboBox::DeviceTypeComboBox(QWidget* parent)
    : QComboBox(parent)
{
    for (const TypeChoice& choice : Choices)
        addItem(SkinResources::icon(DevicePictures::forType(choice.code)), QString::fromLatin1(choice.text),
                choice.code);
}

QString DeviceTypeComboBox::typeName(int type)
{
    for (const TypeChoice& choice : Choices) {
        if (choice.code == type)
            return QString::fromLatin1(choice.text);
    }
    return {};
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
