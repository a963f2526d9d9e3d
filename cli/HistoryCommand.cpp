// ombrel-cli history: the uploads kept in the archive, listed newest first,
// shown, exported as the reports Save and Print make, and deleted.

#include "Archive.h"
#include "CliCommand.h"
#include "ExitCodes.h"
#include "HistoryArchive.h"
#include "LimitSetFile.h"
#include "ReportTargets.h"
#include "StatusTexts.h"
#include "StoredEvaluation.h"

#include <cstdio>

namespace {

std::string LocalTimeText(std::int64_t seconds)
{
    std::tm local{};
    if (seconds == 0 || !LocalCalendarTime(static_cast<std::time_t>(seconds), local))
        return "-";
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &local);
    return text;
}

std::string JsonString(const std::string& text)
{
    std::string json = "\"";
    for (const char c : text) {
        if (c == '"' || c == '\\') {
            json += '\\';
            json += c;
        } else if (static_cast<unsigned char>(c) < 0x20) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04x", static_cast<unsigned>(c));
            json += escaped;
        } else {
            json += c;
        }
    }
    return json + "\"";
}

std::string JsonUpload(const UploadInfo& info)
{
    return "{\"id\": " + std::to_string(info.id) + ", \"started\": " + JsonString(LocalTimeText(info.startedAt))
           + ", \"startedAt\": " + std::to_string(info.startedAt) + ", \"endedAt\": " + std::to_string(info.endedAt)
           + ", \"state\": " + JsonString(UploadStateName(info.state))
           + ", \"records\": " + std::to_string(info.recordCount) + ", \"unread\": " + std::to_string(info.UnreadCount())
           + ", \"company\": " + JsonString(info.header.companyName) + ", \"user\": " + JsonString(info.header.userName)
           + ", \"note\": " + JsonString(info.header.note) + ", \"port\": " + JsonString(info.port)
           + ", \"programVersion\": " + JsonString(info.programVersion) + "}";
}

// A check that adds nothing to the option's type name in the help.
CLI::Validator Positive()
{
    return CLI::Validator(CLI::PositiveNumber).description("");
}

class CHistoryCommand : public CCliCommand {
public:
    CLI::App* Declare(CLI::App& program) override
    {
        CLI::App* history = program.add_subcommand("history", "list the uploads kept in the archive, newest first");
        AddArchiveOption(*history, m_archive);
        history->add_option("--limit", m_limit, "list at most N uploads (default 20)")->type_name("N")->check(Positive());
        history->add_flag("--json", m_json, "list as a JSON array");
        history->require_subcommand(0, 1);

        CLI::App* show = history->add_subcommand("show", "print an archived upload's header and table");
        CLI::App* exportCommand = history->add_subcommand(
            "export", "write an archived upload's reports, as Save and Print write them after an upload");
        CLI::App* remove = history->add_subcommand("delete", "delete an archived upload");
        for (CLI::App* command : {show, exportCommand, remove}) {
            command->add_option("ID", m_id, "the upload's ID, as history lists it")->required()->check(Positive());
            command->parse_complete_callback([this, command] { m_action = command->get_name(); });
            command->fallthrough();   // --archive may come after the ID too
        }
        AddReportTargetOptions(*exportCommand, m_targetOptions, true);
        return history;
    }

    int Run(CCliContext& context) override
    {
        const std::string path = m_archive.Resolve();
        if (path.empty()) {
            std::fprintf(stderr, "ombrel-cli: no folder for the archive is known: give --archive PATH\n");
            return EXIT_NO_ARCHIVE;
        }
        const ArchiveOpenResult opened = m_db.Open(path);
        if (!opened.notice.empty())
            std::fprintf(stderr, "%s\n", opened.notice.c_str());
        if (!opened.ok)
            return EXIT_NO_ARCHIVE;
        if (m_action == "show")
            return Show();
        if (m_action == "export")
            return Export(context);
        if (m_action == "delete")
            return Delete();
        return List();
    }

private:
    int List()
    {
        UploadFilter filter;
        filter.limit = m_limit;
        const std::vector<UploadInfo> uploads = m_db.ListUploads(filter);
        if (!m_db.LastError().empty()) {
            std::fprintf(stderr, "The archive cannot be read: %s\n", m_db.LastError().c_str());
            return EXIT_NO_ARCHIVE;
        }
        if (m_json) {
            std::string json = "[";
            for (std::size_t i = 0; i < uploads.size(); ++i)
                json += (i == 0 ? "\n  " : ",\n  ") + JsonUpload(uploads[i]);
            std::printf("%s\n]\n", json.c_str());
            return EXIT_DONE;
        }
        std::printf("%6s  %-19s  %7s  %6s  %-11s  %-16s  %-12s  %s\n", "ID", "Started", "Records", "Unread", "State",
                    "Company", "User", "Note");
        for (const UploadInfo& info : uploads)
            std::printf("%6lld  %-19s  %7u  %6u  %-11s  %-16s  %-12s  %s\n", static_cast<long long>(info.id),
                        LocalTimeText(info.startedAt).c_str(), info.recordCount, info.UnreadCount(),
                        UploadStateName(info.state), info.header.companyName.c_str(), info.header.userName.c_str(),
                        info.header.note.c_str());
        return EXIT_DONE;
    }

