// SPDX-License-Identifier: GPL-3.0-or-later
#include "NameOnlyFileIconProvider.h"

#include <QFileInfo>

namespace Tarnwick {

QIcon NameOnlyFileIconProvider::icon(const QFileInfo& info) const
{
    if (!info.isFile())
        return QFileIconProvider::icon(info);
    const QIcon themed = QIcon::fromTheme(m_mimeTypes.mimeTypeForFile(info, QMimeDatabase::MatchExtension).iconName());
    return themed.isNull() ? QFileIconProvider::icon(QFileIconProvider::File) : themed;
}

QString NameOnlyFileIconProvider::type(const QFileInfo& info) const
{
    if (!info.isFile())
        return QFileIconProvider::type(info);
    const QMimeType mimeType = m_mimeTypes.mimeTypeForFile(info, QMimeDatabase::MatchExtension);
    return mimeType.comment().isEmpty() ? mimeType.name() : mimeType.comment();
}

} // namespace Tarnwick
