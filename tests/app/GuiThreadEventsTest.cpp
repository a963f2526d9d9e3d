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

// Polls without handling any event: what the worker does on its own.
bool BecomesTrueWithin(const std::atomic<bool>& flag, std::chrono::milliseconds bound)
{
    const auto deadline = std::chrono::steady_clock::now() + bound;
    while (!flag && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    return flag;
}

// Records each event with the thread it arrived on.
class CRecordingTarget : public ITransferEvents {
public:
    void ShowMessage(const std::string& text) override { Note("message " + text); }
    void OnCountKnown(unsigned count) override { Note("count " + std::to_string(count)); }
    void OnRowsInserted(unsigned count) override { Note("rows " + std::to_string(count)); }
    void OnRowTexts(int row, const RowTexts& texts) override { Note("row " + std::to_string(row) + texts.cells[0]); }
    void OnProgress(unsigned received) override { Note("progress " + std::to_string(received)); }
    void OnStatusPane0(const std::string& text) override { Note("pane " + text); }
    void OnTimerStart() override { Note("timer start"); }
    void OnTimerStop() override { Note("timer stop"); }
    void OnFinished(const TransferSummary&) override { Note("finished"); }
    void ShowClearDone() override { Note("clear done"); }
    void ShowScanFailure(const std::string& text, const std::vector<PortAttempt>&) override
    {
        Note("failure " + text);
    }

    std::vector<std::string> log;
    bool allOnGuiThread = true;

private:
    void Note(const std::string& entry)
    {
        allOnGuiThread = allOnGuiThread && QThread::currentThread() == qApp->thread();
        log.push_back(entry);
    }
};

TEST(GuiThreadEvents, ArriveOnTheGuiThreadInTheOrderProduced)
{
    CRecordingTarget target;
    CGuiThreadEvents events(target);
    std::vector<std::string> expected;
    std::atomic<bool> done{false};
    std::thread worker([&] {
        events.OnCountKnown(300);
        events.OnRowsInserted(300);
        events.OnTimerStart();
        for (int row = 0; row < 300; ++row) {
            RowTexts texts;
            texts.cells[0] = std::to_string(row + 1);
            events.OnStatusPane0("Running...");
            events.OnRowTexts(row, texts);
            events.OnProgress(static_cast<unsigned>(row + 1));
            if (row == 150)
                events.ShowMessage("READ_DATA_FILE FAIL");
        }
        events.OnStatusPane0("Over");
        events.OnTimerStop();
        events.OnFinished({});
        done = true;
    });
    expected = {"count 300", "rows 300", "timer start"};
    for (int row = 0; row < 300; ++row) {
        expected.push_back("pane Running...");
        expected.push_back("row " + std::to_string(row) + std::to_string(row + 1));
        expected.push_back("progress " + std::to_string(row + 1));
        if (row == 150)
            expected.push_back("message READ_DATA_FILE FAIL");
    }
    expected.insert(expected.end(), {"pane Over", "timer stop", "finished"});

    const bool finished = ProcessEventsUntil([&] { return done && target.log.size() == expected.size(); });
    worker.join();
    ASSERT_TRUE(finished);
    EXPECT_EQ(target.log, expected);
    EXPECT_TRUE(target.allOnGuiThread);
}

TEST(GuiThreadEvents, AMessageHoldsTheWorkerUntilItWasShown)
{
    CRecordingTarget target;
    CGuiThreadEvents events(target);
    std::atomic<bool> returned{false};
    std::thread worker([&] {
        events.ShowMessage("No data?or All serial ports fail,please check!");
        returned = true;
    });
    // Without the GUI thread taking the message, the worker stays held.
    EXPECT_FALSE(BecomesTrueWithin(returned, std::chrono::milliseconds(200)));
    EXPECT_TRUE(ProcessEventsUntil([&] { return returned.load(); }));
    worker.join();
    EXPECT_EQ(target.log, std::vector<std::string>{"message No data?or All serial ports fail,please check!"});
}

TEST(GuiThreadEvents, ShutdownReleasesAHeldWorkerAndDropsTheMessage)
{
    CRecordingTarget target;
    CGuiThreadEvents events(target);
    std::atomic<bool> returned{false};
    std::thread worker([&] {
        events.ShowClearDone();
        returned = true;
    });
    events.BeginShutdown();
    worker.join();   // would hang if the worker stayed held
    EXPECT_TRUE(returned);
    QCoreApplication::processEvents();
    EXPECT_TRUE(target.log.empty()) << "no box after the window began to close";
}

} // namespace
