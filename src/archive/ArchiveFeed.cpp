#include "ArchiveFeed.h"

CArchiveFeed::CArchiveFeed(ITransferEvents& next) : CEventRelay(next) {}

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
    CEventRelay::OnRowsInserted(rowCount);
}

void CArchiveFeed::OnRecordRead(int row, const MeterRecord& record)
{
    if (CArchiveWriter* writer = Writer(); writer != nullptr && m_archiving)
        writer->RecordRead(row, record);
    CEventRelay::OnRecordRead(row, record);
}

void CArchiveFeed::OnRowTexts(int row, const RowTexts& texts)
{
    if (CArchiveWriter* writer = Writer(); writer != nullptr && m_archiving)
        writer->RowRead(row, texts);
    CEventRelay::OnRowTexts(row, texts);
}

void CArchiveFeed::OnFinished(const TransferSummary& summary)
{
    // A scan that found no meter read nothing and leaves nothing to keep.
    if (CArchiveWriter* writer = Writer(); writer != nullptr && m_archiving)
        writer->FinishUpload(UploadStateOf(summary.outcome == UploadOutcome::Stopped,
                                           summary.outcome == UploadOutcome::MeterSilent, summary.unreadCount),
                             summary.portName);
    m_archiving = false;
    CEventRelay::OnFinished(summary);
}

