#include "LimitSetFile.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>

namespace {

using Json = nlohmann::ordered_json;

const char* const kVersionKey = "ombrel_limit_set";
const char* const kBuiltInKey = "built_in";
const char* const kMaxLossFromParametersKey = "max_loss_from_parameters";

// Refusals travel as exceptions inside the parser only: the first one ends the read.
struct Refusal {
    std::string field;
    std::string reason;
};

LimitSet MakeBuiltIn(std::string name, std::vector<WavelengthLimit> wavelengths, std::string source)
{
    LimitSet set;
    set.name = std::move(name);
    set.builtIn = true;
    set.connectionLossDb = 0.75;
    set.spliceLossDb = 0.3;
    set.wavelengths = std::move(wavelengths);
    set.source = std::move(source);
    return set;
}

WavelengthLimit PerKm(int nm, double dbPerKm)
{
    WavelengthLimit limit;
    limit.wavelengthNm = nm;
    limit.attenuationDbPerKm = dbPerKm;
    return limit;
}

bool IsMeterWavelength(int nm)
{
    return std::find(std::begin(kMeterWavelengthsNm), std::end(kMeterWavelengthsNm), nm)
           != std::end(kMeterWavelengthsNm);
}

double NumberIn(const Json& object, const std::string& key, const std::string& field, double low, double high)
{
    const Json& value = object.at(key);
    if (!value.is_number())
        throw Refusal{field, "must be a number, not " + std::string(value.type_name())};
    const double number = value.get<double>();
    if (!std::isfinite(number))
        throw Refusal{field, "must be a finite number"};
    if (number < low)
        throw Refusal{field, low == 0.0 ? "must not be negative" : "is too small: at least " + FormatNumber(low)};
    if (number > high)
        throw Refusal{field, "is too large: at most " + FormatNumber(high)};
    return number;
}

std::optional<double> OptionalNumber(const Json& object, const std::string& key, const std::string& path,
                                     double low, double high)
{
    if (!object.contains(key))
        return std::nullopt;
    return NumberIn(object, key, path + key, low, high);
}

void RefuseUnknownKeys(const Json& object, const std::set<std::string>& known, const std::string& path)
{
    for (const auto& item : object.items()) {
        if (!known.count(item.key()))
            throw Refusal{path + item.key(), "is not a field of a limit set"};
    }
}

WavelengthLimit ParseWavelength(const Json& entry, const std::string& path)
{
    if (!entry.is_object())
        throw Refusal{path.substr(0, path.size() - 1), "must be an object"};
    RefuseUnknownKeys(entry, {"wavelength_nm", "max_loss_db", "attenuation_db_per_km", "min_power_dbm",
                              "max_power_dbm"}, path);
    if (!entry.contains("wavelength_nm"))
        throw Refusal{path + "wavelength_nm", "is missing"};
    const Json& nm = entry.at("wavelength_nm");
    if (!nm.is_number_integer())
        throw Refusal{path + "wavelength_nm", "must be a whole number of nanometres"};
    WavelengthLimit limit;
    limit.wavelengthNm = nm.get<int>();
    if (!IsMeterWavelength(limit.wavelengthNm))
        throw Refusal{path + "wavelength_nm", "is not a wavelength of the meter (850, 1300, 1310, 1490, 1550, "
                                              "1625 or 1650)"};
    limit.maxLossDb = OptionalNumber(entry, "max_loss_db", path, 0.0, kMaxLimitSetDb);
    limit.attenuationDbPerKm = OptionalNumber(entry, "attenuation_db_per_km", path, 0.0, kMaxLimitSetDb);
    if (limit.maxLossDb.has_value() == limit.attenuationDbPerKm.has_value())
        throw Refusal{path + "max_loss_db", "give either max_loss_db or attenuation_db_per_km, not both or neither"};
    limit.minPowerDbm = OptionalNumber(entry, "min_power_dbm", path, kMinPowerWindowDbm, kMaxPowerWindowDbm);
    limit.maxPowerDbm = OptionalNumber(entry, "max_power_dbm", path, kMinPowerWindowDbm, kMaxPowerWindowDbm);
    if (limit.minPowerDbm && limit.maxPowerDbm && *limit.minPowerDbm > *limit.maxPowerDbm)
        throw Refusal{path + "min_power_dbm", "is above max_power_dbm"};
    return limit;
}

// A set file, or (stored) a set as kept with an archived upload: that one
// may bear a built-in set's name and say whether it was built in, and the
// "Fixed budget" has no wavelengths of its own.
LimitSet ParseSet(const Json& document, bool stored)
{
    if (!document.is_object())
        throw Refusal{"", "is not a limit set: the file must hold one JSON object"};
    std::set<std::string> known{kVersionKey, "name", "connection_loss_db", "splice_loss_db", "allowance_db",
                                "source", "wavelengths"};
    if (stored)
        known.insert({kBuiltInKey, kMaxLossFromParametersKey});
    RefuseUnknownKeys(document, known, "");
    if (!document.contains(kVersionKey))
        throw Refusal{kVersionKey, "is missing"};
    if (!document.at(kVersionKey).is_number_integer() || document.at(kVersionKey).get<long long>() != kLimitSetFormatVersion)
        throw Refusal{kVersionKey, "must be " + std::to_string(kLimitSetFormatVersion)
                                       + ", the only version this program reads"};
    LimitSet set;
    if (!document.contains("name"))
        throw Refusal{"name", "is missing"};
    if (!document.at("name").is_string())
        throw Refusal{"name", "must be a text"};
    set.name = document.at("name").get<std::string>();
    if (set.name.empty())
        throw Refusal{"name", "must not be empty"};
    if (set.name.size() > kMaxLimitSetNameLength)
        throw Refusal{"name", "is too long: at most " + std::to_string(kMaxLimitSetNameLength) + " characters"};
    if (!stored && FindBuiltInLimitSet(set.name))
        throw Refusal{"name", "is the name of a built-in set"};
    for (const char* key : {kBuiltInKey, kMaxLossFromParametersKey}) {
        if (document.contains(key) && !document.at(key).is_boolean())
            throw Refusal{key, "must be true or false"};
    }
    set.builtIn = document.value(kBuiltInKey, false);
    set.maxLossFromParameters = document.value(kMaxLossFromParametersKey, false);
    if (document.contains("source")) {
        if (!document.at("source").is_string())
            throw Refusal{"source", "must be a text"};
        set.source = document.at("source").get<std::string>();
    }

    if (!document.contains("wavelengths"))
        throw Refusal{"wavelengths", "is missing"};
    const Json& entries = document.at("wavelengths");
    if (!entries.is_array() || (entries.empty() && !set.maxLossFromParameters))
        throw Refusal{"wavelengths", "must be a list of at least one wavelength"};
    if (entries.size() > std::size(kMeterWavelengthsNm))
        throw Refusal{"wavelengths", "is too large: at most " + std::to_string(std::size(kMeterWavelengthsNm))
                                         + " wavelengths"};
    for (std::size_t i = 0; i < entries.size(); ++i) {
        const std::string path = "wavelengths[" + std::to_string(i) + "].";
        WavelengthLimit limit = ParseWavelength(entries[i], path);
        if (set.Find(limit.wavelengthNm))
            throw Refusal{path + "wavelength_nm", "appears twice"};
        set.wavelengths.push_back(limit);
    }

    const bool lengthBased = std::any_of(set.wavelengths.begin(), set.wavelengths.end(),
                                         [](const WavelengthLimit& limit) { return limit.attenuationDbPerKm; });
    for (const char* key : {"connection_loss_db", "splice_loss_db"}) {
        if (lengthBased && !document.contains(key))
            throw Refusal{key, "is missing (a limit from attenuation_db_per_km needs it)"};
    }
    set.connectionLossDb = OptionalNumber(document, "connection_loss_db", "", 0.0, kMaxLimitSetDb).value_or(0.0);
    set.spliceLossDb = OptionalNumber(document, "splice_loss_db", "", 0.0, kMaxLimitSetDb).value_or(0.0);
    set.allowanceDb = OptionalNumber(document, "allowance_db", "", 0.0, kMaxLimitSetDb).value_or(0.0);
    return set;
}

// The fields a set file and a stored set share.
Json SetDocument(const LimitSet& set, const std::string& name)
{
    Json document;
    document[kVersionKey] = kLimitSetFormatVersion;
    document["name"] = name;
    if (!set.source.empty())
        document["source"] = set.source;
    document["connection_loss_db"] = set.connectionLossDb;
    document["splice_loss_db"] = set.spliceLossDb;
    document["allowance_db"] = set.allowanceDb;
    Json entries = Json::array();
    for (const WavelengthLimit& limit : set.wavelengths) {
        Json entry{{"wavelength_nm", limit.wavelengthNm}};
        if (limit.maxLossDb)
            entry["max_loss_db"] = *limit.maxLossDb;
        if (limit.attenuationDbPerKm)
            entry["attenuation_db_per_km"] = *limit.attenuationDbPerKm;
        if (limit.minPowerDbm)
            entry["min_power_dbm"] = *limit.minPowerDbm;
        if (limit.maxPowerDbm)
            entry["max_power_dbm"] = *limit.maxPowerDbm;
        entries.push_back(entry);
    }
    document["wavelengths"] = entries;
    return document;
}

LimitSetRead ParseLimitSetDocument(const std::string& bytes, const std::string& file, bool stored)
{
    LimitSetRead read;
    if (bytes.size() > kMaxLimitSetFileBytes) {
        read.error = LimitSetError{file, "", "is too large: a limit set file holds at most "
                                                 + std::to_string(kMaxLimitSetFileBytes / 1024) + " KiB"};
        return read;
    }
    try {
        read.set = ParseSet(Json::parse(bytes), stored);
    } catch (const Json::parse_error& error) {
        read.error = LimitSetError{file, "", "is not valid JSON (at byte " + std::to_string(error.byte) + ")"};
    } catch (const Refusal& refusal) {
        read.error = LimitSetError{file, refusal.field, refusal.reason};
    }
    if (read.error)
        read.set = {};
    return read;
}

std::string WavelengthLine(const LimitSet& set, const EvaluationParameters& parameters, const WavelengthLimit& limit)
{
    std::string line = std::to_string(limit.wavelengthNm) + " nm: ";
    const std::optional<double> value = LimitFor(set, parameters, limit.wavelengthNm);
    if (limit.maxLossDb) {
        line += "maximum loss " + FormatNumber(*limit.maxLossDb) + " dB";
    } else {
        line += FormatNumber(*limit.attenuationDbPerKm) + " dB/km x " + FormatNumber(parameters.lengthKm) + " km + "
                + std::to_string(parameters.connections) + " x " + FormatNumber(set.connectionLossDb) + " dB + "
                + std::to_string(parameters.splices) + " x " + FormatNumber(set.spliceLossDb) + " dB";
        if (set.allowanceDb != 0.0)
            line += " + " + FormatNumber(set.allowanceDb) + " dB";
        line += " = " + FormatNumber(*value) + " dB";
    }
    if (limit.minPowerDbm)
        line += "; power at least " + FormatNumber(*limit.minPowerDbm) + " dBm";
    if (limit.maxPowerDbm)
        line += "; power at most " + FormatNumber(*limit.maxPowerDbm) + " dBm";
    return line;
}

} // namespace

