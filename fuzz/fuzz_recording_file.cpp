// libFuzzer target: arbitrary bytes opened as a recording file, every
// channel read block by block. Any outcome but a crash, a hang or a read
// outside a buffer is fine: false, Count 0 or EInvalidSMPHeader.
#include "core/recording/recording_file.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <unistd.h>

namespace {

const std::string& InputPath() {
    static const std::string path = [] {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "ravlon-fuzz-smp-XXXXXX").string();
        const int fd = ::mkstemp(pattern.data());
        if (fd < 0) std::abort();
        ::close(fd);
        return pattern;
    }();
    return path;
}

void WriteInput(const uint8_t* data, size_t size) {
    FILE* out = std::fopen(InputPath().c_str(), "wb");
    if (out == nullptr) std::abort();
    if (size > 0 && std::fwrite(data, 1, size, out) != size) std::abort();
    std::fclose(out);
}

void OpenAndReadAll(const uint8_t* data, size_t size) {
    ravlon::TSMPfile file;
    auto block = std::make_unique<ravlon::TSMPBlock>();
    try {
        if (!file.open_file(InputPath(), true)) return;
        // Vary the chunk size with the input so short reads get exercised too.
        if (size > 0) file.setChunknSamples(data[size - 1] % 2 == 0 ? 16384 : 1 + data[0] * 8);
        const int32_t channels = std::min(file.nchans(), ravlon::TSMPfile::MaxChannels);
        for (int32_t ch = 0; ch < channels; ++ch) {
            (void)file.channel_rate(ch);
            for (int i = 0; i < 256; ++i) {
                file.read_block(ch, *block);
                if (block->Count < 0 || block->Count > file.ChunknSamples()) std::abort();
                if (block->Count == 0) break;
            }
            file.set_position(ch, file.get_position(ch) / 2);
            file.read_block(ch, *block);
        }
        for (int32_t slot = -1; slot <= file.scan_length(); ++slot) (void)file.scan_channel(slot);
        (void)file.UsedSize();
        (void)file.get_label(0);
    } catch (const ravlon::EInvalidSMPHeader&) {
    }
}

} // namespace

// The input file exists only while one input runs: libFuzzer may end the
// process without running exit handlers.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    WriteInput(data, size);
    OpenAndReadAll(data, size);
    ::unlink(InputPath().c_str());
    return 0;
}
