// The temporary recording of a run (or the copy of an opened recording): a
// recording file in the temporary folder that every recorded buffer is
// appended to, so that the run can be saved after it has ended.
//
// Every run gets a file of its own, created and checked before the run
// starts; the previous one is removed only once the new run really started.
// A second descriptor keeps the file's data reachable even when a cleaner of
// the temporary folder deletes the name, and Rescue() then copies it back
// under a new name. UI thread only.
#pragma once

#include <cstdint>
#include <string>

namespace ravlon {

class TSMPfile;
struct TSMPBlock;

class TTemporaryRecording {
public:
    // file: the component that writes the recording (the main window's tmpfile).
    explicit TTemporaryRecording(TSMPfile& file);
    ~TTemporaryRecording();
    TTemporaryRecording(const TTemporaryRecording&) = delete;
    TTemporaryRecording& operator=(const TTemporaryRecording&) = delete;

    // Reserves a new unique name in the temporary folder (the file exists,
    // empty, from then on); raises Exception with the reason when it cannot.
    static std::string Reserve();
    // Makes name (a reserved file) the recording: header with the items a
    // recording needs (rate sfTot, "pos1" .. "pos3"), left open for Append.
    // Raises Exception with the reason when the file cannot be written.
    void Create(const std::string& name, int32_t sfTot, int32_t pos1, int32_t pos2, int32_t pos3);
    // Rewrites the rate and the positions of the open recording's header in
    // place (no new disk space needed); raises Exception when that fails.
    void SetLayout(int32_t sfTot, int32_t pos1, int32_t pos2, int32_t pos3);
    // Appends samples; false when not all of them reached the disk (then
    // Error() says why and Samples() how many are kept).
    bool Append(const int16_t* samples, int32_t count, TSMPBlock& scratch);
    // Writes the header and closes the file; "" or the reason of a failure.
    std::string Finish();
    // Deletes the file of the given name (a finished or abandoned recording).
    static void Remove(const std::string& name);

    const std::string& Name() const { return name_; }
    bool Open() const;
    // Samples of the recording on disk.
    int64_t Samples() const { return samples_; }
    // Samples handed to Append since Create, written or not.
    int64_t Delivered() const { return delivered_; }
    const std::string& Error() const { return error_; }
    bool DiskFull() const { return diskFull_; }

    // When the name no longer leads to the recording (deleted by another
    // program), copies it back under a new name, which Name() then gives,
    // and returns a notice for the user; "" when nothing had to be done.
    // Raises Exception when the copy fails.
    std::string Rescue();

private:
    void CloseKeeper();

    TSMPfile& file_;
    std::string name_;
    int keeper_ = -1; // read-only descriptor of the recording's data
    int64_t samples_ = 0;
    int64_t delivered_ = 0;
    std::string error_;
    bool diskFull_ = false;
};

} // namespace ravlon
