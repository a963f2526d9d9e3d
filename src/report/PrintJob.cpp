#include "PrintJob.h"

#include <cups/cups.h>

#include <memory>

namespace {

std::string LastError()
{
    const char* text = cupsLastErrorString();
    return text != nullptr && *text != '\0' ? text : ippErrorString(cupsLastError());
}

struct DestinationRelease {
    void operator()(cups_dest_t* destination) const { cupsFreeDests(1, destination); }
};
using Destination = std::unique_ptr<cups_dest_t, DestinationRelease>;

// The queue with the attributes the print service gives now; none when it has no such queue.
Destination FindQueue(const std::string& queue)
{
    return Destination(cupsGetNamedDest(CUPS_HTTP_DEFAULT, queue.c_str(), nullptr));
}

std::string Attribute(const cups_dest_t& destination, const char* name)
{
    const char* value = cupsGetOption(name, destination.num_options, destination.options);
    return value != nullptr ? value : "";
}

std::string KnownQueues()
{
    cups_dest_t* destinations = nullptr;
    const int count = cupsGetDests2(CUPS_HTTP_DEFAULT, &destinations);
    std::string names;
    for (int i = 0; i < count; ++i)
        names += (names.empty() ? "" : ", ") + std::string(destinations[i].name);
    cupsFreeDests(count, destinations);
    return names.empty() ? " (the print system knows none)" : " (known: " + names + ")";
}

// What the queue's administrator gave as the reason for its state
// (cupsreject -r, cupsdisable -r); empty when none.
std::string StateMessage(const cups_dest_t& destination)
{
    const std::string uri = Attribute(destination, "printer-uri-supported");
    if (uri.empty())
        return {};
    ipp_t* request = ippNewRequest(IPP_OP_GET_PRINTER_ATTRIBUTES);
    ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_URI, "printer-uri", nullptr, uri.c_str());
    ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_KEYWORD, "requested-attributes", nullptr,
                 "printer-state-message");
    ipp_t* response = cupsDoRequest(CUPS_HTTP_DEFAULT, request, "/");
    ipp_attribute_t* message = ippFindAttribute(response, "printer-state-message", IPP_TAG_TEXT);
    std::string text = message != nullptr && ippGetString(message, 0, nullptr) != nullptr
        ? ippGetString(message, 0, nullptr)
        : "";
    ippDelete(response);
    return text;
}

PrintJobResult Refused(std::string reason)
{
    return {PrintJobState::Refused, 0, std::move(reason)};
}

} // namespace

std::string CheckPrintQueue(const std::string& queue)
{
    const Destination destination = FindQueue(queue);
    if (!destination)
        return "there is no print queue named '" + queue + "'" + KnownQueues();
    if (Attribute(*destination, "printer-is-accepting-jobs") == "false") {
        const std::string why = StateMessage(*destination);
        return "the print queue '" + queue + "' is not accepting jobs" + (why.empty() ? "" : ": " + why);
    }
    return {};
}

PrintJobResult SubmitPrintJob(const std::string& queue, const std::string& title, const std::string& pdf,
                              const PrintJobOptions& options)
{
    cups_option_t* list = nullptr;
    int count = 0;
    for (const auto& [name, value] : options)
        count = cupsAddOption(name.c_str(), value.c_str(), count, &list);
    const int job = cupsCreateJob(CUPS_HTTP_DEFAULT, queue.c_str(), title.c_str(), count, list);
    cupsFreeOptions(count, list);
    if (job == 0)
        return Refused(LastError());

    // Anything short of a finished document leaves no job behind.
    const auto cancel = [&](std::string reason) {
        cupsCancelJob2(CUPS_HTTP_DEFAULT, queue.c_str(), job, 0);
        return Refused(std::move(reason));
    };
    if (cupsStartDocument(CUPS_HTTP_DEFAULT, queue.c_str(), job, title.c_str(), CUPS_FORMAT_PDF, 1)
        != HTTP_STATUS_CONTINUE)
        return cancel(LastError());
    if (cupsWriteRequestData(CUPS_HTTP_DEFAULT, pdf.data(), pdf.size()) != HTTP_STATUS_CONTINUE) {
        cupsFinishDocument(CUPS_HTTP_DEFAULT, queue.c_str());
        return cancel(LastError());
    }
    if (cupsFinishDocument(CUPS_HTTP_DEFAULT, queue.c_str()) > IPP_STATUS_OK_EVENTS_COMPLETE)
        return cancel(LastError());

    // A stopped queue (printer-state 5) keeps the job until it is enabled again.
    const Destination destination = FindQueue(queue);
    const bool paused = destination && Attribute(*destination, "printer-state") == "5";
    return {paused ? PrintJobState::Held : PrintJobState::Accepted, job, {}};
}
