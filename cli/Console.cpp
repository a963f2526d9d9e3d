#include "Console.h"

#include "MeterLink.h"
#include "SafeWrite.h"

#include <cstdlib>

void CSignalWatcher::SetOperation(CMeterLink* link) {
    std::lock_guard lock(m_mutex);
    m_link = link;
}

void CSignalWatcher::Interrupt(int signalNumber) {
    std::lock_guard lock(m_mutex);
    if (!m_link) {
        RemoveUnfinishedTempFile();   // a report being saved stays as it was
        std::_Exit(128 + signalNumber);
    }
    m_link->RequestStop();
    m_link = nullptr;   // a second interrupt ends the program
}
