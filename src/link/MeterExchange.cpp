#include "MeterExchange.h"

#include <algorithm>
#include <array>

namespace {

// Longest a wait goes without looking at the stop request.
constexpr int kStopSliceMs = 20;

}  // namespace

CMeterExchange::CMeterExchange(IByteStream& stream, ILinkClock& clock, const Pauses& pauses, TraceHook trace)
    : m_stream(stream), m_clock(clock), m_pauses(pauses), m_trace(std::move(trace)), m_quietMs(pauses.quietLineMs) {}

std::size_t CMeterExchange::SendFrame(const Frame& frame) {
    if (!m_clock.Pause(m_pauses.beforeFrameMs))
        return 0;
    // What waits on the line now answered no frame still open; the purge
    // would throw it away unseen.
    if (Drain() > 0)
        NoteEvidence();
    m_stream.Purge();
    std::size_t sent = Send(frame.data(), kFrameSize);
    for (int retry = 0; sent < kFrameSize && retry < kWriteRetries; ++retry) {
        if (!m_clock.Pause(m_pauses.writeRetryMs) || m_stream.HasHungUp())
            break;
        sent += Send(frame.data() + sent, kFrameSize - sent);
    }
    if (sent < kFrameSize && !m_stream.HasHungUp() && m_clock.Pause(m_pauses.lastWriteMs))
        sent += Send(frame.data() + sent, kFrameSize - sent);
    m_frameSentAt = m_clock.Now();
    return sent;
}

ReplyStatus CMeterExchange::ReadCount(unsigned& count) {
    m_lastReply = {};
    count = 0;
    SendFrame(BuildFrame(MeterCommand::READ_COUNT));
    const std::optional<Frame> reply = TakeReply(m_frameSentAt + std::chrono::milliseconds(m_pauses.replyWaitMs));
    if (!reply) {
        NoteMissingReply();
        return ReplyStatus::Missing;
    }
    m_lastReply = *reply;
    if (Drain() > 0)
        NoteEvidence();
    const unsigned reported = ParseCountReply(*reply);
    if (reported == 0 || reported > kMeterCapacity)
        return ReplyStatus::BadHeader;
    count = reported;
    return ReplyStatus::Accepted;
}

BlockRead CMeterExchange::ReadBlock(unsigned blockIndex) {
    BlockRead read;
    const Frame frame = BuildFrame(MeterCommand::READ_DATA_FILE, blockIndex);
    for (int attempt = 0; attempt < kTries; ++attempt) {
        if (attempt > 0 && (m_clock.StopRequested() || m_stream.HasHungUp()))
            break;
        SettleBeforeFrame();
        SendFrame(frame);
        read.status = TakeDataReply(frame, read.bytes);
        m_retrying = read.status != ReplyStatus::Accepted;
        if (!m_retrying) {
            read.serial = NoteRead();
            // A second reply right behind the one taken: one of the two answered another frame.
            if (Drain() > 0)
                NoteEvidence();
            return read;
        }
    }
    return read;
}

bool CMeterExchange::ClearHandshake() {
    SendFrame(BuildFrame(MeterCommand::CLEAR_CHECK));
    if (!m_clock.Pause(m_pauses.beforeHandshakeReadMs))
        return false;
    // Only what arrived within the pause counts: a later answer means no meter.
    m_lastReply = {};
    Receive(m_lastReply.data(), kFrameSize);
    return IsClearCheckReply(m_lastReply);
}

bool CMeterExchange::QuietLine(bool wholeDebt) {
    const auto start = m_clock.Now();
    for (;;) {
        AgeOwedReplies();
        const auto now = m_clock.Now();
        auto quietEnd = now + std::chrono::milliseconds(m_quietMs);
        if (wholeDebt) {
            const int giveUpMs = std::max(m_pauses.quietLimitMs, m_quietMs);
            for (const OwedReply& owed : m_owed)
                if (!owed.givenUp)
                    quietEnd = std::max(quietEnd, owed.frameSentAt + std::chrono::milliseconds(giveUpMs));
        }
        // A line that never stops holds the port no longer than the limit (or
        // than it takes to give up the replies still owed).
        const auto limit = std::max(start + std::chrono::milliseconds(std::max(m_pauses.quietLimitMs, 2 * m_quietMs)),
                                    wholeDebt ? quietEnd : start);
        if (!WaitForByte(std::min(quietEnd, limit))) {
            if (m_clock.StopRequested() || m_stream.HasHungUp() || quietEnd > limit)
                return false;
            break;
        }
        Drain();
        NoteEvidence();
        if (m_clock.Now() >= limit)
            return false;
    }
    AgeOwedReplies();
    m_outOfStep = OwesReply();
    if (!m_outOfStep)
        m_inStepFrom = static_cast<unsigned>(m_doubtful.size());
    return !m_outOfStep;
}

bool CMeterExchange::Confirmed(unsigned serial) const {
    return m_echo == Echo::Yes || (serial < m_doubtful.size() && !m_doubtful[serial]);
}

