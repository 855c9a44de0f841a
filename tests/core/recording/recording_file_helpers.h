// Helpers shared by the recording file tests: a private temporary folder that
// is removed with everything in it, and whole-file byte access.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>
#include <vector>

namespace ravlon::testing {

class SmpTempDir {
public:
    SmpTempDir() {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "ravlon-smp-XXXXXX").string();
        if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
        Dir = pattern;
    }
    ~SmpTempDir() {
        std::error_code ec;
        std::filesystem::remove_all(Dir, ec);
    }
    SmpTempDir(const SmpTempDir&) = delete;
    SmpTempDir& operator=(const SmpTempDir&) = delete;
    std::string path(const std::string& name) const { return (Dir / name).string(); }
    const std::filesystem::path& dir() const { return Dir; }

private:
    std::filesystem::path Dir;
};

inline std::string ReadBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline void WriteBytes(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

// A header region as another writer of the format would produce it: the text
// as given, the terminator, zeros up to head.
inline std::string HeaderRegion(const std::string& text, std::size_t head) {
    std::string bytes = text + std::string("\x00\x04\x1A", 3);
    bytes.resize(head, '\0');
    return bytes;
}

inline std::string LittleEndian(const std::vector<int16_t>& samples) {
    std::string out;
    for (int16_t s : samples) {
        const auto u = static_cast<uint16_t>(s);
        out += static_cast<char>(u & 0xFF);
        out += static_cast<char>(u >> 8);
    }
    return out;
}

inline std::string BigEndian(const std::vector<int16_t>& samples) {
    std::string out;
    for (int16_t s : samples) {
        const auto u = static_cast<uint16_t>(s);
        out += static_cast<char>(u >> 8);
        out += static_cast<char>(u & 0xFF);
    }
    return out;
}

} // namespace ravlon::testing
