#pragma once
// The far end of a real pseudo-terminal: the test holds the master side and
// the port under test opens the slave path, which is a genuine tty.

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <unistd.h>

class CPtyPeer {
public:
    CPtyPeer() {
        if (::openpty(&m_master, &m_slave, nullptr, nullptr, nullptr) != 0)
            return;
        // Every exchange with the port stays bounded, even when it stops reading.
        ::fcntl(m_master, F_SETFL, ::fcntl(m_master, F_GETFL) | O_NONBLOCK);
        char name[256] = {};
        if (::ttyname_r(m_slave, name, sizeof name) == 0)
            m_slavePath = name;
    }
    ~CPtyPeer() {
        CloseMaster();
        if (m_slave >= 0)
            ::close(m_slave);
    }
    CPtyPeer(const CPtyPeer&) = delete;
    CPtyPeer& operator=(const CPtyPeer&) = delete;

    bool IsReady() const { return m_master >= 0 && !m_slavePath.empty(); }
    const std::string& SlavePath() const { return m_slavePath; }
    int SlaveFd() const { return m_slave; }   // the test's own hold on the tty

    // Unplugs the device: the slave side sees a hang-up.
    void CloseMaster() {
        if (m_master >= 0)
            ::close(m_master);
        m_master = -1;
    }

    bool Send(const std::vector<std::uint8_t>& bytes,
              std::chrono::milliseconds timeout = std::chrono::seconds(2)) {
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        std::size_t sent = 0;
        while (sent < bytes.size()) {
            const ssize_t n = ::write(m_master, bytes.data() + sent, bytes.size() - sent);
            if (n > 0) {
                sent += static_cast<std::size_t>(n);
                continue;
            }
            if (n < 0 && errno != EAGAIN)
                return false;
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                deadline - std::chrono::steady_clock::now());
            pollfd master{m_master, POLLOUT, 0};
            if (left.count() <= 0 || ::poll(&master, 1, static_cast<int>(left.count())) <= 0)
                return false;
        }
        return true;
    }

    // Up to count bytes, waiting at most timeout for them.
    std::vector<std::uint8_t> Receive(std::size_t count,
                                      std::chrono::milliseconds timeout = std::chrono::seconds(2)) {
        std::vector<std::uint8_t> bytes;
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        while (bytes.size() < count) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                deadline - std::chrono::steady_clock::now());
            if (left.count() <= 0)
                break;
            pollfd master{m_master, POLLIN, 0};
            if (::poll(&master, 1, static_cast<int>(left.count())) <= 0 || (master.revents & POLLIN) == 0)
                break;
            std::uint8_t chunk[256];
            const std::size_t want = std::min(sizeof chunk, count - bytes.size());
            const ssize_t n = ::read(m_master, chunk, want);
            if (n <= 0)
                break;
            bytes.insert(bytes.end(), chunk, chunk + n);
        }
        return bytes;
    }

private:
    int m_master = -1;
    int m_slave = -1;
    std::string m_slavePath;
};