std::optional<Frame> CMeterExchange::TakeReply(Clock::time_point windowEnd) {
    if (!WaitForByte(windowEnd))
        return std::nullopt;
    Frame reply{};
    std::size_t got = Receive(reply.data(), kFrameSize);
    const auto restEnd = m_clock.Now() + std::chrono::milliseconds(kReplyBytesWaitMs);
    while (got < kFrameSize) {
        if (!WaitForByte(restEnd)) {
            // Part of a reply is no answer; it was a reply all the same.
            NoteEvidence();
            return std::nullopt;
        }
        got += Receive(reply.data() + got, kFrameSize - got);
    }
    return reply;
}

ReplyStatus CMeterExchange::TakeDataReply(const Frame& frame, HalfRecord& half) {
    const auto windowEnd = m_frameSentAt + std::chrono::milliseconds(m_pauses.replyWaitMs);
    for (;;) {
        const std::optional<Frame> reply = TakeReply(windowEnd);
        if (!reply) {
            NoteMissingReply();
            return ReplyStatus::Missing;
        }
        m_lastReply = *reply;
        if (!IsDataReply(*reply)) {
            NoteEvidence();
            return ReplyStatus::BadHeader;
        }
        const bool echoes = EchoesFrame(*reply, frame);
        if (m_echo == Echo::Unknown)
            m_echo = echoes ? Echo::Yes : Echo::No;
        if (echoes || m_echo == Echo::No) {
            std::copy(reply->begin() + 5, reply->end(), half.begin());
            return ReplyStatus::Accepted;
        }
        // The reply to an earlier frame; this frame's may still come within the window.
        NoteEvidence();
    }
}

bool CMeterExchange::WaitForByte(Clock::time_point deadline) {
    for (;;) {
        if (m_clock.StopRequested())
            return false;
        const int left = MsBetween(m_clock.Now(), deadline);
        switch (m_stream.WaitForInput(std::min(left, kStopSliceMs))) {
        case IByteStream::WaitResult::Ready:
            return true;
        case IByteStream::WaitResult::Gone:
            return false;
        case IByteStream::WaitResult::TimedOut:
            if (left <= kStopSliceMs)
                return false;
            break;
        }
    }
}

std::size_t CMeterExchange::Send(const std::uint8_t* bytes, std::size_t count) {
    const std::size_t sent = m_stream.Send(bytes, count);
    if (sent > 0 && m_trace)
        m_trace(true, bytes, sent);
    return sent;
}

std::size_t CMeterExchange::Receive(std::uint8_t* bytes, std::size_t count) {
    const std::size_t got = m_stream.Receive(bytes, count);
    if (got > 0 && m_trace)
        m_trace(false, bytes, got);
    return got;
}

std::size_t CMeterExchange::Drain() {
    std::array<std::uint8_t, 64> bytes{};
    std::size_t total = 0;
    while (const std::size_t got = Receive(bytes.data(), bytes.size()))
        total += got;
    return total;
}

void CMeterExchange::SettleBeforeFrame() {
    AgeOwedReplies();
    // After a failed try the reply may still be on its way: it must be gone
    // before the next frame, or it would pass for that frame's reply. Without
    // the address in the replies, a line out of step is also let go quiet as
    // soon as no reply is owed any more, so that the reads after it are in step.
    if (m_retrying || (m_echo != Echo::Yes && m_outOfStep && !OwesReply()))
        QuietLine();
    m_retrying = false;
}

void CMeterExchange::NoteMissingReply() {
    m_owed.push_back({m_frameSentAt});
    m_outOfStep = true;
}

void CMeterExchange::NoteEvidence() {
    ++m_evidence;
    AgeOwedReplies();
    if (!m_owed.empty()) {
        // Most likely the oldest reply that did not come, this late: quiet
        // waits from now on last at least as long.
        const int lateMs = MsBetween(m_owed.front().frameSentAt, m_clock.Now());
        m_quietMs = std::max(m_quietMs, std::min(lateMs, kLongestQuietMs));
        m_owed.pop_front();
    }
    std::fill(m_doubtful.begin() + m_inStepFrom, m_doubtful.end(), true);
    m_outOfStep = true;
}

unsigned CMeterExchange::NoteRead() {
    m_doubtful.push_back(m_outOfStep);
    return static_cast<unsigned>(m_doubtful.size() - 1);
}

void CMeterExchange::AgeOwedReplies() {
    const auto now = m_clock.Now();
    const auto giveUp = std::chrono::milliseconds(std::max(m_pauses.quietLimitMs, m_quietMs));
    for (OwedReply& owed : m_owed)
        owed.givenUp = owed.givenUp || now - owed.frameSentAt >= giveUp;
    // Kept a while longer only to learn from, should it come after all.
    while (!m_owed.empty() && now - m_owed.front().frameSentAt > std::chrono::milliseconds(kLongestQuietMs))
        m_owed.pop_front();
}

bool CMeterExchange::OwesReply() const {
    return std::any_of(m_owed.begin(), m_owed.end(), [](const OwedReply& owed) { return !owed.givenUp; });
}
