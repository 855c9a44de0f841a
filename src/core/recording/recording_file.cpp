#include "core/recording/recording_file.h"

#include "core/base/fileutil.h"
#include "core/base/numtext.h"
#include "core/recording/recording_file_io.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cmath>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <unordered_map>
#include <unordered_set>

namespace ravlon {

using namespace smp_detail;

namespace {

std::string ExecutableName() {
    char path[4096];
    const ssize_t n = ::readlink("/proc/self/exe", path, sizeof path - 1);
    if (n <= 0) return "RAV";
    std::string_view p(path, static_cast<std::size_t>(n));
    const auto slash = p.find_last_of('/');
    if (slash != std::string_view::npos) p.remove_prefix(slash + 1);
    return p.empty() ? std::string("RAV") : std::string(p);
}

} // namespace

TSMPfile::TSMPfile()
    : HeaderBuf(std::make_unique<std::array<uint8_t, HeaderBufSize>>()),
      IOBuf(std::make_unique<std::array<int16_t, BlockSamples>>()),
      WriteCopy(std::make_unique<std::array<int16_t, BlockSamples>>()) {
    clear();
    Overwrite = true;
    ScanStale = true;
    UseShortCSVPathname = true;
    nViewDigits = 6;
}

TSMPfile::~TSMPfile() {
    if (IsOpen()) close_file();
}

// ---------------------------------------------------------------------------
// Settings and properties

void TSMPfile::reset_settings() {
    defheadsize = 1024;
    defMSBFirst = false;
    defSfTot = 16000;
    defnChans = 1;
    defFileType = "samp";
    defViewLo = -1;
    defViewHi = 1;
    defRangeLo = -32768;
    defRangeHi = 32768;
    ChunkSamples = BlockSamples;
    LongTime = 100;
    Version = 1;
    HeadCache.version = NChansCache.version = SfTotCache.version = MsbCache.version = 0;
    ExternalLabelMode = false;
    HeaderBuf->fill(0);
    IOBuf->fill(0);
    Overwrite = true;
    EraseCSVFile = true;
    StoredCSVName.clear();
}

void TSMPfile::clear() {
    ItemList.clear();
    CommentList.clear();
    LabelList.clear();
    reset_settings();
    ScanStale = true;
}

void TSMPfile::invalidate() {
    ScanStale = true;
    ++Version;
}

void TSMPfile::setItems(const std::vector<std::string>& lines) {
    reset_settings();
    ItemList.clear();
    for (const auto& line : lines) ItemList.push_back(CutChars(line, MaxShortString));
    LabelList.clear();
    invalidate();
    validate_items();
}

void TSMPfile::setComment(const std::vector<std::string>& lines) {
    CommentList.clear();
    for (const auto& line : lines) CommentList.push_back(CutChars(line, MaxShortString));
    ++Version;
}

void TSMPfile::setChunknSamples(int32_t n) {
    ChunkSamples = std::clamp(n, 1, BlockSamples);
}

void TSMPfile::setFilename(std::string_view name) {
    FileName = CutChars(name, MaxShortString);
}

int32_t TSMPfile::UsedSize() {
    const int64_t last = build_header();
    return static_cast<int32_t>(std::min<int64_t>(last, INT32_MAX));
}

// ---------------------------------------------------------------------------
// Item store

std::string TSMPfile::get_item(std::string_view key) const {
    const std::string lower = LowerCaseAnsi(key);
    for (const auto& line : ItemList) {
        const auto k = KeyOf(line);
        if (LowerCaseAnsi(k) == lower) return CutChars(ValueOf(line), MaxShortString);
    }
    return {};
}

void TSMPfile::set_item(std::string_view key, std::string_view value) {
    set_item_impl(key, value, true);
}

void TSMPfile::set_item_impl(std::string_view key, std::string_view value, bool loadLabels) {
    invalidate();
    if (value.empty()) {
        std::erase_if(ItemList, [&](const std::string& line) { return KeyOf(line) == key; });
        return;
    }
    std::string line = CutChars(std::string(key) + "=" + std::string(value), MaxShortString);
    std::size_t found = ItemList.size();
    for (std::size_t i = 0; i < ItemList.size(); ++i) {
        if (KeyOf(ItemList[i]) == key) {
            found = i;
            break;
        }
    }
    if (found < ItemList.size()) {
        ItemList[found] = std::move(line);
        for (std::size_t i = ItemList.size(); i-- > found + 1;)
            if (KeyOf(ItemList[i]) == key) ItemList.erase(ItemList.begin() + static_cast<long>(i));
        if (key == "labels" && loadLabels) {
            StoredCSVName = CutChars(value, MaxShortString);
            ExternalLabelMode = true;
            load_label_file();
        }
    } else {
        ItemList.push_back(std::move(line));
        found = ItemList.size() - 1;
    }
    if (key == "head" && found > 0)
        std::rotate(ItemList.begin(), ItemList.begin() + static_cast<long>(found),
                    ItemList.begin() + static_cast<long>(found) + 1);
}

void TSMPfile::add_line(std::string_view line) {
    set_item(KeyOf(line), ValueOf(line));
}

void TSMPfile::set_nonpresent_item(std::string_view key, std::string_view value) {
    if (get_item(key).empty()) set_item(key, value);
}

void TSMPfile::add_nonpresent_line(std::string_view line) {
    if (get_item(KeyOf(line)).empty()) add_line(line);
}

void TSMPfile::set_proc(std::string_view text) {
    int n = 0;
    while (!get_item(NumberedKey("proc", n)).empty()) ++n;
    set_item(NumberedKey("proc", n), text);
}

void TSMPfile::validate_items() {
    invalidate();
    std::stable_partition(ItemList.begin(), ItemList.end(),
                          [](const std::string& line) { return KeyOf(line) == "head"; });
    std::erase_if(ItemList, [](const std::string& line) {
        return IsBlankText(KeyOf(line)) || IsBlankText(ValueOf(line));
    });
    std::unordered_set<std::string> seen;
    std::erase_if(ItemList, [&](const std::string& line) {
        return !seen.insert(std::string(KeyOf(line))).second;
    });
    const bool external = !CSVFileName().empty();
    // Entering the label-file mode here must carry the label items along,
    // or the next save would drop them.
    if (external && !ExternalLabelMode)
        setExternalLabels(true);
    else
        ExternalLabelMode = external;
}

void TSMPfile::insert_nonpresent_defaults() {
    if (get_item("head").empty()) set_headsize(defheadsize);
    if (get_item("file").empty()) set_filetype(defFileType);
    if (get_item("sftot").empty()) set_sftot(defSfTot);
    if (get_item("nchans").empty()) set_nchans(defnChans);
    if (get_item("msb").empty()) set_msbfirst(defMSBFirst);
    if (get_item("view").empty()) set_view(-1, -1, 1);
    if (get_item("range").empty()) set_range(-1, -32768, 32768);
    if (get_item("date").empty()) set_item("date", LocalDateTimeText());
}

// ---------------------------------------------------------------------------
// Typed items

void TSMPfile::set_headsize(int32_t n) {
    set_item("head", std::to_string(n));
}
void TSMPfile::set_nchans(int32_t n) {
    set_item("nchans", std::to_string(n));
}
void TSMPfile::set_filetype(std::string_view text) {
    set_item("file", text);
}
void TSMPfile::set_sftot(double hz) {
    set_item("sftot", FormatFloatDot("0.######", hz));
}
void TSMPfile::set_msbfirst(bool first) {
    set_item("msb", first ? "first" : "last");
}

int32_t TSMPfile::headsize() {
    return HeadCache.Get(Version, [this] {
        int32_t n = 0;
        return TryStrToInt(get_item("head"), n) ? n : defheadsize;
    });
}

int32_t TSMPfile::nchans() {
    return NChansCache.Get(Version, [this] {
        int32_t n = 0;
        return TryStrToInt(get_item("nchans"), n) ? n : defnChans;
    });
}

double TSMPfile::sftot() {
    return SfTotCache.Get(Version, [this]() -> double {
        try {
            const double v = StrToFloatDot(get_item("sftot"));
            return std::isfinite(v) ? v : defSfTot;
        } catch (const Exception&) {
            return defSfTot;
        }
    });
}

bool TSMPfile::msbfirst() {
    return MsbCache.Get(Version, [this] {
        const std::string v = get_item("msb");
        return v == "first" ? true : v == "last" ? false : defMSBFirst;
    });
}

void TSMPfile::set_view_text(int32_t channel, std::string_view text) {
    // A one-channel file keeps its single "view" item.
    if (nchans() == 1 && !get_item("view").empty() && get_item("view0").empty())
        set_item("view", text);
    else
        set_item(channel == -1 ? std::string("view") : NumberedKey("view", channel), text);
}

std::string TSMPfile::get_view_text(int32_t channel) const {
    std::string text = get_item(NumberedKey("view", channel));
    return text.empty() ? get_item("view") : text;
}

void TSMPfile::set_view(int32_t channel, double lo, double hi) {
    std::string text =
        RoundSignificantDot(nViewDigits, lo) + "," + RoundSignificantDot(nViewDigits, hi);
    const std::string label = get_view_label(channel);
    if (!label.empty()) text += "," + label;
    set_view_text(channel, text);
}

std::string TSMPfile::get_view_label(int32_t channel) const {
    const std::string text = get_view_text(channel);
    const auto c1 = text.find(',');
    if (c1 == std::string::npos) return {};
    const auto c2 = text.find(',', c1 + 1);
    if (c2 == std::string::npos) return {};
    const auto c3 = text.find(',', c2 + 1);
    return text.substr(c2 + 1, c3 == std::string::npos ? std::string::npos : c3 - c2 - 1);
}

void TSMPfile::set_range_text(int32_t channel, std::string_view text) {
    set_item(channel == -1 ? std::string("range") : NumberedKey("range", channel), text);
}

void TSMPfile::set_range(int32_t channel, double lo, double hi) {
    set_range_text(channel, FloatToStrDot(lo) + "," + FloatToStrDot(hi));
}

// ---------------------------------------------------------------------------
// Header text

void TSMPfile::parse_header(std::size_t bytesRead) {
    ExternalLabelMode = false;
    // Same result as set_item per line, without its quadratic search: a full
    // 32 KB header of short items parses in one pass.
    std::vector<std::string> lines;
    std::vector<bool> alive;
    std::unordered_map<std::string, std::size_t> index;
    bool comments = false;
    std::string raw;
    raw.reserve(MaxShortString);

    auto store = [&](const std::string& key, std::string_view value) {
        const auto it = index.find(key);
        if (value.empty()) {
            if (it != index.end()) {
                alive[it->second] = false;
                index.erase(it);
            }
            return;
        }
        std::string line = CutChars(key + "=" + std::string(value), MaxShortString);
        if (it != index.end()) {
            lines[it->second] = std::move(line);
            if (key == "labels") StoredCSVName = CutChars(value, MaxShortString);
        } else {
            index.emplace(key, lines.size());
            lines.push_back(std::move(line));
            alive.push_back(true);
        }
    };
    auto finish = [&] {
        if (raw.empty()) return;
        const std::string text = OemToAnsi(raw);
        raw.clear();
        if (comments) {
            CommentList.push_back(text);
        } else if (text == "=") {
            comments = true;
        } else {
            const std::string key(KeyOf(text));
            store(key, ValueOf(text));
            if (key == "labels") ExternalLabelMode = true;
        }
    };

    const auto& buf = *HeaderBuf;
    const std::size_t end = std::min<std::size_t>(bytesRead, buf.size());
    for (std::size_t i = 0; i <= end; ++i) {
        // Past the bytes read the buffer is zero: the header ends there.
        const uint8_t c = i < end ? buf[i] : 0;
        if (c == 0x00 || c == 0x0A || c == 0x1A) {
            finish();
            if (c != 0x0A) break;
        } else if (c != 0x04 && c != 0x0D && raw.size() < MaxShortString) {
            raw += static_cast<char>(c);
        }
    }

    ItemList.clear();
    for (std::size_t i = 0; i < lines.size(); ++i)
        if (alive[i]) ItemList.push_back(std::move(lines[i]));
    const auto head = index.find("head");
    if (head != index.end())
        std::stable_partition(ItemList.begin(), ItemList.end(),
                              [](const std::string& line) { return KeyOf(line) == "head"; });
    invalidate();

    load_label_file();
    validate_items();
    DataOff = headsize();
}

int64_t TSMPfile::build_header() {
    auto& buf = *HeaderBuf;
    buf.fill(0);
    int64_t count = 0;
    auto put = [&](std::string_view bytes) {
        if (count < HeaderBufSize) {
            const auto n =
                std::min<int64_t>(static_cast<int64_t>(bytes.size()), HeaderBufSize - count);
            std::memcpy(buf.data() + count, bytes.data(), static_cast<std::size_t>(n));
        }
        count += static_cast<int64_t>(bytes.size());
    };
    for (const auto& line : ItemList) {
        put(AnsiToOem(StorableLine(line)));
        put(kCRLF);
    }
    put("=\r\n");
    for (const auto& line : CommentList) {
        put(AnsiToOem(StorableLine(line)));
        put(kCRLF);
    }
    put(std::string_view("\x00\x04\x1A", 3));
    return count - 1;
}

// ---------------------------------------------------------------------------
// File lifecycle

bool TSMPfile::fail(int code, const std::string& text) {
    LastErrCode = code;
    LastErr = text;
    return false;
}

bool TSMPfile::fail_errno(const std::string& name) {
    const int code = errno;
    return fail(code, name + ": " + std::strerror(code));
}

int TSMPfile::open_fd(const std::string& name, bool readOnly) {
    if (name.empty()) {
        fail(ENOENT, "The recording has no file name");
        return -1;
    }
    // Only a regular file is a recording: a directory, FIFO or device is refused
    // (without blocking on a FIFO).
    int flags = readOnly ? O_RDONLY : O_RDWR;
    if (!readOnly && WriteThroughCache) flags |= O_DSYNC;
    std::string error;
    const int fd = OpenRegularFile(name, flags, &error);
    if (fd < 0) fail(errno, error);
    return fd;
}

bool TSMPfile::make_working_copy() {
    try {
        WorkName = CutChars(MakeTempFile(ExecutableName()), MaxShortString);
    } catch (const Exception& e) {
        WorkName.clear();
        return fail(errno, e.what());
    }
    std::string error;
    if (!CopyFileWithDate(FileName, WorkName, &error)) return fail(errno, error);
    return true;
}

bool TSMPfile::new_file(std::string_view name) {
    if (IsOpen()) close_file();
    ReadOnlyMode = false;
    setFilename(name);
    bool ok = true;
    if (UseTempFile) {
        // A new recording starts empty: the working copy is a new empty file,
        // never a copy of a file that the new one replaces.
        try {
            WorkName = CutChars(MakeTempFile(ExecutableName()), MaxShortString);
        } catch (const Exception& e) {
            WorkName.clear();
            ok = fail(errno, e.what());
        }
    } else {
        WorkName = FileName;
    }
    if (!FileName.empty()) {
        ::unlink(FileName.c_str());
        int fd = ::open(FileName.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
        if (fd >= 0) {
            ::close(fd);
            fd = open_fd(FileName, false);
            if (fd >= 0) {
                clear();
                ::close(fd);
            }
        } else {
            ok = fail_errno(FileName);
        }
    }
    DataOff = headsize();
    Fd = open_fd(WorkName, false);
    if (Fd < 0) ok = false;
    channel_reset();
    const bool saved = save_file("");
    return ok && saved;
}

bool TSMPfile::open_file(std::string_view name, bool readOnly) {
    if (IsOpen()) close_file();
    struct stat st {};
    const std::string path = CutChars(name, MaxShortString);
    const bool found = !path.empty() && ::stat(path.c_str(), &st) == 0;
    if (!found || !S_ISREG(st.st_mode)) {
        // Only a regular file is a recording; a FIFO must not even be opened.
        if (path.empty())
            fail(ENOENT, "No file name");
        else if (!found)
            fail_errno(path);
        else
            fail(EINVAL, path + ": not a regular file");
        clear();
        return false;
    }
    setFilename(path);
    ReadOnlyMode = readOnly;
    if (UseTempFile) {
        if (!make_working_copy()) {
            close_file(); // removes what the copy left
            clear();
            return false;
        }
    } else {
        WorkName = FileName;
    }
    const int fd = open_fd(WorkName, readOnly);
    clear();
    int64_t got = 0;
    if (fd >= 0) got = ReadFull(fd, HeaderBuf->data(), HeaderBufSize, 0);
    parse_header(static_cast<std::size_t>(std::max<int64_t>(got, 0)));
    if (fd >= 0 && got <= 0) fail(0, path + ": the file is empty or cannot be read");
    // A negative "head" puts no sample anywhere: not a recording.
    if (got > 0 && headsize() < 0) fail(0, path + ": the header puts the samples nowhere");
    const bool success = got > 0 && headsize() >= 0;
    if (!success) {
        if (fd >= 0) ::close(fd);
        close_file();
        return false;
    }
    Fd = fd;
    channel_reset();
    return true;
}

bool TSMPfile::close_file() {
    bool ok = true;
    if (Fd >= 0) {
        // The samples are on disk only after the flush: a failure there (a full
        // or vanished network disk) loses them, and the caller must know.
        if (!ReadOnlyMode && ::fsync(Fd) != 0) ok = fail_errno(WorkName);
        if (::close(Fd) != 0 && ok) ok = fail_errno(WorkName);
        Fd = -1;
    }
    if (UseTempFile && !WorkName.empty() && WorkName != FileName) ::unlink(WorkName.c_str());
    return ok;
}

bool TSMPfile::write_header_region(int fd, int64_t size) {
    const int64_t image = std::min<int64_t>(size, HeaderBufSize);
    if (WriteFull(fd, HeaderBuf->data(), image, 0) != image) return false;
    // A region beyond the image is zero padding: a file too short for it is
    // extended with zeros; bytes a longer region already holds are left alone.
    if (size > HeaderBufSize && FileSize(fd) < size) return ::ftruncate(fd, size) == 0;
    return true;
}

bool TSMPfile::save_file(std::string_view name) {
    if (!name.empty()) setFilename(name);
    validate_items();

    const std::string headBefore = get_item("head");
    auto restoreHead = [&] {
        if (get_item("head") != headBefore) set_item("head", headBefore);
    };
    int64_t used = 0;
    for (int round = 0; round < 8; ++round) {
        if (used > headsize()) set_headsize(static_cast<int32_t>(used + (used & 1)));
        used = build_header();
        // The reader examines 32768 bytes: the text up to its NUL must lie there.
        if (used - 2 >= HeaderBufSize) {
            restoreHead();
            build_header();
            return fail(0, "The header of " + FileName + " is longer than 32768 bytes");
        }
        if (used <= headsize()) break;
    }
    const int64_t head = headsize();
    if (used > head || head < 0) {
        restoreHead();
        return fail(0, "The header of " + FileName + " does not fit its \"head\" item");
    }

    bool whole = false;
    if (FileName.empty()) {
        fail(ENOENT, "The recording has no file name");
    } else {
        const bool wasOpen = IsOpen();
        int64_t dataOffset = DataOff;
        int fd = Fd;
        if (!wasOpen) {
            fd = open_fd(FileName, false);
            // The samples of a closed file start where its own header says;
            // a file whose header cannot say is treated as holding samples.
            dataOffset = -1;
            if (fd >= 0) {
                TSMPfile probe;
                try {
                    if (probe.open_file(FileName, true)) dataOffset = probe.DataOffset();
                } catch (const EInvalidSMPHeader&) {
                    dataOffset = probe.DataOffset();
                }
                if (FileSize(fd) == 0) dataOffset = head;
            }
        }
        if (fd >= 0) {
            const int64_t size = FileSize(fd);
            const bool samples = size < 0 || size > dataOffset;
            if (samples && head != dataOffset) {
                // The header region must stay where the samples begin.
                restoreHead();
                build_header();
                fail(0, "The header of " + FileName + " no longer fits before its samples");
            } else {
                if (!samples && size > head) {
                    if (::ftruncate(fd, head) != 0) {
                        fail_errno(FileName);
                        if (!wasOpen) ::close(fd);
                        return false;
                    }
                }
                whole = write_header_region(fd, head);
                if (!whole) fail_errno(FileName);
                if (whole && wasOpen && head != DataOff) {
                    const int64_t shift = head - DataOff;
                    for (auto& p : ChannelPos) p += shift;
                    for (auto& p : PrevChannelPos) p += shift;
                    DataOff = head;
                }
            }
            if (!wasOpen && ::close(fd) != 0 && whole) whole = fail_errno(FileName);
        }
    }

    bool ok = store_labels() && whole;
    bool switchToFile = true;
    if (!WorkName.empty() && !FileName.empty() && WorkName != FileName) {
        std::string error;
        if (!CopyFileWithDate(WorkName, FileName, &error)) {
            // Keep working on the file that holds the samples; a later save copies again.
            ok = fail(errno, error);
            switchToFile = false;
        } else if (!UseTempFile && IsOpen()) {
            // Saved under a new name: go on working on the new file.
            const int fd = open_fd(FileName, ReadOnlyMode);
            if (fd >= 0) {
                ::close(Fd);
                Fd = fd;
            } else {
                ok = switchToFile = false;
            }
        }
    }
    if (!UseTempFile && switchToFile) WorkName = FileName;
    return ok;
}

} // namespace ravlon
