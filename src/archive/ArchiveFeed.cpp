#include "ArchiveFeed.h"

CArchiveFeed::CArchiveFeed(ITransferEvents& next) : m_next(next) {}

void CArchiveFeed::SetWriter(CArchiveWriter* writer)
{
    std::lock_guard lock(m_mutex);
    m_writer = writer;
}

void CArchiveFeed::SetHeader(const ReportHeader& header)
{
    std::lock_guard lock(m_mutex);
    m_header = header;
}

CArchiveWriter* CArchiveFeed::Writer()
{
    std::lock_guard lock(m_mutex);
    return m_writer;
}

void CArchiveFeed::ShowMessage(const std::string& text)
{
    m_next.ShowMessage(text);
}

void CArchiveFeed::OnCountKnown(unsigned recordCount)
{
    m_next.OnCountKnown(recordCount);
}

// The transfer begins: a meter answered with its count.
void CArchiveFeed::OnRowsInserted(unsigned rowCount)
{
    ReportHeader header;
    CArchiveWriter* writer = nullptr;
    {
        std::lock_guard lock(m_mutex);
        header = m_header;
        writer = m_writer;
    }
    m_archiving = writer != nullptr;
    if (writer != nullptr)
        writer->BeginUpload(rowCount, header);
    m_next.OnRowsInserted(rowCount);
}

void CArchiveFeed::OnRecordRead(int row, const MeterRecord& record)
{
    if (CArchiveWriter* writer = Writer(); writer != nullptr && m_archiving)
        writer->RecordRead(row, record);
    m_next.OnRecordRead(row, record);
}

void CArchiveFeed::OnRowTexts(int row, const RowTexts& texts)
{
    if (CArchiveWriter* writer = Writer(); writer != nullptr && m_archiving)
        writer->RowRead(row, texts);
    m_next.OnRowTexts(row, texts);
}

void CArchiveFeed::OnProgress(unsigned position, unsigned received)
{
    m_next.OnProgress(position, received);
}

void CArchiveFeed::OnStatusPane0(const std::string& text)
{
    m_next.OnStatusPane0(text);
}

void CArchiveFeed::OnTimerStart()
{
    m_next.OnTimerStart();
}

void CArchiveFeed::OnTimerStop()
{
    m_next.OnTimerStop();
}

void CArchiveFeed::OnFinished(const TransferSummary& summary)
{
    // A scan that found no meter read nothing and leaves nothing to keep.
    if (CArchiveWriter* writer = Writer(); writer != nullptr && m_archiving)
        writer->FinishUpload(UploadStateOf(summary.outcome == UploadOutcome::Stopped,
                                           summary.outcome == UploadOutcome::MeterSilent, summary.unreadCount),
                             summary.portName);
    m_archiving = false;
    m_next.OnFinished(summary);
}

void CArchiveFeed::ShowClearDone()
{
    m_next.ShowClearDone();
}

void CArchiveFeed::ShowScanFailure(const std::string& text, const std::vector<PortAttempt>& attempts)
{
    m_next.ShowScanFailure(text, attempts);
}
