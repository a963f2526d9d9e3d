#pragma once
// The temporary file of the save in progress, kept where a signal handler
// (or the console's interrupt handler) can find and remove it. Shared by
// SafeWritePosix.cpp and SafeWriteWin32.cpp.

#include <atomic>
#include <cstddef>
#include <string>

template <typename Char, std::size_t Capacity>
class CUnfinishedFileSlot {
public:
    static_assert(std::atomic<bool>::is_always_lock_free, "read from a signal handler");

    // The path to remove, or nullptr; disarms. Safe in a signal handler.
    const Char* Take() { return m_armed.exchange(false) ? m_path : nullptr; }

private:
    template <typename, std::size_t>
    friend class CUnfinishedFileArming;
    Char m_path[Capacity] = {};
    std::atomic<bool> m_armed{false};
};

// Arms the slot for one save and disarms it when the save ends; one save at
// a time is guarded, a second one meanwhile is not.
template <typename Char, std::size_t Capacity>
class CUnfinishedFileArming {
public:
    explicit CUnfinishedFileArming(CUnfinishedFileSlot<Char, Capacity>& slot) : m_slot(slot) {}
    ~CUnfinishedFileArming() { Disarm(); }
    CUnfinishedFileArming(const CUnfinishedFileArming&) = delete;
    CUnfinishedFileArming& operator=(const CUnfinishedFileArming&) = delete;

    // Armed before the file is created, so that no signal finds it unguarded.
    void Arm(const std::basic_string<Char>& path)
    {
        if (m_armed || path.size() >= Capacity || m_slot.m_armed.load())
            return;
        path.copy(m_slot.m_path, path.size());
        m_slot.m_path[path.size()] = Char();
        m_slot.m_armed = true;
        m_armed = true;
    }
    void Disarm()
    {
        if (m_armed)
            m_slot.m_armed = false;
        m_armed = false;
    }

private:
    CUnfinishedFileSlot<Char, Capacity>& m_slot;
    bool m_armed = false;
};
