// A measurement session: a folder holding the recordings of several source and
// microphone positions and a small manifest, session.json, beside them: the
// room (name, volume, notes, temperature and humidity when given) and the
// positions, each with its label, its recording, the date, the devices and the
// settings it was measured with, and whether it takes part in the average.
//
// Recordings are named relative to the folder, so a session folder can be
// moved or copied as a whole. Reading is forgiving: a manifest that is not
// JSON, a position whose recording is missing or a recording listed twice each
// give a problem text, and what can be used is kept (TSessionLoad). Members
// this version does not know are kept and written back.
//
// Pure file and text routines; any thread, one session object at a time.
#pragma once

#include "core/base/errors.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace ravlon {

// A session folder or manifest that cannot be used at all, or a manifest
// that cannot be written.
class ESessionError : public Exception {
public:
    using Exception::Exception;
};

inline constexpr const char* kSessionManifest = "session.json";

// What was set when the position was measured (0 or "" when not known).
struct TSessionSettings {
    int32_t SampFreq = 0;                          // Hz
    double Bandwidth = 0;                          // Hz, of the spectrogram analysis
    std::string Window;                            // window function name ("Hanning")
    double PreNoise = 0, Noise = 0, PostNoise = 0; // s
    int64_t Cycles = 0;                            // complete cycles in the recording
};

struct TSessionPosition {
    std::string Label;
    std::string Recording; // as the manifest names it: relative to the folder
    std::string Date;      // "2024-05-01T10:12:00", local time
    std::string OutputDevice, InputDevice;
    TSessionSettings Settings;
    bool Included = true; // takes part in the average and the report
    // Not stored: whether the recording was found when the session was read.
    bool Present = true;
    std::string Extra; // members this version does not know, as a JSON object text
};

struct TSessionInfo {
    std::string Room;
    std::optional<double> Volume;      // m^3
    std::optional<double> Temperature; // degrees Celsius
    std::optional<double> Humidity;    // percent relative humidity
    std::string Notes;
};

struct TSession {
    std::string Folder; // absolute
    TSessionInfo Info;
    std::vector<TSessionPosition> Positions;
    // The manifest on disk says something this session does not (it was not
    // JSON, or a position was left out): writing it needs the user's consent.
    bool Damaged = false;
    std::string Extra; // top-level members this version does not know

    std::string ManifestPath() const;
    // The recording's path: the folder joined with a relative name.
    std::string RecordingPath(const TSessionPosition& position) const;
    // Index of the position with this label, or -1.
    int32_t FindLabel(const std::string& label) const;
    // The positions to analyse: included and present, in manifest order.
    std::vector<int32_t> UsedPositions() const;
};

struct TSessionLoad {
    TSession Session;
    std::vector<std::string> Problems; // one sentence each; empty when all was well
};

// Reads the session in folder (or the folder of the manifest path given).
// Raises ESessionError when the folder does not exist, holds no session.json
// or the manifest cannot be read; every other fault is a problem text, and
// the session holds what could be used: for a manifest that is not JSON, the
// recordings (*.ravlon) found in the folder, labelled by their names.
TSessionLoad ReadSession(const std::string& folderOrManifest);

// The manifest text (JSON, UTF-8).
std::string SessionJson(const TSession& session);

// Writes the manifest atomically (an old one stays whole when this fails);
// raises ESessionError with the reason.
void WriteSession(const TSession& session);

// A file name for a position's recording: the label with the characters file
// systems refuse replaced by "_", and ".ravlon" (never empty, never a path).
std::string PositionFileName(const std::string& label);

// The next free label "P1", "P2", ...
std::string NextPositionLabel(const TSession& session);

// Local time now as "YYYY-MM-DDTHH:MM:SS".
std::string SessionDateNow();

} // namespace ravlon
