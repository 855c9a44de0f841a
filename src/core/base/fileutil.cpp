#include "core/base/fileutil.h"

#include "core/base/errors.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <filesystem>
#include <pwd.h>
#include <random>
#include <sys/stat.h>
#include <unistd.h>

namespace ravlon {

namespace {

std::function<void()>& ProcessMessagesHook() {
    static std::function<void()> hook;
    return hook;
}

void ProcessMessages() {
    if (ProcessMessagesHook()) ProcessMessagesHook()();
}

// Unicode code points of the upper half (0x80..0xFF) of code page 850.
constexpr std::array<char16_t, 128> kCp850 = {
    0x00C7, 0x00FC, 0x00E9, 0x00E2, 0x00E4, 0x00E0, 0x00E5, 0x00E7, 0x00EA, 0x00EB, 0x00E8, 0x00EF,
    0x00EE, 0x00EC, 0x00C4, 0x00C5, 0x00C9, 0x00E6, 0x00C6, 0x00F4, 0x00F6, 0x00F2, 0x00FB, 0x00F9,
    0x00FF, 0x00D6, 0x00DC, 0x00F8, 0x00A3, 0x00D8, 0x00D7, 0x0192, 0x00E1, 0x00ED, 0x00F3, 0x00FA,
    0x00F1, 0x00D1, 0x00AA, 0x00BA, 0x00BF, 0x00AE, 0x00AC, 0x00BD, 0x00BC, 0x00A1, 0x00AB, 0x00BB,
    0x2591, 0x2592, 0x2593, 0x2502, 0x2524, 0x00C1, 0x00C2, 0x00C0, 0x00A9, 0x2563, 0x2551, 0x2557,
    0x255D, 0x00A2, 0x00A5, 0x2510, 0x2514, 0x2534, 0x252C, 0x251C, 0x2500, 0x253C, 0x00E3, 0x00C3,
    0x255A, 0x2554, 0x2569, 0x2566, 0x2560, 0x2550, 0x256C, 0x00A4, 0x00F0, 0x00D0, 0x00CA, 0x00CB,
    0x00C8, 0x0131, 0x00CD, 0x00CE, 0x00CF, 0x2518, 0x250C, 0x2588, 0x2584, 0x00A6, 0x00CC, 0x2580,
    0x00D3, 0x00DF, 0x00D4, 0x00D2, 0x00F5, 0x00D5, 0x00B5, 0x00FE, 0x00DE, 0x00DA, 0x00DB, 0x00D9,
    0x00FD, 0x00DD, 0x00AF, 0x00B4, 0x00AD, 0x00B1, 0x2017, 0x00BE, 0x00B6, 0x00A7, 0x00F7, 0x00B8,
    0x00B0, 0x00A8, 0x00B7, 0x00B9, 0x00B3, 0x00B2, 0x25A0, 0x00A0};

void AppendUtf8(std::string& out, char32_t c) {
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

// Decodes one UTF-8 sequence at text[i]; advances i. Invalid bytes give
// U+FFFD and advance by one, so every input makes progress.
char32_t DecodeUtf8(std::string_view text, size_t& i) {
    auto byte = [&](size_t k) { return static_cast<unsigned char>(text[k]); };
    unsigned char b0 = byte(i);
    if (b0 < 0x80) {
        ++i;
        return b0;
    }
    int len = (b0 & 0xE0) == 0xC0 ? 2 : (b0 & 0xF0) == 0xE0 ? 3 : (b0 & 0xF8) == 0xF0 ? 4 : 0;
    if (len == 0 || i + static_cast<size_t>(len) > text.size()) {
        ++i;
        return 0xFFFD;
    }
    char32_t c = b0 & (0x7F >> len);
    for (int k = 1; k < len; ++k) {
        unsigned char b = byte(i + static_cast<size_t>(k));
        if ((b & 0xC0) != 0x80) {
            ++i;
            return 0xFFFD;
        }
        c = (c << 6) | (b & 0x3F);
    }
    static constexpr char32_t kMin[5] = {0, 0, 0x80, 0x800, 0x10000};
    if (c < kMin[len] || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) {
        ++i;
        return 0xFFFD;
    }
    i += static_cast<size_t>(len);
    return c;
}

char32_t LowerCodePoint(char32_t c) {
    if (c >= 'A' && c <= 'Z') return c + 32;
    if (c < 0x80) return c;
    if ((c >= 0xC0 && c <= 0xDE && c != 0xD7)) return c + 32;
    if (c >= 0x100 && c <= 0x137 && c % 2 == 0) return c + 1;
    if (c >= 0x139 && c <= 0x148 && c % 2 == 1) return c + 1;
    if (c >= 0x14A && c <= 0x177 && c % 2 == 0) return c + 1;
    if (c == 0x178) return 0xFF;
    if ((c == 0x179 || c == 0x17B || c == 0x17D)) return c + 1;
    if (c >= 0x391 && c <= 0x3AB && c != 0x3A2) return c + 32;
    if (c >= 0x410 && c <= 0x42F) return c + 32;
    if (c >= 0x400 && c <= 0x40F) return c + 80;
    return c;
}

std::string ErrnoText(int err) {
    return std::strerror(err);
}

// Eight hexadecimal digits, different on every call.
std::string UniquePart() {
    static std::mt19937_64 rng{
        std::random_device{}() ^
        static_cast<uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count())};
    char unique[9];
    std::snprintf(unique, sizeof unique, "%08llX",
                  static_cast<unsigned long long>(rng() & 0xFFFFFFFFu));
    return unique;
}

bool Fail(std::string* error, const std::string& text) {
    if (error) *error = text;
    return false;
}

bool FailErrno(std::string* error, const std::string& path) {
    return Fail(error, path + ": " + ErrnoText(errno));
}

bool WriteAll(int fd, const char* data, std::size_t size) {
    std::size_t done = 0;
    while (done < size) {
        const ssize_t w = ::write(fd, data + done, size - done);
        if (w < 0 && errno == EINTR) continue;
        if (w <= 0) {
            if (w == 0) errno = ENOSPC; // a regular file that takes nothing is full
            return false;
        }
        done += static_cast<std::size_t>(w);
    }
    return true;
}

// A new file beside the file it will replace. Commit flushes it to disk and
// renames it over the target; without a successful Commit it is removed, so
// the target is never touched by a failed write.
class ReplacingFile {
public:
    ReplacingFile() = default;
    ReplacingFile(const ReplacingFile&) = delete;
    ReplacingFile& operator=(const ReplacingFile&) = delete;
    ~ReplacingFile() {
        if (fd_ >= 0) ::close(fd_);
        if (!temp_.empty()) ::unlink(temp_.c_str());
    }

