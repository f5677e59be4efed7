// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <atomic>

namespace Tarnwick {

// A value that one thread may read while another writes it, in a record that is copied and
// compared as a whole: copies and comparisons read it atomically.
template <typename T>
class CopyableAtomic
{
public:
    CopyableAtomic(T value = T())
        : m_value(value)
    {
    }
    CopyableAtomic(const CopyableAtomic& other)
        : m_value(other.load())
    {
    }
    CopyableAtomic& operator=(const CopyableAtomic& other)
    {
        m_value.store(other.load());
        return *this;
    }
    CopyableAtomic& operator=(T value)
    {
        m_value.store(value);
        return *this;
    }

    T load() const { return m_value.load(); }
    bool operator==(const CopyableAtomic& other) const { return load() == other.load(); }

private:
    std::atomic<T> m_value;
};

} // namespace Tarnwick
