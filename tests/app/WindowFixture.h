#pragma once
// A main window wired to the recording operator and, when asked, to a
// simulated meter on a real pseudo-terminal.

#include "ButtonST.h"
#include "MeterSim.h"
#include "OrvexDlg.h"
#include "QtWait.h"
#include "RecordingDialogs.h"
#include "StatusBarCtrl.h"

#include <gtest/gtest.h>

#include <memory>

inline constexpr Pauses kNoPauses{0, 0, 0, 0, 0, 0};
// Clear takes only the answer that arrives within the handshake pause, and the
// erase command needs its pause to leave the line before the port is purged
// and closed: those two keep their real length, the others may go.
inline constexpr Pauses kQuickClearPauses{0, 0, 0, 1000, 500, 0};
inline constexpr std::array kAllButtons{IDC_BUTTON_UPLOAD, IDC_BUTTON_SAVE,  IDC_BUTTON_CLEAR, IDC_BUTTON_PRINT,
                                        IDC_BUTTON_PREVIEW, IDC_BUTTON_HELP, IDC_BUTTON_EXIT};

class WindowTest : public ::testing::Test {
protected:
    CMeterSim& StartMeter(std::vector<MeterRecord> records, std::vector<SimFault> faults = {})
    {
        SimOptions options;
        options.records = std::move(records);
        options.faults = std::move(faults);
        auto& sim = m_meters.emplace_back(std::make_unique<CMeterSim>(std::move(options)));
        std::string error;
        EXPECT_TRUE(sim->Start(error)) << error;
        return *sim;
    }

    COrvexDlg& OpenWindow(std::vector<std::string> ports, Pauses pauses = kNoPauses)
    {
        m_window = std::make_unique<COrvexDlg>(
            m_dialogs, [ports] { return ports; }, pauses);
        m_window->show();
        m_window->activateWindow();
        EXPECT_TRUE(QTest::qWaitForWindowActive(m_window.get()));
        return *m_window;
    }

    int EnabledButtons() const
    {
        int enabled = 0;
        for (const int id : kAllButtons)
            enabled += m_window->Item(id)->isEnabled() ? 1 : 0;
        return enabled;
    }

    QString Pane(int pane) const { return m_window->StatusBar()->GetText(pane); }

    bool WaitForUploadEnd(std::chrono::milliseconds bound = std::chrono::seconds(60))
    {
        return ProcessEventsUntil([&] { return !m_window->Link().IsBusy() && EnabledButtons() == 7; }, bound);
    }

    static std::vector<RowTexts> Decoded(const std::vector<MeterRecord>& records)
    {
        std::vector<RowTexts> rows;
        for (std::size_t i = 0; i < records.size(); ++i)
            rows.push_back(DecodeRecord(records[i], static_cast<int>(i)));
        return rows;
    }

    // The meters outlive the window, which joins its transfer when it goes.
    std::vector<std::unique_ptr<CMeterSim>> m_meters;
    CRecordingDialogs m_dialogs;
    std::unique_ptr<COrvexDlg> m_window;
};
