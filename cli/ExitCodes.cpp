#include "ExitCodes.h"

namespace {

struct ExitCodeMeaning {
    ExitCode code;
    const char* meaning;
};

constexpr ExitCodeMeaning kMeanings[] = {
    {EXIT_DONE, "done (a report held by a paused print queue included)"},
    {EXIT_NO_METER, "no meter answered, clear failed, or the erase was not confirmed"},
    {EXIT_USAGE,
     "usage error, refused before any frame is sent: an empty --csv or --pdf, two reports into one file, a PDF "
     "over the report it is made from, or a file given to report that is not a complete CSV report saved by "
     "Ombrel (a folder, a FIFO, a device, a file over 16 MB, a line longer than a report's); evaluate --upload: "
     "no archive, or no upload with that ID in it, or an upload never evaluated and no --limits"},
    {EXIT_WRITE_FAILED,
     "a report (CSV, PDF or print job) could not be written; a file target is checked before the transfer "
     "(missing or unwritable folder, a directory, a locked file, a name too long for its folder) and so is a "
     "print queue (missing, or not accepting jobs); a print job the queue refuses, and a closed standard "
     "output, fail too"},
    {EXIT_RECORDS_UNREAD, "some records could not be read"},
    {EXIT_CLEAR_DECLINED, "clear declined"},
    {EXIT_NO_UPLOAD, "history: no upload with that ID in the archive"},
    {EXIT_NO_ARCHIVE,
     "history: the archive cannot be opened or read, or not changed (written by a newer Ombrel: read-only)"},
    {EXIT_EVALUATION_FAILED, "with --limits (evaluate, upload): some record fails its limit (FAIL or FAIL*)"},
    {EXIT_EVALUATION_INCOMPLETE,
     "with --limits: no record fails, but some have no verdict (no reading, a gain, no limit for the wavelength, "
     "or no records at all); every record passing (PASS or PASS*) is 0. Upload keeps 4 for unread records"},
    {EXIT_INTERRUPTED,
     "interrupted (Ctrl-C or SIGTERM) before the upload or clear ended: no report is written, the meter is not "
     "erased"},
};

// Wrapped to 100 columns, continuation lines indented under the meaning.
std::string Wrapped(const std::string& head, const std::string& text) {
    constexpr std::size_t kWidth = 100;
    std::string out = head, line;
    const std::string indent(head.size(), ' ');
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find(' ', start);
        if (end == std::string::npos)
            end = text.size();
        const std::string word = text.substr(start, end - start);
        if (!line.empty() && head.size() + line.size() + 1 + word.size() > kWidth) {
            out += line + "\n" + indent;
            line.clear();
        }
        line += (line.empty() ? "" : " ") + word;
        start = end + 1;
    }
    return out + line + "\n";
}

} // namespace

ExitCode ExitCodeOf(UploadOutcome outcome) {
    switch (outcome) {
    case UploadOutcome::Completed:
        return EXIT_DONE;
    case UploadOutcome::Incomplete:
    case UploadOutcome::MeterSilent:
        return EXIT_RECORDS_UNREAD;
    case UploadOutcome::Stopped:
        return EXIT_INTERRUPTED;
    default:   // no port, or none answered
        return EXIT_NO_METER;
    }
}

ExitCode ExitCodeOf(ClearOutcome outcome) {
    switch (outcome) {
    case ClearOutcome::Cleared:
        return EXIT_DONE;
    case ClearOutcome::Stopped:
        return EXIT_INTERRUPTED;
    default:   // no meter, or the erase not confirmed
        return EXIT_NO_METER;
    }
}

std::string ExitCodeHelp() {
    std::string help = "Exit codes:\n";
    for (const ExitCodeMeaning& meaning : kMeanings) {
        std::string head = "  " + std::to_string(meaning.code);
        head.resize(7, ' ');
        help += Wrapped(head, meaning.meaning);
    }
    return help + "\n"
                  "upload --clear-after erases the meter only when every record was read and every report asked\n"
                  "for was written completely (a print job accepted by its queue), and the upload is in the\n"
                  "archive (unless --no-archive); otherwise the meter is left untouched and the reason is given.";
}
