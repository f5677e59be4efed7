// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <iterator>
#include <sys/capability.h>

// Lets this thread meet file permissions as any user does, for as long as it lives: root's
// override is taken out of the thread's effective set and put back afterwards.
class FilePermissionsApply
{
public:
    FilePermissionsApply()
        : m_saved(cap_get_proc())
    {
        cap_t reduced = cap_dup(m_saved);
        const cap_value_t overrides[] = {CAP_DAC_OVERRIDE, CAP_DAC_READ_SEARCH, CAP_FOWNER};
        cap_set_flag(reduced, CAP_EFFECTIVE, std::size(overrides), overrides, CAP_CLEAR);
        m_applied = cap_set_proc(reduced) == 0;
        cap_free(reduced);
    }
    ~FilePermissionsApply()
    {
        cap_set_proc(m_saved);
        cap_free(m_saved);
    }
    bool applied() const { return m_applied; }

private:
    cap_t m_saved;
    bool m_applied = false;
};
