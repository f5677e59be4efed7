// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Watches the ICMP echo requests that leave inside the caller's private network namespace,
// to tell when a program under test has sent its first probe. Needs root.
class EchoRequestWatch
{
public:
    EchoRequestWatch();
    ~EchoRequestWatch();
    EchoRequestWatch(const EchoRequestWatch&) = delete;
    EchoRequestWatch& operator=(const EchoRequestWatch&) = delete;

    // Forgets the requests seen so far.
    void forget();
    // True once an echo request passes, within ms.
    bool seen(int ms);

private:
    int m_socket = -1;
};
