// The session manifest: reading (forgiving), writing (atomic), file names.
#include "core/session/session_manifest.h"

#include "core/base/fileutil.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cmath>
#include <ctime>
#include <filesystem>
#include <map>

namespace ravlon {

namespace fs = std::filesystem;

namespace {

using Json = nlohmann::ordered_json;

constexpr const char* kFormat = "ravlon-session";
constexpr int kVersion = 1;
constexpr std::size_t kMaxManifestBytes = 16 << 20;

std::string Quoted(const std::string& s) {
    return "\"" + s + "\"";
}

// nlohmann's messages start with "[json.exception.parse_error.101] ".
std::string JsonMessage(const std::exception& e) {
    std::string text = e.what();
    if (!text.empty() && text[0] == '[') {
        const size_t end = text.find("] ");
        if (end != std::string::npos) text.erase(0, end + 2);
    }
    return text;
}

// Reads the members of one object, noting the ones of a wrong type and
// keeping the ones it is not asked for.
class Members {
public:
    Members(const Json& object, std::string where, std::vector<std::string>& problems)
        : object_(object), where_(std::move(where)), problems_(problems) {}

    std::string String(const char* key) {
        const Json* v = Take(key);
        if (!v) return "";
        if (v->is_string()) return v->get<std::string>();
        WrongType(key, "a text");
        return "";
    }
    std::optional<double> Number(const char* key) {
        const Json* v = Take(key);
        if (!v || v->is_null()) return std::nullopt;
        if (v->is_number()) return v->get<double>();
        WrongType(key, "a number");
        return std::nullopt;
    }
    bool Bool(const char* key, bool fallback) {
        const Json* v = Take(key);
        if (!v) return fallback;
        if (v->is_boolean()) return v->get<bool>();
        WrongType(key, "true or false");
        return fallback;
    }
    // An object member's own members (empty object when absent or not an object).
    Members Object(const char* key) {
        const Json* v = Take(key);
        if (v && !v->is_object()) WrongType(key, "an object");
        return Members(v && v->is_object() ? *v : Empty(), where_, problems_);
    }
    const Json* Array(const char* key) {
        const Json* v = Take(key);
        if (v && !v->is_array()) WrongType(key, "a list");
        return v && v->is_array() ? v : nullptr;
    }
    // The members nobody asked for, as a JSON object text ("" when none).
    std::string Rest() const {
        Json rest = Json::object();
        for (const auto& [key, value] : object_.items())
            if (!taken_.count(key)) rest[key] = value;
        return rest.empty() ? std::string() : rest.dump();
    }
    bool Faulty() const { return faulty_; }

private:
    static const Json& Empty() {
        static const Json empty = Json::object();
        return empty;
    }
    const Json* Take(const char* key) {
        taken_[key] = true;
        const auto it = object_.find(key);
        return it == object_.end() ? nullptr : &*it;
    }
    void WrongType(const char* key, const char* what) {
        faulty_ = true;
        problems_.push_back(where_ + ": " + Quoted(key) + " is not " + what + "; it is ignored.");
    }