    // Resolves destination (a symbolic link is followed, so the link stays)
    // and creates the new file in the target's folder with the target's mode.
    // refuse: the file the target must not be (device and inode), or null.
    bool Open(const std::string& destination, const struct stat* refuse, std::string* error) {
        namespace fs = std::filesystem;
        std::error_code ec;
        fs::path target = destination;
        if (fs::is_symlink(fs::symlink_status(target, ec))) {
            target = fs::weakly_canonical(target, ec);
            if (ec) return Fail(error, destination + ": " + ec.message());
        }
        target_ = target.string();
        struct stat st {};
        const bool exists = ::stat(target_.c_str(), &st) == 0;
        if (exists && !S_ISREG(st.st_mode))
            return Fail(error, destination + ": not a regular file");
        if (exists && refuse && st.st_dev == refuse->st_dev && st.st_ino == refuse->st_ino)
            return Fail(error, destination + ": this is the file being copied");
        fs::path dir = target.parent_path();
        if (dir.empty()) dir = ".";
        // Room for the added characters within the longest file name.
        const std::string base = target.filename().string().substr(0, 200);
        for (int attempt = 0; attempt < 100 && fd_ < 0; ++attempt) {
            const std::string name = (dir / ("." + base + "." + UniquePart() + ".tmp")).string();
            fd_ = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
            if (fd_ >= 0) {
                temp_ = name;
            } else if (errno != EEXIST) {
                return FailErrno(error, destination);
            }
        }
        if (fd_ < 0) return FailErrno(error, destination);
        if (exists) {
            ::fchmod(fd_, st.st_mode & 07777);
            // Only a privileged user can give the file away; the mode is what counts.
            if (::fchown(fd_, st.st_uid, st.st_gid) != 0) errno = 0;
        }
        return true;
    }

