// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "ApiResponse.h"

#include <QByteArray>
#include <QString>

namespace Tarnwick {

class Data;
class MaintenanceList;

// The API's maintenance windows: listed, added for one device or all (once, from one time to
// another, or weekly on some days between two local times) and removed, in the same list as the
// window's "Maintenance…" dialog, refused with its words. On the store's thread.
class MaintenanceRequests
{
public:
    MaintenanceRequests(MaintenanceList& maintenance, const Data& data);

    // id: one window's, from the path; empty for the collection.
    ApiResponse handle(const QByteArray& method, const QString& id, const QByteArray& body);

private:
    ApiResponse list() const;
    ApiResponse add(const QByteArray& body);

    MaintenanceList& m_maintenance;
    const Data& m_data;
};

} // namespace Tarnwick
