#pragma once
// The far end of a real pseudo-terminal: the test holds the master side and
// the port under test opens the slave path, which is a genuine tty.

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <unistd.h>

using Bytes = std::vector<std::uint8_t>;

class CPtyPeer {
public:
    CPtyPeer() {
        char name[256] = {};
        EXPECT_EQ(::openpty(&m_master, &m_slave, name, nullptr, nullptr), 0);
        ::fcntl(m_master, F_SETFL, O_NONBLOCK);   // no exchange may block, even when the port stops reading
        m_slavePath = name;
    }
    ~CPtyPeer() { CloseMaster(); ::close(m_slave); }
    CPtyPeer(const CPtyPeer&) = delete;
    CPtyPeer& operator=(const CPtyPeer&) = delete;

    const std::string& SlavePath() const { return m_slavePath; }
    int SlaveFd() const { return m_slave; }   // the test's own hold on the tty
    void CloseMaster() { ::close(std::exchange(m_master, -1)); }   // unplugs the device: the tty hangs up
    // Small blocks fit the pty's queue whole.
    bool Send(const Bytes& bytes) { return ::write(m_master, bytes.data(), bytes.size()) == std::ssize(bytes); }
    // Up to count bytes, waiting at most two seconds for them.
    Bytes Receive(std::size_t count) {
        Bytes bytes(count);
        std::size_t got = 0;
        pollfd master{m_master, POLLIN, 0};
        while (got < count && ::poll(&master, 1, 2000) > 0) {
            const ssize_t n = ::read(m_master, bytes.data() + got, count - got);
            if (n <= 0)
                break;
            got += static_cast<std::size_t>(n);
        }
        bytes.resize(got);
        return bytes;
    }

private:
    int m_master = -1;
    int m_slave = -1;
    std::string m_slavePath;
};
