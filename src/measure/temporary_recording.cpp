#include "measure/temporary_recording.h"

#include "core/base/errors.h"
#include "core/base/fileutil.h"
#include "core/recording/recording_file.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace ravlon {

namespace {

std::string SystemError(int err) {
    return err ? std::strerror(err) : "the file is not open";
}

// Copies everything readable from fd into the (existing, reserved) file dest.
bool CopyDescriptor(int fd, const std::string& dest, std::string& error) {
    const int out = ::open(dest.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC);
    if (out < 0) {
        error = SystemError(errno);
        return false;
    }
    std::vector<char> buf(1 << 16);
    off_t offset = 0;
    bool ok = true;
    for (;;) {
        const ssize_t got = ::pread(fd, buf.data(), buf.size(), offset);
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) {
            error = SystemError(errno);
            ok = false;
            break;
        }
        if (got == 0) break;
        for (ssize_t done = 0; done < got;) {
            const ssize_t w = ::write(out, buf.data() + done, std::size_t(got - done));
            if (w < 0 && errno == EINTR) continue;
            if (w <= 0) {
                error = SystemError(w < 0 ? errno : ENOSPC);
                ok = false;
                break;
            }
            done += w;
        }
        if (!ok) break;
        offset += got;
    }
    if (::close(out) != 0 && ok) {
        error = SystemError(errno);
        ok = false;
    }
    return ok;
}

} // namespace

TTemporaryRecording::TTemporaryRecording(TSMPfile& file) : file_(file) {}

TTemporaryRecording::~TTemporaryRecording() {
    CloseKeeper();
}

void TTemporaryRecording::CloseKeeper() {
    if (keeper_ >= 0) ::close(keeper_);
    keeper_ = -1;
}

std::string TTemporaryRecording::Reserve() {
    return MakeTempFile("RAV");
}

bool TTemporaryRecording::Open() const {
    return file_.IsOpen();
}

void TTemporaryRecording::Create(const std::string& name, int32_t sfTot, int32_t pos1, int32_t pos2,
                                 int32_t pos3) {
    CloseKeeper();
    name_ = name;
    samples_ = delivered_ = 0;
    error_.clear();
    diskFull_ = false;
    const bool ok = file_.new_file(name);
    const std::string reason = ok ? std::string() : file_.LastError();
    if (ok) keeper_ = ::open(name.c_str(), O_RDONLY | O_CLOEXEC);
    if (!ok || keeper_ < 0) {
        const std::string why = ok ? SystemError(errno) : reason;
        file_.close_file();
        throw Exception("Cannot create the temporary recording " + name + ": " + why);
    }
    file_.insert_nonpresent_defaults();
    SetLayout(sfTot, pos1, pos2, pos3);
}

void TTemporaryRecording::SetLayout(int32_t sfTot, int32_t pos1, int32_t pos2, int32_t pos3) {
    file_.set_sftot(sfTot);
    file_.set_item("pos1", std::to_string(pos1));
    file_.set_item("pos2", std::to_string(pos2));
    file_.set_item("pos3", std::to_string(pos3));
    if (!file_.save_file("")) {
        const std::string why = file_.LastError();
        file_.close_file();
        throw Exception("Cannot write the temporary recording " + name_ + ": " + why);
    }
}

bool TTemporaryRecording::Append(const int16_t* samples, int32_t count, TSMPBlock& scratch) {
    delivered_ += std::max(count, 0);
    if (!error_.empty()) return false;
    for (int32_t done = 0; done < count;) {
        const int32_t n = std::min(count - done, TSMPfile::BlockSamples);
        scratch.Count = n;
        std::copy(samples + done, samples + done + n, scratch.Samples);
        if (!file_.write_block(0, scratch)) {
            const int err = file_.LastErrorCode();
            diskFull_ = err == ENOSPC || err == EDQUOT;
            error_ = file_.LastError().empty() ? SystemError(err) : file_.LastError();
            samples_ = file_.get_position(0);
            return false;
        }
        done += n;
    }
    samples_ += std::max(count, 0);
    return true;
}

std::string TTemporaryRecording::Finish() {
    if (!file_.IsOpen()) return {};
    std::string problem;
    if (!file_.save_file("")) problem = "the header was not written (" + file_.LastError() + ")";
    if (!file_.close_file() && problem.empty())
        problem = "the file was not closed properly (" + file_.LastError() + ")";
    return problem.empty() ? std::string()
                           : "The temporary recording " + name_ + " may be incomplete: " + problem;
}

void TTemporaryRecording::Remove(const std::string& name) {
    if (!name.empty()) ::unlink(name.c_str());
}

std::string TTemporaryRecording::Rescue() {
    if (keeper_ < 0 || name_.empty()) return {};
    struct stat kept {
    }, named{};
    if (::fstat(keeper_, &kept) != 0) return {};
    if (::stat(name_.c_str(), &named) == 0 && named.st_dev == kept.st_dev &&
        named.st_ino == kept.st_ino)
        return {};
    const std::string old = name_;
    const std::string fresh = Reserve();
    std::string error;
    if (!CopyDescriptor(keeper_, fresh, error)) {
        Remove(fresh);
        throw Exception("The temporary recording " + old +
                        " was deleted by another program, and it could not be restored: " + error);
    }
    const bool writing = file_.IsOpen();
    if (writing) {
        // Go on writing into the restored copy, after the samples it holds.
        file_.close_file();
        if (!file_.open_file(fresh, false)) {
            Remove(fresh);
            throw Exception("The restored temporary recording " + fresh + " cannot be opened.");
        }
        file_.set_position(0, static_cast<int32_t>(samples_));
    }
    CloseKeeper();
    keeper_ = ::open(fresh.c_str(), O_RDONLY | O_CLOEXEC);
    name_ = fresh;
    return "The temporary recording was deleted by another program; it was restored as " + fresh +
           ".";
}

} // namespace ravlon