    const Json& object_;
    std::string where_;
    std::vector<std::string>& problems_;
    std::map<std::string, bool> taken_;
    bool faulty_ = false;
};

// A recording's identity for finding one listed twice: its absolute path
// with symbolic links and "..". resolved as far as it exists.
std::string PathKey(const std::string& path) {
    std::error_code ec;
    fs::path p = fs::weakly_canonical(fs::absolute(path, ec), ec);
    if (ec) p = fs::absolute(path, ec).lexically_normal();
    return p.string();
}

bool IsRegularFile(const std::string& path) {
    std::error_code ec;
    return fs::is_regular_file(path, ec);
}

// The recordings of a folder, by name, as positions labelled by their names.
std::vector<TSessionPosition> RecordingsIn(const fs::path& folder) {
    std::vector<TSessionPosition> positions;
    std::error_code ec;
    for (const fs::directory_entry& e : fs::directory_iterator(folder, ec)) {
        std::error_code typeError;
        if (e.path().extension() != ".ravlon" || !e.is_regular_file(typeError)) continue;
        TSessionPosition p;
        p.Label = e.path().stem().string();
        p.Recording = e.path().filename().string();
        positions.push_back(std::move(p));
    }
    std::sort(positions.begin(), positions.end(),
              [](const TSessionPosition& a, const TSessionPosition& b) {
                  return a.Recording < b.Recording;
              });
    return positions;
}

TSessionPosition ReadPosition(Members& m) {
    TSessionPosition p;
    p.Recording = m.String("recording");
    p.Label = m.String("label");
    if (p.Label.empty()) p.Label = fs::path(p.Recording).stem().string();
    p.Date = m.String("date");
    p.Included = m.Bool("included", true);
    Members devices = m.Object("devices");
    p.OutputDevice = devices.String("output");
    p.InputDevice = devices.String("input");
    Members s = m.Object("settings");
    p.Settings.SampFreq = static_cast<int32_t>(s.Number("samp_freq").value_or(0));
    p.Settings.Bandwidth = s.Number("bandwidth_hz").value_or(0);
    p.Settings.Window = s.String("window");
    p.Settings.PreNoise = s.Number("pre_noise_s").value_or(0);
    p.Settings.Noise = s.Number("noise_s").value_or(0);
    p.Settings.PostNoise = s.Number("post_noise_s").value_or(0);
    p.Settings.Cycles = static_cast<int64_t>(s.Number("cycles").value_or(0));
    p.Extra = m.Rest();
    return p;
}

// Numbers out of range for their field (a hand-edited manifest) count as not given.
void Sanitise(TSessionSettings& s) {
    if (!(s.SampFreq > 0)) s.SampFreq = 0;
    for (double* v : {&s.Bandwidth, &s.PreNoise, &s.Noise, &s.PostNoise})
        if (!(*v >= 0 && *v < 1e9)) *v = 0;
    if (s.Cycles < 0) s.Cycles = 0;
}

void ReadManifest(const Json& doc, TSessionLoad& load) {
    TSession& session = load.Session;
    std::vector<std::string>& problems = load.Problems;
    Members top(doc, kSessionManifest, problems);
    top.String("format");
    top.Number("version");
    session.Info.Room = top.String("room");
    session.Info.Volume = top.Number("volume_m3");
    session.Info.Temperature = top.Number("temperature_c");
    session.Info.Humidity = top.Number("humidity_percent");
    session.Info.Notes = top.String("notes");
    const Json* positions = top.Array("positions");
    session.Extra = top.Rest();
    session.Damaged = top.Faulty();
    if (!positions) return;

    std::map<std::string, std::string> seen; // recording path -> label
    for (size_t k = 0; k < positions->size(); ++k) {
        const Json& entry = (*positions)[k];
        const std::string where = "Position " + std::to_string(k + 1);
        if (!entry.is_object()) {
            problems.push_back(where + " is not an object; it is left out.");
            session.Damaged = true;
            continue;
        }
        Members m(entry, where, problems);
        TSessionPosition p = ReadPosition(m);
        session.Damaged = session.Damaged || m.Faulty();
        Sanitise(p.Settings);
        if (p.Recording.empty()) {
            problems.push_back(where + " names no recording; it is left out.");
            session.Damaged = true;
            continue;
        }
        const std::string path = session.RecordingPath(p);
        const auto [it, fresh] = seen.emplace(PathKey(path), p.Label);
        if (!fresh) {
            problems.push_back("Position " + Quoted(p.Label) + " names the recording " +
                               p.Recording + " again (as position " + Quoted(it->second) +
                               "); it is left out.");
            session.Damaged = true;
            continue;
        }
        p.Present = IsRegularFile(path);
        if (!p.Present)
            problems.push_back("Position " + Quoted(p.Label) + ": the recording " + p.Recording +
                               " is missing; it is shown but not analysed.");
        session.Positions.push_back(std::move(p));
    }
}

} // namespace

std::string TSession::ManifestPath() const {
    return (fs::path(Folder) / kSessionManifest).string();
}

std::string TSession::RecordingPath(const TSessionPosition& position) const {
    const fs::path p(position.Recording);
    return p.is_absolute() ? p.string() : (fs::path(Folder) / p).string();
}

int32_t TSession::FindLabel(const std::string& label) const {
    for (size_t i = 0; i < Positions.size(); ++i)
        if (Positions[i].Label == label) return static_cast<int32_t>(i);
    return -1;
}

std::vector<int32_t> TSession::UsedPositions() const {
    std::vector<int32_t> used;
    for (size_t i = 0; i < Positions.size(); ++i)
        if (Positions[i].Included && Positions[i].Present) used.push_back(static_cast<int32_t>(i));
    return used;
}

TSessionLoad ReadSession(const std::string& folderOrManifest) {
    std::error_code ec;
    fs::path folder = fs::absolute(folderOrManifest, ec).lexically_normal();
    if (folder.has_filename() && folder.filename() == kSessionManifest)
        folder = folder.parent_path();
    if (!folder.has_filename()) folder = folder.parent_path(); // a trailing "/"
    if (!fs::is_directory(folder, ec))
        throw ESessionError("The session folder " + folder.string() + " does not exist.");
    TSessionLoad load;
    load.Session.Folder = folder.string();
    const std::string manifest = load.Session.ManifestPath();
    if (!fs::exists(manifest, ec))
        throw ESessionError("The folder " + folder.string() + " holds no session (no " +
                            kSessionManifest + ").");
    std::string text, error;
    if (!ReadRegularFile(manifest, text, kMaxManifestBytes, &error))
        throw ESessionError("The session manifest cannot be read: " + error);

    Json doc;
    std::string fault;
    try {
        doc = Json::parse(text);
        if (!doc.is_object()) fault = "it holds no JSON object";
    } catch (const Json::exception& e) {
        fault = "it is not valid JSON: " + JsonMessage(e);
    }
    if (!fault.empty()) {
        load.Session.Positions = RecordingsIn(folder);
        load.Session.Damaged = true;
        load.Problems.push_back(std::string(kSessionManifest) + " cannot be used (" + fault +
                                "). The " + std::to_string(load.Session.Positions.size()) +
                                " recording(s) found in the folder are listed instead; " +
                                kSessionManifest +
                                " stays as it is until you agree to replace it.");
        return load;
    }
    ReadManifest(doc, load);
    return load;
}

std::string SessionJson(const TSession& session) {
    const auto number = [](const std::optional<double>& v) {
        return v && std::isfinite(*v) ? Json(*v) : Json();
    };
    const auto merge = [](Json& object, const std::string& extra) {
        if (extra.empty()) return;
        const Json rest = Json::parse(extra, nullptr, false);
        if (!rest.is_object()) return;
        for (const auto& [key, value] : rest.items())
            if (!object.contains(key)) object[key] = value;
    };
    Json doc;
    doc["format"] = kFormat;
    doc["version"] = kVersion;
    doc["room"] = session.Info.Room;
    doc["volume_m3"] = number(session.Info.Volume);
    doc["temperature_c"] = number(session.Info.Temperature);
    doc["humidity_percent"] = number(session.Info.Humidity);
    doc["notes"] = session.Info.Notes;
    Json& positions = doc["positions"] = Json::array();
    for (const TSessionPosition& p : session.Positions) {
        const TSessionSettings& s = p.Settings;
        Json entry;
        entry["label"] = p.Label;
        entry["recording"] = fs::path(p.Recording).generic_string();
        entry["date"] = p.Date;
        entry["included"] = p.Included;
        entry["devices"] = {{"output", p.OutputDevice}, {"input", p.InputDevice}};
        entry["settings"] = {{"samp_freq", s.SampFreq}, {"bandwidth_hz", s.Bandwidth},
                             {"window", s.Window},      {"pre_noise_s", s.PreNoise},
                             {"noise_s", s.Noise},      {"post_noise_s", s.PostNoise},
                             {"cycles", s.Cycles}};
        merge(entry, p.Extra);
        positions.push_back(std::move(entry));
    }
    merge(doc, session.Extra);
    return doc.dump(2, ' ', false, Json::error_handler_t::replace) + "\n";
}

void WriteSession(const TSession& session) {
    std::string error;
    if (!WriteFileAtomically(session.ManifestPath(), SessionJson(session), &error))
        throw ESessionError("The session manifest could not be written: " + error);
}

std::string PositionFileName(const std::string& label) {
    std::string name;
    for (unsigned char c : label)
        name += c < 0x20 || std::string_view("/\\:*?\"<>|").find(static_cast<char>(c)) !=
                                std::string_view::npos
                    ? '_'
                    : static_cast<char>(c);
    const size_t first = name.find_first_not_of(" .");
    name = first == std::string::npos ? std::string() : name.substr(first);
    while (!name.empty() && (name.back() == ' ' || name.back() == '.')) name.pop_back();
    // Long labels are cut at a character boundary: a file name has 255 bytes at most.
    if (name.size() > 100) {
        size_t cut = 100;
        while (cut > 0 && (static_cast<unsigned char>(name[cut]) & 0xC0) == 0x80) --cut;
        name.resize(cut);
    }
    return (name.empty() ? std::string("position") : name) + ".ravlon";
}

std::string NextPositionLabel(const TSession& session) {
    for (int n = 1;; ++n) {
        const std::string label = "P" + std::to_string(n);
        if (session.FindLabel(label) < 0 &&
            !IsRegularFile((fs::path(session.Folder) / PositionFileName(label)).string()))
            return label;
    }
}

std::string SessionDateNow() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    ::localtime_r(&now, &local);
    char buf[32];
    std::strftime(buf, sizeof buf, "%Y-%m-%dT%H:%M:%S", &local);
    return buf;
}

} // namespace ravlon
