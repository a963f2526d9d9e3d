#pragma once
// Print jobs through the system's print service, with its answer: a report
// counts as printed only once its queue has accepted the job. No widgets
// here. Builds where libcups is (PrintJob.cpp); the types serve every build.

#include <string>
#include <utility>
#include <vector>

enum class PrintJobState {
    Accepted,   // the queue took the job
    Held,       // the queue took the job but is paused (disabled): it waits there
    Refused,    // no job: the queue rejects jobs, the user is denied, or the service failed
};

struct PrintJobResult {
    PrintJobState state = PrintJobState::Refused;
    int jobId = 0;
    std::string reason;   // for Refused, the print service's own words
};

inline constexpr const char* kPrintJobHeldNote = "held: the queue is paused";

// Empty when the queue exists and accepts jobs, otherwise why it cannot be printed to.
std::string CheckPrintQueue(const std::string& queue);

// Print options by the print service's names, e.g. {"copies", "2"}.
using PrintJobOptions = std::vector<std::pair<std::string, std::string>>;

// Submits pdf as one job named title on queue.
PrintJobResult SubmitPrintJob(const std::string& queue, const std::string& title, const std::string& pdf,
                              const PrintJobOptions& options = {});
