// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QHash>
#include <QString>

#include <vector>

namespace Tarnwick {

// Figures by device address, found on every result by the store's number for the address
// (ProbeRecord::slot) rather than by hashing and comparing the address: with tens of thousands
// of devices each such look-up misses the cache on the way to its entry, while the slot's entry
// is one read. The address is looked up as before where no slot is given, or where the slot's
// entry was made for another address or before the table moved its values (an insert, a
// removal, or a copy taken that the next change parts from). Not thread-safe: its owner's lock
// guards it as it guards the table.
template <typename Value>
class SlottedHash
{
public:
    using Hash = QHash<QString, Value>;

    // The device's value, made where it has none yet.
    Value& at(const QString& device, int slot = -1)
    {
        // A table shared with a copy is parted from it first: its values move.
        const bool shared = !m_hash.isDetached();
        if (slot >= 0 && std::size_t(slot) < m_slots.size() && !shared) {
            const Slot& known = m_slots[std::size_t(slot)];
            if (known.generation == m_generation && known.device == device)
                return *known.value;
        }
        if (shared) {
            m_hash.detach();
            ++m_generation;
        }
        const qsizetype before = m_hash.size();
        Value& value = m_hash[device];
        // An insert may have grown the table and moved every value.
        if (m_hash.size() != before)
            ++m_generation;
        if (slot >= 0) {
            if (std::size_t(slot) >= m_slots.size())
                m_slots.resize(std::size_t(slot) + 1);
            m_slots[std::size_t(slot)] = {device, &value, m_generation};
        }
        return value;
    }

    bool remove(const QString& device)
    {
        ++m_generation;
        return m_hash.remove(device);
    }

    // The table as it stands, to read or to copy.
    const Hash& all() const { return m_hash; }

private:
    struct Slot
    {
        QString device;
        Value* value = nullptr;
        quint64 generation = 0;
    };

    Hash m_hash;
    std::vector<Slot> m_slots;
    // Entries of slots from another generation point at values that may have moved.
    quint64 m_generation = 1;
};

} // namespace Tarnwick
