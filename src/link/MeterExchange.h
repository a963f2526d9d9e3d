#pragma once

#include "ByteStream.h"
#include "LinkClock.h"
#include "MeterProtocol.h"
#include "MeterRecord.h"

#include <deque>
#include <functional>
#include <optional>
#include <vector>

// Called for every block of bytes written to or taken from the line
// (outgoing = true for writes); the command line's --trace.
using TraceHook = std::function<void(bool outgoing, const std::uint8_t* bytes, std::size_t count)>;

enum class ReplyStatus { Accepted, Missing, BadHeader };

struct BlockRead {
    ReplyStatus status = ReplyStatus::Missing;
    HalfRecord bytes{};
    unsigned serial = 0;   // which read of this line it was, for Confirmed()
};

// One frame out and its reply back, on one line: the pause before the frame,
// the write with its retries, the reply window, and the tries of a block
// read. Pure logic over IByteStream and ILinkClock.
//
// Replies carry no sequence number, so a reply that comes late can pass for
// the answer to a later frame. A meter that repeats each frame's address in
// its reply (learnt from its first data reply) gives such a reply away, and
// it is dropped. For a meter that does not, the exchange keeps the evidence
// that replies and frames are out of step: bytes on the line before a frame,
// a second reply after the one taken, a reply during a quiet wait, a reply
// that was not the meter's, a reply that did not come. Every data read made
// while the line is out of step, or since the line was last seen in step when
// new evidence turns up, is unconfirmed. The line is seen in step again when
// it has stayed quiet for the quiet time with no reply still owed. A late
// reply observed N ms after its frame lengthens the quiet time to N.
class CMeterExchange {
public:
    static constexpr int kTries = 3;                 // of one block read: the first and two repeats
    static constexpr int kWriteRetries = 3;          // of the rest of a partly written frame
    static constexpr int kReplyBytesWaitMs = 5000;   // for the rest of a reply once it has begun
    static constexpr int kLongestQuietMs = 15000;    // a quiet time learnt from late replies stays below this

    CMeterExchange(IByteStream& stream, ILinkClock& clock, const Pauses& pauses, TraceHook trace = {});

    // The pause before the frame, a look at the line (what is waiting there
    // now would be discarded: evidence), the purge and the write with its
    // retries. Returns the bytes written (13 when whole; 0 when stopped first).
    std::size_t SendFrame(const Frame& frame);
    // The record count exchange, one try. Accepted only for a count the
    // meter's memory can hold; the reply is in LastReply() either way.
    ReplyStatus ReadCount(unsigned& count);
    // One 8-byte block of the record area, with up to kTries tries; a try
    // after a failed one waits for a quiet line first.
    BlockRead ReadBlock(unsigned blockIndex);
    // The clear handshake: only an answer already there after the pause counts.
    bool ClearHandshake();
    // Waits until nothing has arrived for the quiet time (and no missing reply
    // is still expected, when wholeDebt); what arrives meanwhile is evidence.
    // True when the line went quiet: it is in step from here.
    bool QuietLine(bool wholeDebt = false);

    // Whether a read is confirmed: always for a meter that repeats the
    // address; otherwise when nothing has put it in doubt so far.
    bool Confirmed(unsigned serial) const;
    bool RepeatsAddress() const { return m_echo == Echo::Yes; }
    unsigned Evidence() const { return m_evidence; }   // times the line was seen out of step
    int QuietMs() const { return m_quietMs; }
    const Frame& LastReply() const { return m_lastReply; }
    IByteStream& Stream() { return m_stream; }

private:
    using Clock = ILinkClock::Clock;
    enum class Echo { Unknown, Yes, No };
    struct OwedReply {
        Clock::time_point frameSentAt;
        bool givenUp = false;   // past the quiet limit: no longer holds the line out of step
    };

    std::optional<Frame> TakeReply(Clock::time_point windowEnd);
    ReplyStatus TakeDataReply(const Frame& frame, HalfRecord& half);
    bool WaitForByte(Clock::time_point deadline);   // false on time-out, hang-up or stop
    std::size_t Send(const std::uint8_t* bytes, std::size_t count);
    std::size_t Receive(std::uint8_t* bytes, std::size_t count);
    std::size_t Drain();                             // takes all that is queued; returns how much
    void SettleBeforeFrame();
    void NoteMissingReply();
    void NoteEvidence();
    unsigned NoteRead();
    void AgeOwedReplies();
    bool OwesReply() const;                          // a missing reply may still come

    IByteStream& m_stream;
    ILinkClock& m_clock;
    const Pauses m_pauses;
    TraceHook m_trace;

    Clock::time_point m_frameSentAt{};
    Frame m_lastReply{};
    Echo m_echo = Echo::Unknown;
    bool m_retrying = false;        // the last try failed: let the line go quiet first
    bool m_outOfStep = false;
    std::deque<OwedReply> m_owed;   // frames whose reply did not come, oldest first
    std::vector<bool> m_doubtful;   // per read serial
    unsigned m_inStepFrom = 0;      // first read serial since the line was last seen in step
    unsigned m_evidence = 0;
    int m_quietMs;
};
