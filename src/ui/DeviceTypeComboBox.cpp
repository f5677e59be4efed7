#include "DeviceTypeComboBox.h"

#include "data/DeviceEntry.h"
#include "skin/SkinResources.h"

namespace Tarnwick {

namespace {

struct TypeChoice
{
    const char* text;
    const char* icon;
    int code;
};

constexpr TypeChoice Choices[] = {
    {"PC", "DeviceTypePCIcon.png", DeviceTypePC},
    {"AP", "DeviceTypeAPIcon.png", DeviceTypeAP},
    {"Router", "DeviceTypeRouterIcon.png", DeviceTypeRouter},
    {"Web", "DeviceTypeWebIcon.png", DeviceTypeWeb},
};

} // namespace

DeviceTypeComboBox::DeviceTypeComboBox(QWidget* parent)
    : QComboBox(parent)
{
    for (const TypeChoice& choice : Choices)
        addItem(SkinResources::icon(QString::fromLatin1(choice.icon)), QString::fromLatin1(choice.text), choice.code);
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
