// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "ApiResponse.h"

#include <QByteArray>
#include <QString>

namespace Tarnwick {

class Data;
class MuteList;

// The API's mutes: listed, set for one device or all for some minutes, until a time or until
// lifted, and lifted, in the same list as the window's "Mute alerts" menu. On the store's thread.
class MuteRequests
{
public:
    MuteRequests(MuteList& mutes, const Data& data);

    // address: one device's mute, from the path; empty for the collection (DELETE: the mute of
    // all devices).
    ApiResponse handle(const QByteArray& method, const QString& address, const QByteArray& body);

private:
    ApiResponse list() const;
    ApiResponse mute(const QByteArray& body);

    MuteList& m_mutes;
    const Data& m_data;
};

} // namespace Tarnwick
