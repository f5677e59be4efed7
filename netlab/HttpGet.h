// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>

// The body of http://127.0.0.1:<port><path> when it answers 200 within 5 s; nothing otherwise.
// headers: more lines of the request, each ending in "\r\n"; head, where given, gets the
// answer's status line and headers whatever the status.
QByteArray httpGet(int port, const char* path, const QByteArray& headers = {}, QByteArray* head = nullptr);