const std::vector<LimitSet>& BuiltInLimitSets()
{
    static const std::vector<LimitSet> sets = [] {
        const std::string connections = "; 0.75 dB per mated connection and 0.3 dB per splice, the maximum losses "
                                        "of ANSI/TIA-568.3-D";
        std::vector<LimitSet> builtIn;
        builtIn.push_back(MakeBuiltIn("TIA-568.3-D multimode", {PerKm(850, 3.5), PerKm(1300, 1.5)},
                                      "ANSI/TIA-568.3-D maximum cabled multimode attenuation: 3.5 dB/km at 850 nm, "
                                      "1.5 dB/km at 1300 nm" + connections));
        builtIn.push_back(MakeBuiltIn("TIA-568.3-D single-mode inside plant", {PerKm(1310, 1.0), PerKm(1550, 1.0)},
                                      "ANSI/TIA-568.3-D maximum inside plant single-mode cable attenuation: "
                                      "1.0 dB/km at 1310 and 1550 nm" + connections));
        builtIn.push_back(MakeBuiltIn("TIA-568.3-D single-mode outside plant", {PerKm(1310, 0.5), PerKm(1550, 0.5)},
                                      "ANSI/TIA-568.3-D maximum outside plant single-mode cable attenuation: "
                                      "0.5 dB/km at 1310 and 1550 nm" + connections));
        LimitSet fixed;
        fixed.name = kFixedBudgetName;
        fixed.builtIn = true;
        fixed.maxLossFromParameters = true;
        fixed.source = "one maximum loss for every wavelength, given with the evaluation";
        builtIn.push_back(fixed);
        return builtIn;
    }();
    return sets;
}

