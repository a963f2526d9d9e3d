#include "EventRelay.h"

void CEventRelay::ShowMessage(const std::string& text)
{
    RelayAndWait([text](ITransferEvents& next) { next.ShowMessage(text); });
}

void CEventRelay::OnCountKnown(unsigned recordCount)
{
    Relay([recordCount](ITransferEvents& next) { next.OnCountKnown(recordCount); });
}

void CEventRelay::OnRowsInserted(unsigned rowCount)
{
    Relay([rowCount](ITransferEvents& next) { next.OnRowsInserted(rowCount); });
}

void CEventRelay::OnRecordRead(int row, const MeterRecord& record)
{
    Relay([row, record](ITransferEvents& next) { next.OnRecordRead(row, record); });
}

void CEventRelay::OnRowTexts(int row, const RowTexts& texts)
{
    Relay([row, texts](ITransferEvents& next) { next.OnRowTexts(row, texts); });
}

void CEventRelay::OnProgress(unsigned position, unsigned received)
{
    Relay([position, received](ITransferEvents& next) { next.OnProgress(position, received); });
}

void CEventRelay::OnStatusPane0(const std::string& text)
{
    Relay([text](ITransferEvents& next) { next.OnStatusPane0(text); });
}

void CEventRelay::OnTimerStart()
{
    Relay([](ITransferEvents& next) { next.OnTimerStart(); });
}

void CEventRelay::OnTimerStop()
{
    Relay([](ITransferEvents& next) { next.OnTimerStop(); });
}

void CEventRelay::OnFinished(const TransferSummary& summary)
{
    Relay([summary](ITransferEvents& next) { next.OnFinished(summary); });
}

void CEventRelay::ShowClearDone()
{
    RelayAndWait([](ITransferEvents& next) { next.ShowClearDone(); });
}

void CEventRelay::ShowScanFailure(const std::string& text, const std::vector<PortAttempt>& attempts)
{
    RelayAndWait([text, attempts](ITransferEvents& next) { next.ShowScanFailure(text, attempts); });
}
