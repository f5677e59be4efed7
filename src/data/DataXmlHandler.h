// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "DeviceEntry.h"
#include "DocumentFile.h"
#include "IXmlContentHandler.h"

#include <functional>

namespace Tarnwick {

class Data;

// Reads "DeviceConfig.xml": every "DeviceEntry" element, wherever it stands, becomes one
// entry of the store, with the element's text as its description. stopRequested, where given,
// is asked before each entry: true ends the reading there. What it takes on trust is told to
// report: an address or a check that cannot be read (the entry is kept as written, and its
// probes fail with the reason), an address listed twice (the later entry is left out), and an
// echo payload size that cannot be read or is out of range (the entry is kept, with the default
// size or the nearest one in range).
class DataXmlHandler : public IXmlContentHandler
{
public:
    DataXmlHandler(Data& data, std::function<bool()> stopRequested = {}, DocumentFile::Reporter report = {});

    bool startElement(const QString& qName, const QXmlStreamAttributes& attributes) override;
    bool endElement(const QString& qName) override;
    bool characters(const QString& text) override;

private:
    DeviceEntry m_current;
    // What cannot be taken of the current entry's echo options as written.
    QString m_echoProblem;
    // Entries read without an address so far.
    int m_withoutAddress = 0;
    Data& m_data;
    std::function<bool()> m_stopRequested;
    DocumentFile::Reporter m_report;
};

} // namespace Tarnwick
