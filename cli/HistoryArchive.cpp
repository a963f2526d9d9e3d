#include "HistoryArchive.h"

#include "ArchiveLocation.h"
#include "BuildVersion.h"
#include "StoredEvaluation.h"

#include <chrono>
#include <ctime>
#include <cstdio>

namespace {

// The last commit of an upload comes within a fraction of a second; a disk
// that takes longer is reported as not done rather than waited for.
constexpr std::chrono::seconds kArchiveWait{30};

} // namespace

std::string ArchiveChoice::Resolve() const
{
    return ResolveArchivePath(path, PlatformArchivePath());
}

void AddArchiveOption(CLI::App& command, ArchiveChoice& choice)
{
    command.add_option("--archive", choice.path,
                       std::string("the archive file (default: $") + kArchiveEnvironment
                           + ", else Ombrel/archive.sqlite in the user's data folder)")
        ->type_name("PATH");
}

void AddUploadArchiveOptions(CLI::App& upload, ArchiveChoice& choice)
{
    AddArchiveOption(upload, choice);
    upload.add_flag("--no-archive", choice.off, "keep no copy of this upload in the archive")
        ->excludes(upload.get_option("--archive"));
}

CUploadArchive::CUploadArchive(const ArchiveChoice& choice) : m_off(choice.off)
{
    if (choice.off)
        return;
    m_path = choice.Resolve();
    if (!m_path.empty())
        m_writer = std::make_unique<CArchiveWriter>(m_path, std::string(kProductVersion) + " (" + kBuildVersion + ")");
}

void CUploadArchive::StoreEvaluation(const LimitSet& set, const EvaluationParameters& parameters)
{
    if (!m_writer)
        return;
    const StoredEvaluationTexts texts = StoredEvaluationTextsOf(set, parameters);
    m_writer->StoreEvaluation({texts.parameters, texts.limitSet, texts.labels, std::time(nullptr)});
}

bool CUploadArchive::Report()
{
    if (m_off)
        return true;
    if (!m_writer) {
        std::fprintf(stderr, "The upload is not archived: no folder for the archive is known (give --archive PATH).\n");
        return false;
    }
    const bool written = m_writer->WaitUntilWritten(kArchiveWait);
    const ArchiveWriterStatus status = m_writer->Status();
    if (!status.notice.empty())
        std::fprintf(stderr, "%s\n", status.notice.c_str());
    if (status.uploadId == 0 && !status.failed)
        return true;   // no meter: nothing was read
    if (!written) {
        std::fprintf(stderr, "The archive is incomplete: %s did not take the upload within %lld s.\n", m_path.c_str(),
                     static_cast<long long>(kArchiveWait.count()));
        return false;
    }
    if (status.failed) {
        std::fprintf(stderr, "The archive is incomplete: %s (%s).\n", status.reason.c_str(), m_path.c_str());
        return false;
    }
    std::fprintf(stderr, "Archived as upload %lld in %s\n", static_cast<long long>(status.uploadId), m_path.c_str());
    // The upload itself is whole: an evaluation that could not be kept with it is said, and costs no clear.
    if (!status.evaluationNotStored.empty())
        std::fprintf(stderr, "The evaluation was not stored with upload %lld: %s\n",
                     static_cast<long long>(status.uploadId), status.evaluationNotStored.c_str());
    return true;
}
