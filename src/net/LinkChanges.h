// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

namespace Tarnwick {

// Hears from the kernel when an interface or an IPv4 address of this network namespace
// changes, so that what was read of them is read again only then, not on the chance that it
// changed. Not thread-safe: one thread polls its fd and takes the notices as they come.
class LinkChanges
{
public:
    LinkChanges();
    ~LinkChanges();
    LinkChanges(const LinkChanges&) = delete;
    LinkChanges& operator=(const LinkChanges&) = delete;

    // False where the kernel's notices cannot be subscribed to: whoever reads the interfaces
    // must then read them again from time to time.
    bool isOpen() const { return m_fd >= 0; }
    // Readable when a notice waits; -1 when not open.
    int fd() const { return m_fd; }
    // Takes every notice waiting; true if there was any, or if some were lost (the socket's
    // buffer ran over), either of which means the interfaces may differ from what was read.
    bool taken();

private:
    int m_fd = -1;
};

} // namespace Tarnwick
