#pragma once
// Passes the transfer's events on to a front end and hands the upload to an
// archive writer on the way. The link knows nothing of the archive; the
// front end puts this between the link and itself.

#include "ArchiveWriter.h"
#include "EventRelay.h"
#include "MeterLink.h"

#include <mutex>

class CArchiveFeed : public CEventRelay {
public:
    explicit CArchiveFeed(ITransferEvents& next);

    // The writer the next uploads go to; none: they are not archived.
    void SetWriter(CArchiveWriter* writer);
    // The header fields an upload starts with (the last ones win later).
    void SetHeader(const ReportHeader& header);

    void OnRowsInserted(unsigned rowCount) override;
    void OnRecordRead(int row, const MeterRecord& record) override;
    void OnRowTexts(int row, const RowTexts& texts) override;
    void OnFinished(const TransferSummary& summary) override;

private:
    CArchiveWriter* Writer();

    std::mutex m_mutex;
    CArchiveWriter* m_writer = nullptr;   // guarded by m_mutex
    ReportHeader m_header;                // guarded by m_mutex
    bool m_archiving = false;             // the transfer's thread's: an upload was begun
};
