#pragma once
// The archive as the command line sees it: which file (--archive PATH, else
// OMBREL_ARCHIVE, else the user's data folder), and the writer an upload goes
// into, with what it says on stderr when the upload is done.

#include "ArchiveWriter.h"
#include "Evaluation.h"

#include <CLI/CLI.hpp>

#include <memory>
#include <optional>
#include <string>

struct ArchiveChoice {
    std::optional<std::string> path;
    bool off = false;   // --no-archive
    std::string Resolve() const;
};

// --archive PATH.
void AddArchiveOption(CLI::App& command, ArchiveChoice& choice);
// --archive PATH and --no-archive, for upload.
void AddUploadArchiveOptions(CLI::App& upload, ArchiveChoice& choice);

class CUploadArchive {
public:
    explicit CUploadArchive(const ArchiveChoice& choice);
    CArchiveWriter* Writer() { return m_writer.get(); }
    // What the upload was evaluated with, kept with it; Report says whether it was.
    void StoreEvaluation(const LimitSet& set, const EvaluationParameters& parameters);
    // Once the upload has ended: waits for its last commit and says under
    // which ID it is kept, or why it is not whole. True when it is kept
    // whole, or nothing was to be kept.
    bool Report();

private:
    std::string m_path;
    bool m_off = false;
    std::unique_ptr<CArchiveWriter> m_writer;
};
