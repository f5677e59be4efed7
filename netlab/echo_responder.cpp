// SPDX-License-Identifier: GPL-3.0-or-later
// A test host's ICMP echo responder. Run it where the kernel answers no echo requests itself
// (net.ipv4.icmp_echo_ignore_all=1); it answers requests for one address after a delay and,
// on request, misbehaves first the ways real networks do. Prints "ready" once listening and
// ends when its standard input closes or after --seconds. With --delay-only, only the first N
// replies wait, and the ones after them leave at once (a host that is slow for a while). With
// --alternate-delay, every second reply waits that long instead (round trips in two modes).
//
//   echo_responder --address A [--delay MS [--delay-only N]] [--alternate-delay MS] [--wrong-id] [--wrong-seq]
//                  [--duplicate]
//                  [--foreign-source B [--only-foreign]] [--unrelated] [--seconds N]
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

namespace {

std::uint16_t checksum(const std::uint8_t* data, std::size_t length)
{
    std::uint32_t sum = 0;
    for (std::size_t i = 0; i + 1 < length; i += 2) {
        std::uint16_t word;
        std::memcpy(&word, data + i, 2);
        sum += word;
    }
    if (length % 2)
        sum += data[length - 1];
    sum = (sum & 0xFFFF) + (sum >> 16);
    sum = (sum & 0xFFFF) + (sum >> 16);
    return static_cast<std::uint16_t>(~sum);
}

int rawSocketBoundTo(in_addr address)
{
    const int fd = ::socket(AF_INET, SOCK_RAW, IPPROTO_ICMP);
    if (fd < 0)
        return -1;
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_addr = address;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

void sendMessage(int fd, std::vector<std::uint8_t> message, const sockaddr_in& to)
{
    message[2] = message[3] = 0;
    const std::uint16_t sum = checksum(message.data(), message.size());
    std::memcpy(&message[2], &sum, 2);
    ::sendto(fd, message.data(), message.size(), 0, reinterpret_cast<const sockaddr*>(&to), sizeof to);
}

} // namespace

int main(int argc, char** argv)
{
    in_addr address{};
    in_addr foreign{};
    bool haveForeign = false;
    int delayMs = 0;
    long delayedReplies = -1;
    int alternateDelayMs = -1;
    bool alternate = false;
    int seconds = 60;
    bool wrongId = false, wrongSeq = false, duplicate = false, unrelated = false, onlyForeign = false;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const char* next = i + 1 < argc ? argv[i + 1] : "";
        if (arg == "--address" && inet_pton(AF_INET, next, &address) == 1)
            ++i;
        else if (arg == "--foreign-source" && inet_pton(AF_INET, next, &foreign) == 1)
            haveForeign = true, ++i;
        else if (arg == "--delay")
            delayMs = std::atoi(next), ++i;
        else if (arg == "--alternate-delay")
            alternateDelayMs = std::atoi(next), ++i;
        else if (arg == "--delay-only")
            delayedReplies = std::atol(next), ++i;
        else if (arg == "--seconds")
            seconds = std::atoi(next), ++i;
        else if (arg == "--wrong-id")
            wrongId = true;
        else if (arg == "--wrong-seq")
            wrongSeq = true;
        else if (arg == "--duplicate")
            duplicate = true;
        else if (arg == "--unrelated")
            unrelated = true;
        else if (arg == "--only-foreign")
            onlyForeign = true;
        else {
            std::fprintf(stderr, "echo_responder: unknown argument %s\n", arg.c_str());
            return 2;
        }
    }

    const int fd = rawSocketBoundTo(address);
    const int foreignFd = haveForeign ? rawSocketBoundTo(foreign) : -1;
    if (fd < 0 || (haveForeign && foreignFd < 0)) {
        std::perror("echo_responder: socket");
        return 1;
    }
    std::printf("ready\n");
    std::fflush(stdout);

    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    std::uint8_t buffer[2048];
    while (std::chrono::steady_clock::now() < end) {
        pollfd fds[2] = {{fd, POLLIN, 0}, {STDIN_FILENO, POLLIN, 0}};
        if (::poll(fds, 2, 100) <= 0)
            continue;
        if (fds[1].revents & (POLLIN | POLLHUP)) {
            char c;
            if (::read(STDIN_FILENO, &c, 1) <= 0)
                break;
        }
        if (!(fds[0].revents & POLLIN))
            continue;
        sockaddr_in from{};
        socklen_t fromLength = sizeof from;
        const ssize_t n = ::recvfrom(fd, buffer, sizeof buffer, 0, reinterpret_cast<sockaddr*>(&from), &fromLength);
        if (n < 20)
            continue;
        const std::size_t headerLength = static_cast<std::size_t>(buffer[0] & 0x0F) * 4;
        if (static_cast<std::size_t>(n) < headerLength + 8 || std::memcmp(buffer + 16, &address, 4) != 0)
            continue;
        const std::uint8_t* icmp = buffer + headerLength;
        if (icmp[0] != 8)
            continue;

        std::vector<std::uint8_t> reply(icmp, icmp + (n - static_cast<ssize_t>(headerLength)));
        reply[0] = 0;
        alternate = alternateDelayMs >= 0 && !alternate;
        const int waitMs = alternate ? alternateDelayMs : delayMs;
        if (waitMs > 0 && delayedReplies != 0)
            std::this_thread::sleep_for(std::chrono::milliseconds(waitMs));
        if (delayedReplies > 0)
            --delayedReplies;
        if (unrelated) {
            // A "port unreachable" that happens to carry the same identifier and sequence bytes.
            std::vector<std::uint8_t> other = reply;
            other[0] = 3;
            other[1] = 3;
            sendMessage(fd, other, from);
        }
        // The misleading replies carry a send time that is far off, so that a probe that takes
        // one of them reports a time far from the truth.
        if (wrongId) {
            std::vector<std::uint8_t> other = reply;
            other[4] ^= 0x5A;
            other[13] ^= 0x40;
            sendMessage(fd, other, from);
        }
        if (wrongSeq) {
            std::vector<std::uint8_t> other = reply;
            other[6] ^= 0x5A;
            other[13] ^= 0x40;
            sendMessage(fd, other, from);
        }
        if (haveForeign) {
            // The right reply, but from an address that was not probed.
            std::vector<std::uint8_t> other = reply;
            other[13] ^= 0x40;
            sendMessage(foreignFd, other, from);
        }
        if (onlyForeign)
            continue;
        sendMessage(fd, reply, from);
        if (duplicate)
            sendMessage(fd, reply, from);
    }
    return 0;
}
