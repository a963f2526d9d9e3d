#pragma once

#include "MeterExchange.h"
#include "TransferEvents.h"

// Clearing the meter's memory on a line: the handshake that finds the meter,
// then the erase command and the time the meter takes to erase, which it
// does without answering.
class CMeterErase {
public:
    CMeterErase(CMeterExchange& exchange, ILinkClock& clock, const Pauses& pauses);
    // Whether the meter on this line answered the clear handshake in time.
    bool Handshake() { return m_exchange.ClearHandshake(); }
    // Cleared only for an erase command written whole on a line that was
    // still up when the meter's erase time was over.
    ClearOutcome Erase();

private:
    CMeterExchange& m_exchange;
    ILinkClock& m_clock;
    const Pauses m_pauses;
};