const LimitSet* FindBuiltInLimitSet(const std::string& name)
{
    for (const LimitSet& set : BuiltInLimitSets()) {
        if (set.name == name)
            return &set;
    }
    return nullptr;
}

std::string LimitSetError::Message() const
{
    return file + ": " + (field.empty() ? std::string() : field + ": ") + reason;
}

LimitSetRead ParseLimitSet(const std::string& bytes, const std::string& file)
{
    return ParseLimitSetDocument(bytes, file, false);
}

LimitSetRead ReadLimitSetFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        LimitSetRead read;
        read.error = LimitSetError{path, "", "cannot be read"};
        return read;
    }
    // One byte more than allowed tells a file that is too large without reading it all.
    std::string bytes(kMaxLimitSetFileBytes + 1, '\0');
    in.read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    bytes.resize(static_cast<std::size_t>(in.gcount()));
    return ParseLimitSet(bytes, path);
}

std::string LimitSetJson(const LimitSet& set, const EvaluationParameters& parameters)
{
    // A set file never bears a built-in set's name, even a stored set's that differs from it.
    const bool copy = set.builtIn || FindBuiltInLimitSet(set.name);
    Json document = SetDocument(set, copy ? set.name + " (copy)" : set.name);
    Json& entries = document["wavelengths"];
    if (set.maxLossFromParameters) {
        Json fixed = Json::array();
        for (int nm : kMeterWavelengthsNm)
            fixed.push_back({{"wavelength_nm", nm}, {"max_loss_db", parameters.maxLossDb.value_or(0.0)}});
        for (const Json& entry : entries)
            fixed.push_back(entry);
        entries = fixed;
    }
    return document.dump(2) + "\n";
}

