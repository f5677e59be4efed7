// SPDX-License-Identifier: GPL-3.0-or-later
#include "EchoOptions.h"

#include "PhraseBook.h"

namespace Tarnwick {

QString EchoOptions::text() const
{
    if (isDefault())
        return {};
    return PhraseBook::english(dontFragment ? PhraseBook::EchoPayloadUnfragmented : PhraseBook::EchoPayload,
                               {QString::number(payloadSize)});
}

} // namespace Tarnwick
