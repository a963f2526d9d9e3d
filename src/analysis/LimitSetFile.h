#pragma once
// The built-in limit sets, and the user's limit-set files (JSON) read,
// checked and written. The folder the user's sets live in is the front
// end's to know; here everything takes paths.

#include "Evaluation.h"

#include <string>
#include <vector>

inline constexpr int kLimitSetFormatVersion = 1;
inline constexpr std::size_t kMaxLimitSetFileBytes = 64 * 1024;
inline constexpr double kMaxLimitSetDb = 100.0;           // any loss or attenuation in a set
inline constexpr double kMinPowerWindowDbm = -100.0;
inline constexpr double kMaxPowerWindowDbm = 50.0;
inline constexpr std::size_t kMaxLimitSetNameLength = 100;

inline constexpr const char* kFixedBudgetName = "Fixed budget";

// The read-only sets, in the order they are offered.
const std::vector<LimitSet>& BuiltInLimitSets();
const LimitSet* FindBuiltInLimitSet(const std::string& name);

// Why a set file was refused: the file, the field (a JSON path such as
// "wavelengths[1].attenuation_db_per_km", empty for the file as a whole) and the reason.
struct LimitSetError {
    std::string file;
    std::string field;
    std::string reason;
    std::string Message() const;   // "FILE: FIELD: REASON"
};

struct LimitSetRead {
    LimitSet set;
    std::optional<LimitSetError> error;
    bool ok() const { return !error.has_value(); }
};

// Reads and checks one set file; nothing of a refused file is taken.
LimitSetRead ReadLimitSetFile(const std::string& path);
// The same checks on a file's bytes; file names the file in the error.
LimitSetRead ParseLimitSet(const std::string& bytes, const std::string& file);

// The set as a file's bytes (a built-in set comes out as an editable copy;
// the "Fixed budget" with its maximum loss written for every wavelength).
std::string LimitSetJson(const LimitSet& set, const EvaluationParameters& parameters = {});

// A set as kept with an archived upload: every number, its name and source
// as they were, whether it was built in and whether its one limit is the
// parameters' maximum loss. Read back with a set file's checks, except that
// the name may be a built-in set's.
std::string StoredLimitSetJson(const LimitSet& set);
LimitSetRead ParseStoredLimitSet(const std::string& bytes, const std::string& what);
// A stored set as it is shown and used: the built-in set where it is one
// of today's, number for number; otherwise the stored numbers, never marked
// built-in, whatever its name.
LimitSet ResolveStoredLimitSet(LimitSet stored);

// Every "*.json" in folder, sorted by file name; refused files come with their error.
struct UserLimitSet {
    std::string path;
    LimitSetRead read;
};
std::vector<UserLimitSet> ListUserLimitSets(const std::string& folder);

// A built-in set by its name, a set file by its path, or a user set in
// folder by its name, in that order. error says why none was found.
LimitSetRead ResolveLimitSet(const std::string& nameOrPath, const std::string& folder);

// Every number of a set in words, one line each, for the reports and the window.
std::vector<std::string> DescribeLimitSet(const LimitSet& set, const EvaluationParameters& parameters);
// The parameters in words, one line, as the reports head their evaluation.
std::string DescribeParameters(const LimitSet& set, const EvaluationParameters& parameters);
// A set's number to the thousandth without trailing zeros ("0.75", "3.5", "4.447").
std::string FormatNumber(double value);
