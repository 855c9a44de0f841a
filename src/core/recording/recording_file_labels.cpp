// Channel labels of TSMPfile: "L" items or the label file.
#include "core/recording/recording_file.h"

#include "core/base/fileutil.h"
#include "core/base/numtext.h"
#include "core/recording/recording_file_io.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cmath>
#include <unordered_set>

namespace ravlon {

using namespace smp_detail;

// ---------------------------------------------------------------------------
// Labels

std::string TSMPfile::normalize_label(std::string_view text) {
    std::string out(text);
    int changed = 0;
    for (char& c : out) {
        if (changed < 2 && (c == ',' || c == ';')) {
            c = ',';
            ++changed;
        }
    }
    return out;
}

bool TSMPfile::is_label_key(std::string_view key) {
    if (key.empty()) return false;
    std::size_t first = 1;
    while (first < key.size() && (static_cast<unsigned char>(key[first]) & 0xC0) == 0x80) ++first;
    int32_t n = 0;
    return TryStrToInt(key.substr(first), n);
}

int TSMPfile::label_count_internal() const {
    std::unordered_set<std::string> keys;
    for (const auto& line : ItemList)
        if (!ValueOf(line).empty()) keys.insert(LowerCaseAnsi(KeyOf(line)));
    int n = 0;
    while (keys.count(NumberedKey("l", n + 1)) != 0) ++n;
    return n;
}

int32_t TSMPfile::label_count() const {
    if (ExternalLabelMode) return static_cast<int32_t>(LabelList.size());
    return label_count_internal();
}

std::string TSMPfile::get_label(int32_t i) const {
    if (i < 0) return {};
    if (ExternalLabelMode)
        return static_cast<std::size_t>(i) < LabelList.size() ? normalize_label(LabelList[i])
                                                              : std::string();
    return normalize_label(get_item(NumberedKey("L", static_cast<int64_t>(i) + 1)));
}

void TSMPfile::add_label(std::string_view text) {
    if (ExternalLabelMode) {
        LabelList.push_back(normalize_label(CutChars(text, MaxShortString)));
        return;
    }
    int n = 1;
    while (!get_item(NumberedKey("L", n)).empty()) ++n;
    set_item(NumberedKey("L", n), text);
}

std::string TSMPfile::CSVFileName() {
    if (label_count() <= 0) return StoredCSVName;
    const std::string name = get_item("labels");
    StoredCSVName = CutChars(UseShortCSVPathname ? ShortPathOf(name) : name, MaxShortString);
    return StoredCSVName;
}

void TSMPfile::setCSVFileName(std::string_view name) {
    StoredCSVName =
        CutChars(UseShortCSVPathname ? ShortPathOf(name) : std::string(name), MaxShortString);
    // Naming the file must not reload the labels held in memory from it.
    set_item_impl("labels", label_count() > 0 ? std::string_view(StoredCSVName) : "", false);
}

void TSMPfile::setExternalLabels(bool external) {
    if (external) {
        ExternalLabelMode = true;
        std::vector<std::string> labels;
        for (const auto& line : ItemList)
            if (is_label_key(KeyOf(line))) labels.emplace_back(ValueOf(line));
        for (const auto& label : labels) add_label(label);
        if (!labels.empty()) {
            std::erase_if(ItemList,
                          [](const std::string& line) { return is_label_key(KeyOf(line)); });
            invalidate();
        }
        if (StoredCSVName.empty()) setCSVFileName(ChangeFileExt(FileName, ".csv"));
    } else {
        std::vector<std::string> labels = std::move(LabelList);
        LabelList.clear();
        ExternalLabelMode = false;
        for (const auto& label : labels) add_label(label);
        setCSVFileName("");
    }
}

void TSMPfile::load_label_file() {
    LabelList.clear();
    if (!ExternalLabelMode) return;
    const std::string name = get_item("labels");
    if (name.empty()) return;
    // A label file is untrusted like the recording: only a regular file, bounded.
    std::string text;
    ReadRegularFile(name, text, kMaxLabelFileBytes);
    std::size_t start = 0;
    bool first = true;
    while (start < text.size()) {
        auto end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        std::string line = text.substr(start, end - start);
        std::erase(line, '\r');
        start = end + 1;
        if (first) {
            first = false;
            continue;
        }
        LabelList.push_back(normalize_label(CutChars(OemToAnsi(line), MaxShortString)));
    }
}

bool TSMPfile::store_labels() {
    if (ExternalLabelMode) {
        const auto before = ItemList.size();
        std::erase_if(ItemList, [](const std::string& line) { return is_label_key(KeyOf(line)); });
        if (ItemList.size() != before) invalidate();
        if (CSVFileName().empty()) setCSVFileName(ChangeFileExt(FileName, ".csv"));
        const std::string& name = StoredCSVName;
        // A "labels" item naming the recording itself, under any spelling, must
        // not overwrite its samples: the labels then stay in memory only.
        if (name.empty() || SameFile(name, FileName) || SameFile(name, WorkName)) return true;
        std::string text = AnsiToOem(StorableLine(FileName)) + std::string(kCRLF);
        for (int32_t i = 0; i < label_count(); ++i)
            text += AnsiToOem(StorableLine(get_label(i))) + std::string(kCRLF);
        std::string error;
        if (!WriteFileAtomically(name, text, &error)) return fail(errno, error);
    } else {
        const int32_t n = label_count();
        for (int32_t i = 0; i < n; ++i) set_item(NumberedKey("L", i + 1), get_label(i));
        if (EraseCSVFile) {
            const std::string name = CSVFileName();
            if (!name.empty() && !SameFile(name, FileName) && !SameFile(name, WorkName))
                ::unlink(name.c_str());
        }
        setCSVFileName("");
    }
    return true;
}

} // namespace ravlon
