// ravlon-analyze run as a user runs it: a subprocess with its output and exit
// code, and the small readers its tests share (lines, CSV fields, numbers,
// Python for the strict JSON and HTML parsers).
#pragma once

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <vector>

namespace ravlon::test {

struct ToolResult {
    int code = -1;
    std::string out, err;
};

inline std::string Quote(const std::string& s) {
    std::string q = "'";
    for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

inline std::string ReadAll(const std::filesystem::path& p) {
    std::ifstream in(p, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

inline std::vector<std::string> SplitLines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

inline std::vector<std::string> Split(const std::string& line, char separator) {
    std::vector<std::string> fields(1);
    for (char c : line) {
        if (c == separator)
            fields.emplace_back();
        else
            fields.back() += c;
    }
    return fields;
}
inline std::vector<std::string> SplitCsv(const std::string& line) {
    return Split(line, ',');
}

// Full text to double, nothing left over; NaN for an empty field.
inline double Number(const std::string& text) {
    if (text.empty()) return std::nan("");
    char* end = nullptr;
    const double v = std::strtod(text.c_str(), &end);
    EXPECT_EQ(*end, '\0') << "not a number: " << text;
    return v;
}

// Runs ravlon-analyze with args; its output goes through files in dir.
// prefix: shell text before the command (environment, limits).
inline ToolResult RunTool(const std::filesystem::path& dir, const std::vector<std::string>& args,
                          const std::string& prefix = "") {
    std::string cmd = prefix + Quote(RAVLON_ANALYZE);
    for (const std::string& a : args) cmd += " " + Quote(a);
    const std::filesystem::path out = dir / "stdout", err = dir / "stderr";
    cmd += " >" + Quote(out.string()) + " 2>" + Quote(err.string());
    const int status = std::system(cmd.c_str());
    ToolResult r;
    r.code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    r.out = ReadAll(out);
    r.err = ReadAll(err);
    return r;
}

inline bool HavePython() {
    return std::system("python3 -c 'import json' >/dev/null 2>&1") == 0;
}
// Runs python3 with script on input (stdin); its output. A failing script fails the test.
inline std::string RunPython(const std::filesystem::path& dir, const std::string& script,
                             const std::string& input) {
    const std::filesystem::path in = dir / "py-in", py = dir / "script.py", out = dir / "py-out";
    std::ofstream(in, std::ios::binary) << input;
    std::ofstream(py) << script;
    const std::string cmd = "python3 " + Quote(py.string()) + " <" + Quote(in.string()) + " >" +
                            Quote(out.string()) + " 2>&1";
    EXPECT_EQ(std::system(cmd.c_str()), 0) << ReadAll(out);
    return ReadAll(out);
}

} // namespace ravlon::test
