#pragma once
// Passes the transfer's events on to a front end and hands the upload to an
// archive writer on the way. The link knows nothing of the archive; the
// front end puts this between the link and itself.

#include "ArchiveWriter.h"
#include "MeterLink.h"

#include <mutex>

class CArchiveFeed : public ITransferEvents {
public:
    explicit CArchiveFeed(ITransferEvents& next);

    // The writer the next uploads go to; none: they are not archived.
    void SetWriter(CArchiveWriter* writer);
    // The header fields an upload starts with (the last ones win later).
    void SetHeader(const ReportHeader& header);

    void ShowMessage(const std::string& text) override;
    void OnCountKnown(unsigned recordCount) override;
    void OnRowsInserted(unsigned rowCount) override;
    void OnRecordRead(int row, const MeterRecord& record) override;
    void OnRowTexts(int row, const RowTexts& texts) override;
    void OnProgress(unsigned position, unsigned received) override;
    void OnStatusPane0(const std::string& text) override;
    void OnTimerStart() override;
    void OnTimerStop() override;
    void OnFinished(const TransferSummary& summary) override;
    void ShowClearDone() override;
    void ShowScanFailure(const std::string& text, const std::vector<PortAttempt>& attempts) override;

private:
    CArchiveWriter* Writer();

    ITransferEvents& m_next;
    std::mutex m_mutex;
    CArchiveWriter* m_writer = nullptr;   // guarded by m_mutex
    ReportHeader m_header;                // guarded by m_mutex
    bool m_archiving = false;             // the transfer's thread's: an upload was begun
};