std::string StoredLimitSetJson(const LimitSet& set)
{
    Json document = SetDocument(set, set.name);
    document[kBuiltInKey] = set.builtIn;
    document[kMaxLossFromParametersKey] = set.maxLossFromParameters;
    return document.dump();
}

LimitSetRead ParseStoredLimitSet(const std::string& bytes, const std::string& what)
{
    return ParseLimitSetDocument(bytes, what, true);
}

LimitSet ResolveStoredLimitSet(LimitSet stored)
{
    if (stored.builtIn) {
        const LimitSet* builtIn = FindBuiltInLimitSet(stored.name);
        if (builtIn && *builtIn == stored)
            return *builtIn;
    }
    // Not the built-in set of today: its own numbers, never the built-in set's.
    stored.builtIn = false;
    return stored;
}

std::vector<UserLimitSet> ListUserLimitSets(const std::string& folder)
{
    namespace fs = std::filesystem;
    std::vector<UserLimitSet> sets;
    std::error_code error;
    for (fs::directory_iterator entry(folder, error), end; !error && entry != end; entry.increment(error)) {
        if (entry->path().extension() == ".json" && entry->is_regular_file(error))
            sets.push_back({entry->path().string(), {}});
    }
    std::sort(sets.begin(), sets.end(), [](const UserLimitSet& a, const UserLimitSet& b) { return a.path < b.path; });
    for (UserLimitSet& set : sets)
        set.read = ReadLimitSetFile(set.path);
    return sets;
}

