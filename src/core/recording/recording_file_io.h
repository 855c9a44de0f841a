// Unit sSMP: helpers shared by the files of TSMPfile: item-line text and whole-range
// file transfers. Internal to the recording component.
#pragma once

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <string>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>

namespace ravlon::smp_detail {

constexpr std::string_view kCRLF = "\r\n";
// A label file longer than this is not a label file; the rest is ignored.
constexpr std::size_t kMaxLabelFileBytes = 1 << 20;

// Cuts UTF-8 text after n characters (code points), never inside one.
inline std::string CutChars(std::string_view text, std::size_t n) {
    std::size_t chars = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if ((static_cast<unsigned char>(text[i]) & 0xC0) != 0x80) {
            if (chars == n) return std::string(text.substr(0, i));
            ++chars;
        }
    }
    return std::string(text);
}

// prefix + decimal number, the form of "L1", "view0", "proc2" ...
inline std::string NumberedKey(std::string_view prefix, int64_t n) {
    std::string key(prefix);
    key += std::to_string(n);
    return key;
}

inline std::string_view KeyOf(std::string_view line) {
    const auto eq = line.find('=');
    return eq == std::string_view::npos ? line : line.substr(0, eq);
}

inline std::string_view ValueOf(std::string_view line) {
    const auto eq = line.find('=');
    return eq == std::string_view::npos ? std::string_view() : line.substr(eq + 1);
}

// Blanks and control characters at both ends do not count as content.
inline bool IsBlankText(std::string_view text) {
    return std::all_of(text.begin(), text.end(),
                       [](char c) { return static_cast<unsigned char>(c) <= ' '; });
}

// The bytes that end a header line or the header itself cannot be stored
// inside a line: they would cut the item or the header on the next read.
inline std::string StorableLine(std::string_view line) {
    std::string out(line);
    for (char& c : out)
        if (c == '\0' || c == '\x04' || c == '\n' || c == '\r' || c == '\x1A') c = ' ';
    return out;
}

inline std::string ChangeFileExt(std::string_view name, std::string_view ext) {
    const auto slash = name.find_last_of('/');
    const auto dot = name.find_last_of('.');
    if (dot != std::string_view::npos && (slash == std::string_view::npos || dot > slash))
        return std::string(name.substr(0, dot)) + std::string(ext);
    return std::string(name) + std::string(ext);
}

inline int64_t ReadFull(int fd, void* data, int64_t bytes, int64_t offset) {
    auto* p = static_cast<char*>(data);
    int64_t done = 0;
    while (done < bytes) {
        const ssize_t r = ::pread(fd, p + done, static_cast<std::size_t>(bytes - done),
                                  static_cast<off_t>(offset + done));
        if (r < 0 && errno == EINTR) continue;
        if (r <= 0) break;
        done += r;
    }
    return done;
}

// Writes until all bytes are written or a write fails; the bytes written
// (errno tells why when fewer).
inline int64_t WriteFull(int fd, const void* data, int64_t bytes, int64_t offset) {
    const auto* p = static_cast<const char*>(data);
    int64_t done = 0;
    while (done < bytes) {
        const ssize_t r = ::pwrite(fd, p + done, static_cast<std::size_t>(bytes - done),
                                   static_cast<off_t>(offset + done));
        if (r < 0 && errno == EINTR) continue;
        if (r == 0) errno = ENOSPC; // a regular file that takes nothing is full
        if (r <= 0) break;
        done += r;
    }
    return done;
}

inline int64_t FileSize(int fd) {
    struct stat st {};
    return ::fstat(fd, &st) == 0 ? static_cast<int64_t>(st.st_size) : -1;
}

inline void SwapBytes(int16_t* samples, int32_t count) {
    for (int32_t i = 0; i < count; ++i) {
        const auto u = static_cast<uint16_t>(samples[i]);
        samples[i] = static_cast<int16_t>(static_cast<uint16_t>((u << 8) | (u >> 8)));
    }
}

} // namespace ravlon::smp_detail
