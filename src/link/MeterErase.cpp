#include "MeterErase.h"

CMeterErase::CMeterErase(CMeterExchange& exchange, ILinkClock& clock, const Pauses& pauses)
    : m_exchange(exchange), m_clock(clock), m_pauses(pauses) {}

ClearOutcome CMeterErase::Erase() {
    const std::size_t sent = m_exchange.SendFrame(BuildFrame(MeterCommand::CLEAR_DATA));
    if (sent == 0 && m_clock.StopRequested())
        return ClearOutcome::Stopped;   // nothing went out: nothing was erased
    // Once the command is out the meter erases, and needs its time whatever is
    // asked meanwhile: only a pause run to its end tells whether the line
    // stayed up. It also lets the frame leave the line before the purge.
    m_clock.Hold(m_pauses.afterClearDataMs);
    const bool confirmed = sent == kFrameSize && !m_exchange.Stream().HasHungUp();
    m_exchange.Stream().Purge();
    return confirmed ? ClearOutcome::Cleared : ClearOutcome::NotConfirmed;
}