LimitSetRead ResolveLimitSet(const std::string& nameOrPath, const std::string& folder)
{
    if (const LimitSet* builtIn = FindBuiltInLimitSet(nameOrPath))
        return {*builtIn, std::nullopt};
    std::error_code error;
    if (std::filesystem::is_regular_file(nameOrPath, error))
        return ReadLimitSetFile(nameOrPath);
    if (!folder.empty()) {
        for (UserLimitSet& user : ListUserLimitSets(folder)) {
            if (user.read.ok() && user.read.set.name == nameOrPath)
                return user.read;
        }
    }
    LimitSetRead read;
    read.error = LimitSetError{nameOrPath, "", "is neither a limit set's name nor a limit set file"};
    return read;
}

std::vector<std::string> DescribeLimitSet(const LimitSet& set, const EvaluationParameters& parameters)
{
    std::vector<std::string> lines;
    lines.push_back("Limit set: " + set.name + (set.builtIn ? " (built-in)" : ""));
    if (set.maxLossFromParameters) {
        lines.push_back("every wavelength: maximum loss "
                        + (parameters.maxLossDb ? FormatNumber(*parameters.maxLossDb) + " dB" : std::string("(none given)")));
    }
    for (const WavelengthLimit& limit : set.wavelengths)
        lines.push_back(WavelengthLine(set, parameters, limit));
    if (!set.maxLossFromParameters) {
        std::vector<std::string> uncovered;
        for (int nm : kMeterWavelengthsNm) {
            if (!set.Find(nm))
                uncovered.push_back(std::to_string(nm));
        }
        if (!uncovered.empty()) {
            std::string line = "no limit (no verdict) for";
            for (const std::string& nm : uncovered)
                line += " " + nm;
            lines.push_back(line + " nm");
        }
    }
    if (!set.source.empty())
        lines.push_back("Source: " + set.source);
    return lines;
}

std::string DescribeParameters(const LimitSet& set, const EvaluationParameters& parameters)
{
    std::string line;
    if (set.maxLossFromParameters)
        line = "Maximum loss " + (parameters.maxLossDb ? FormatNumber(*parameters.maxLossDb) + " dB" : "none") + ", ";
    line += "length " + FormatNumber(parameters.lengthKm) + " km, connections " + std::to_string(parameters.connections)
            + ", splices " + std::to_string(parameters.splices) + ", uncertainty "
            + FormatNumber(parameters.uncertaintyDb) + " dB, records per link "
            + std::to_string(parameters.recordsPerLink) + ", labels " + PatternText(parameters.labels);
    line += parameters.bendCheck ? ", bend check " + FormatNumber(parameters.bendThresholdDb) + " dB" : ", no bend check";
    return line;
}

std::string FormatNumber(double value)
{
    // The limit is a sum of products: show it to the thousandth, as worked by hand.
    const double rounded = std::round(value * 1000.0) / 1000.0;
    char text[64];
    const auto [end, error] = std::to_chars(text, text + sizeof text, rounded == 0.0 ? 0.0 : rounded);
    return error == std::errc() ? std::string(text, end) : std::string("nan");
}
