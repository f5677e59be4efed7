// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QString>

namespace Tarnwick {

// The secret every API request carries: 256 random bits in hexadecimal, kept in a file that
// only its owner may read, made at the first start with the API on and read at each start
// after. Never logged.
class ApiToken
{
public:
    static constexpr const char* DefaultFileName = "ApiToken";

    // The file's token, made first where there is no file. Empty, with the reason in error, when
    // the file cannot be read or made: the API is then not served, and a file that exists is
    // never written over.
    // warning: set when others than its owner may read or change the file.
    static QByteArray readOrMake(const QString& fileName, QString* error, QString* warning = nullptr);
};

} // namespace Tarnwick
