// Faults for file tests: a small tmpfs that fills up like a full disk, and a
// guard for tests on FIFOs, whose blocking open would hang a faulty program.
// Qt-free, so the core, services and tool tests share it.
#pragma once

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <mutex>
#include <string>
#include <sys/mount.h>
#include <thread>
#include <unistd.h>

namespace ravlon::testing {

// A tmpfs of kib KiB on a new folder of its own; unmounted and removed with
// the object. Mounting needs root (CAP_SYS_ADMIN); without it Mounted() is
// false and Error() says why, for GTEST_SKIP.
class SmallTmpfs {
public:
    explicit SmallTmpfs(int kib) {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "ravlon-tmpfs-XXXXXX").string();
        if (::mkdtemp(pattern.data()) == nullptr) {
            error_ = std::string("mkdtemp: ") + std::strerror(errno);
            return;
        }
        dir_ = pattern;
        const std::string options = "size=" + std::to_string(kib) + "k,mode=0777";
        if (::mount("tmpfs", dir_.c_str(), "tmpfs", MS_NOSUID | MS_NODEV, options.c_str()) != 0)
            error_ = std::string("cannot mount a tmpfs (") + std::strerror(errno) +
                     "); run the tests as root for the full-disk cases";
        else
            mounted_ = true;
    }
    ~SmallTmpfs() {
        if (mounted_) ::umount2(dir_.c_str(), MNT_DETACH);
        if (!dir_.empty()) ::rmdir(dir_.c_str());
    }
    SmallTmpfs(const SmallTmpfs&) = delete;
    SmallTmpfs& operator=(const SmallTmpfs&) = delete;

    bool Mounted() const { return mounted_; }
    const std::string& Error() const { return error_; }
    const std::string& Dir() const { return dir_; }
    std::string Path(const std::string& name) const { return dir_ + "/" + name; }

    // Fills the file system up to its last free bytes (a file of the rest).
    void FillUp(const std::string& name = "filler") const {
        const int fd = ::open(Path(name).c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        char block[4096] = {};
        while (fd >= 0 && ::write(fd, block, sizeof block) > 0) {
        }
        if (fd >= 0) ::close(fd);
    }

private:
    std::string dir_;
    std::string error_;
    bool mounted_ = false;
};

// Keeps a FIFO test from hanging: if the code under test still waits in an
// open of the FIFO after a few seconds, the guard opens the other end once,
// so the open returns (and the test fails on its result instead of hanging).
class FifoGuard {
public:
    explicit FifoGuard(std::string path) : path_(std::move(path)) {
        thread_ = std::thread([this] {
            std::unique_lock<std::mutex> lock(mutex_);
            if (done_.wait_for(lock, std::chrono::seconds(3), [this] { return finished_; })) return;
            while (!finished_) {
                for (int flags : {O_WRONLY | O_NONBLOCK, O_RDONLY | O_NONBLOCK}) {
                    const int fd = ::open(path_.c_str(), flags);
                    if (fd >= 0) ::close(fd);
                }
                done_.wait_for(lock, std::chrono::milliseconds(100));
            }
        });
    }
    ~FifoGuard() {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            finished_ = true;
        }
        done_.notify_all();
        thread_.join();
    }
    FifoGuard(const FifoGuard&) = delete;
    FifoGuard& operator=(const FifoGuard&) = delete;

private:
    std::string path_;
    std::mutex mutex_;
    std::condition_variable done_;
    bool finished_ = false;
    std::thread thread_;
};

} // namespace ravlon::testing