    int fd() const { return fd_; }

    bool Commit(const std::string& destination, std::string* error) {
        if (::fsync(fd_) != 0) return FailErrno(error, destination);
        const int fd = fd_;
        fd_ = -1;
        if (::close(fd) != 0) return FailErrno(error, destination);
        if (::rename(temp_.c_str(), target_.c_str()) != 0) return FailErrno(error, destination);
        temp_.clear();
        // The rename itself reaches the disk with the folder.
        const std::string dir = std::filesystem::path(target_).parent_path().string();
        const int dfd = ::open(dir.empty() ? "." : dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (dfd >= 0) {
            ::fsync(dfd);
            ::close(dfd);
        }
        return true;
    }

private:
    std::string target_;
    std::string temp_;
    int fd_ = -1;
};

} // namespace

std::string MakeTempFile(std::string_view prefix) {
    std::error_code ec;
    std::filesystem::path dir = std::filesystem::temp_directory_path(ec);
    if (ec) dir = "/tmp";
    int lastErr = 0;
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::filesystem::path p = dir / ("~" + std::string(prefix) + UniquePart() + ".tmp");
        int fd = ::open(p.c_str(), O_CREAT | O_EXCL | O_WRONLY | O_CLOEXEC, 0600);
        if (fd >= 0) {
            ::close(fd);
            return p.string();
        }
        lastErr = errno;
        if (lastErr != EEXIST) break;
    }
    throw Exception("Cannot create a temporary file in " + dir.string() + ": " +
                    ErrnoText(lastErr));
}

std::string ShortPathOf(std::string_view path) {
    return std::string(path);
}

void SetProcessMessagesHook(std::function<void()> hook) {
    ProcessMessagesHook() = std::move(hook);
}

int OpenRegularFile(const std::string& path, int flags, std::string* error) {
    const int fd = ::open(path.c_str(), flags | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        FailErrno(error, path);
        return -1;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        errno = EINVAL;
        Fail(error, path + ": not a regular file");
        return -1;
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    return fd;
}

bool SameFile(const std::string& a, const std::string& b) {
    if (a == b) return true;
    struct stat sa {};
    struct stat sb {};
    return ::stat(a.c_str(), &sa) == 0 && ::stat(b.c_str(), &sb) == 0 && sa.st_dev == sb.st_dev &&
           sa.st_ino == sb.st_ino;
}

bool CopyFileWithDate(const std::string& source, const std::string& destination,
                      std::string* error) {
    const int in = OpenRegularFile(source, O_RDONLY, error);
    if (in < 0) return false;
    struct Closer {
        int fd;
        ~Closer() { ::close(fd); }
    } closeIn{in};
    struct stat st {};
    ::fstat(in, &st);
    ReplacingFile out;
    if (!out.Open(destination, &st, error)) return false;
    std::array<char, 8192> buf;
    for (;;) {
        ssize_t got = ::read(in, buf.data(), buf.size());
        if (got < 0 && errno == EINTR) continue;
        // A read error must not pass as a complete copy.
        if (got < 0) return FailErrno(error, source);
        ProcessMessages();
        const bool written = WriteAll(out.fd(), buf.data(), static_cast<std::size_t>(got));
        if (!written) return FailErrno(error, destination);
        ProcessMessages();
        if (got == 0) break;
    }
    const struct timespec times[2] = {st.st_atim, st.st_mtim};
    if (::futimens(out.fd(), times) != 0) return FailErrno(error, destination);
    return out.Commit(destination, error);
}

bool WriteFileAtomically(const std::string& path, std::string_view data, std::string* error) {
    ReplacingFile out;
    if (!out.Open(path, nullptr, error)) return false;
    if (!WriteAll(out.fd(), data.data(), data.size())) return FailErrno(error, path);
    return out.Commit(path, error);
}

bool ReadRegularFile(const std::string& path, std::string& out, std::size_t maxBytes,
                     std::string* error) {
    out.clear();
    const int fd = OpenRegularFile(path, O_RDONLY, error);
    if (fd < 0) return false;
    struct stat st {};
    ::fstat(fd, &st);
    out.resize(std::min<std::size_t>(static_cast<std::size_t>(st.st_size), maxBytes));
    std::size_t done = 0;
    bool ok = true;
    while (done < out.size()) {
        const ssize_t r = ::read(fd, out.data() + done, out.size() - done);
        if (r < 0 && errno == EINTR) continue;
        if (r < 0) ok = FailErrno(error, path);
        if (r <= 0) break;
        done += static_cast<std::size_t>(r);
    }
    ::close(fd);
    out.resize(ok ? done : 0);
    return ok;
}

std::string AnsiToOem(std::string_view utf8) {
    std::string out;
    out.reserve(utf8.size());
    size_t i = 0;
    while (i < utf8.size()) {
        char32_t c = DecodeUtf8(utf8, i);
        if (c < 0x80) {
            out += static_cast<char>(c);
            continue;
        }
        char mapped = '?';
        for (size_t k = 0; k < kCp850.size(); ++k) {
            if (kCp850[k] == c) {
                mapped = static_cast<char>(0x80 + k);
                break;
            }
        }
        out += mapped;
    }
    return out;
}

std::string OemToAnsi(std::string_view cp850) {
    std::string out;
    out.reserve(cp850.size());
    for (char ch : cp850) {
        auto b = static_cast<unsigned char>(ch);
        if (b < 0x80)
            out += ch;
        else
            AppendUtf8(out, kCp850[b - 0x80]);
    }
    return out;
}

std::string ToValidUtf8(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    size_t i = 0;
    while (i < text.size()) {
        const size_t start = i;
        const char32_t c = DecodeUtf8(text, i);
        if (c == 0xFFFD)
            AppendUtf8(out, c);
        else
            out.append(text.substr(start, i - start));
    }
    return out;
}

std::string LowerCaseAnsi(std::string_view utf8) {
    std::string out;
    out.reserve(utf8.size());
    size_t i = 0;
    while (i < utf8.size()) {
        size_t start = i;
        char32_t c = DecodeUtf8(utf8, i);
        if (c == 0xFFFD && i - start == 1) {
            // Keep undecodable bytes as they are, so distinct inputs stay distinct.
            out.append(utf8.substr(start, i - start));
            continue;
        }
        AppendUtf8(out, LowerCodePoint(c));
    }
    return out;
}

std::string LoginUserName() {
    errno = 0;
    struct passwd pw {};
    struct passwd* result = nullptr;
    std::array<char, 4096> buf;
    int rc = ::getpwuid_r(::geteuid(), &pw, buf.data(), buf.size(), &result);
    if (result && pw.pw_name) return pw.pw_name;
    if (const char* user = std::getenv("USER"); user && *user) return user;
    if (rc != 0) throw Exception(ErrnoText(rc));
    return "";
}

std::string HostComputerName() {
    std::array<char, 256> buf{};
    if (::gethostname(buf.data(), buf.size() - 1) != 0) return "";
    return buf.data();
}

std::string SystemWindowsDir() {
    return "/etc";
}

std::string LocalDateTimeText() {
    std::time_t now = std::time(nullptr);
    std::tm local{};
    ::localtime_r(&now, &local);
    char buf[64];
    size_t n = std::strftime(buf, sizeof buf, "%Y-%m-%d %H:%M:%S", &local);
    return std::string(buf, n);
}

} // namespace ravlon