    std::optional<ArchivedUpload> Load()
    {
        std::optional<ArchivedUpload> upload = m_db.LoadUpload(m_id);
        if (!upload)
            std::fprintf(stderr, "ombrel-cli: %s\n", m_db.LastError().c_str());
        return upload;
    }

    int Show()
    {
        const std::optional<ArchivedUpload> upload = Load();
        if (!upload)
            return EXIT_NO_UPLOAD;
        const UploadInfo& info = upload->info;
        std::printf("Upload %lld: %s, %u of %u records read, from %s to %s on %s (Ombrel %s)\n",
                    static_cast<long long>(info.id), UploadStateName(info.state), info.readCount, info.recordCount,
                    LocalTimeText(info.startedAt).c_str(), LocalTimeText(info.endedAt).c_str(),
                    info.port.empty() ? "-" : info.port.c_str(), info.programVersion.c_str());
        std::printf("Company Name: %s\nUser Name: %s\nNote: %s\n", info.header.companyName.c_str(),
                    info.header.userName.c_str(), info.header.note.c_str());
        for (const std::string& pane : {info.header.dateTimePane, info.header.useTimePane})
            if (!pane.empty())
                std::printf("%s\n", pane.c_str());
        if (upload->evaluation) {
            const auto& [parameters, limitSet, labels, savedAt] = *upload->evaluation;
            const StoredEvaluationRead read = ReadStoredEvaluation({parameters, limitSet, labels});
            const LimitSet set = ResolveStoredLimitSet(read.evaluation.set);
            std::printf("Evaluated (%s; 'ombrel-cli evaluate --upload %lld'): %s\n", LocalTimeText(savedAt).c_str(),
                        static_cast<long long>(info.id),
                        read.ok() ? (set.name + ", " + DescribeParameters(set, read.evaluation.parameters)).c_str()
                                  : ("cannot be read: " + read.error).c_str());
        }
        std::printf("\n%6s  %-12s  %-16s  %-16s  %s\n", "No.", "Wavelength", "Power", "Ref", "Frequency");
        for (const RowTexts& row : upload->rows)
            std::printf("%6s  %-12s  %-16s  %-16s  %s\n", row.cells[COL_NO].c_str(), row.cells[COL_WAVELENGTH].c_str(),
                        row.cells[COL_POWER].c_str(), row.cells[COL_REF].c_str(), row.cells[COL_FREQUENCY].c_str());
        return EXIT_DONE;
    }

    int Export(CCliContext& context)
    {
        CReportTargets targets(m_targetOptions, false);
        if (targets.Empty()) {
            std::fprintf(stderr, "ombrel-cli: history export needs --csv FILE, --pdf FILE or --print QUEUE\n");
            return EXIT_USAGE;
        }
        if (targets.Printed())
            context.PrepareReportDrawing();
        if (const std::optional<int> refused = targets.Check())
            return *refused;
        const std::optional<ArchivedUpload> upload = Load();
        if (!upload)
            return EXIT_NO_UPLOAD;
        const std::string source = "upload " + std::to_string(m_id) + " of the archive";
        return targets.WriteAll({upload->info.header, upload->rows, source}) ? EXIT_DONE : EXIT_WRITE_FAILED;
    }

    int Delete()
    {
        if (m_db.DeleteUpload(m_id)) {
            std::fprintf(stderr, "Upload %lld deleted from the archive.\n", static_cast<long long>(m_id));
            return EXIT_DONE;
        }
        std::fprintf(stderr, "ombrel-cli: %s\n", m_db.LastError().c_str());
        return m_db.LastError().rfind("no upload", 0) == 0 ? EXIT_NO_UPLOAD : EXIT_NO_ARCHIVE;
    }

    ArchiveChoice m_archive;
    CArchive m_db;
    std::string m_action = "list";
    std::int64_t m_id = 0;
    int m_limit = 20;
    bool m_json = false;
    ReportTargetOptions m_targetOptions;
};

} // namespace

std::unique_ptr<CCliCommand> MakeHistoryCommand() { return std::make_unique<CHistoryCommand>(); }
