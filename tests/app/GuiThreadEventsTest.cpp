// The hand-over of the engine's events from its threads to the GUI thread.

#include "GuiThreadEvents.h"
#include "QtWait.h"

#include <QCoreApplication>
#include <QThread>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

namespace {

// Records each event, and whether every one arrived on the GUI thread.
class CRecordingTarget : public ITransferEvents {
public:
    void ShowMessage(const std::string& text) override { Note("message " + text); }
    void OnCountKnown(unsigned count) override { Note("count " + std::to_string(count)); }
    void OnRowsInserted(unsigned count) override { Note("rows " + std::to_string(count)); }
    void OnRowTexts(int row, const RowTexts& texts) override { Note("row " + std::to_string(row) + texts.cells[0]); }
    void OnProgress(unsigned position, unsigned received) override
    {
        Note("progress " + std::to_string(position) + "/" + std::to_string(received));
    }
    void OnStatusPane0(const std::string& text) override { Note("pane " + text); }
    void OnTimerStart() override { Note("timer start"); }
    void OnTimerStop() override { Note("timer stop"); }
    void OnFinished(const TransferSummary&) override { Note("finished"); }
    void ShowClearDone() override { Note("clear done"); }
    void ShowScanFailure(const std::string& text, const std::vector<PortAttempt>&) override { Note("failure " + text); }

    std::vector<std::string> log;
    bool allOnGuiThread = true;

private:
    void Note(const std::string& entry)
    {
        allOnGuiThread = allOnGuiThread && QThread::currentThread() == qApp->thread();
        log.push_back(entry);
    }
};

// A transfer's events, with a message that holds the worker halfway.
void Transfer(ITransferEvents& events)
{
    events.OnCountKnown(300);
    events.OnRowsInserted(300);
    events.OnTimerStart();
    for (unsigned row = 0; row < 300; ++row) {
        RowTexts texts;
        texts.cells[0] = std::to_string(row + 1);
        events.OnRowTexts(static_cast<int>(row), texts);
        events.OnProgress(row + 1, row + 1);
        if (row == 150)
            events.ShowMessage("READ_DATA_FILE FAIL");
    }
    events.OnStatusPane0("Over");
    events.OnTimerStop();
    events.OnFinished({});
}

TEST(GuiThreadEvents, ArriveOnTheGuiThreadInTheOrderProduced)
{
    CRecordingTarget direct, target;
    Transfer(direct);
    CGuiThreadEvents events(target);
    std::atomic<bool> done{false};
    std::thread worker([&] {
        Transfer(events);
        done = true;
    });
    const bool finished = ProcessEventsUntil([&] { return done && target.log.size() == direct.log.size(); });
    events.BeginShutdown();   // a worker still held must not hang the join
    worker.join();
    ASSERT_TRUE(finished);
    EXPECT_EQ(target.log, direct.log);
    EXPECT_TRUE(target.allOnGuiThread);
}

TEST(GuiThreadEvents, AMessageHoldsTheWorkerUntilShutdownReleasesIt)
{
    CRecordingTarget target;
    CGuiThreadEvents events(target);
    std::atomic<bool> returned{false};
    std::thread worker([&] {
        events.ShowMessage("No data?or All serial ports fail,please check!");
        returned = true;
    });
    // Watched for a while with no event handled: nobody has shown the message yet.
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    EXPECT_FALSE(returned);
    events.BeginShutdown();
    worker.join();   // would hang if the worker stayed held
    QCoreApplication::processEvents();
    EXPECT_TRUE(target.log.empty()) << "no box after the window began to close";
}

} // namespace
