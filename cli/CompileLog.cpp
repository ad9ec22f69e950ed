#include "CompileLog.h"

#include <regex>

namespace glfx::cli {

std::vector<CompileLogEntry> parseCompileLog(const std::string& log) {
    static const std::regex mesa(R"(^\s*\d+:(\d+)\(\d+\):\s*(.*)$)");
    static const std::regex nvidia(R"(^\s*\d+\((\d+)\)\s*:\s*(.*)$)");
    static const std::regex plain(R"(^\s*(ERROR|WARNING):\s*\d+:(\d+):\s*(.*)$)");
    std::vector<CompileLogEntry> entries;
    size_t pos = 0;
    while (pos < log.size()) {
        size_t end = log.find('\n', pos);
        if (end == std::string::npos) end = log.size();
        std::string line = log.substr(pos, end - pos);
        pos = end + 1;
        while (!line.empty() && (line.back() == '\r' || line.back() == ' ' || line.back() == '\0'))
            line.pop_back();
        if (line.empty()) continue;
        std::smatch m;
        CompileLogEntry entry;
        if (std::regex_match(line, m, mesa) || std::regex_match(line, m, nvidia)) {
            entry.line = std::stoi(m[1].str());
            entry.message = m[2].str();
        } else if (std::regex_match(line, m, plain)) {
            entry.line = std::stoi(m[2].str());
            entry.message = (m[1].str() == "ERROR" ? "error: " : "warning: ") + m[3].str();
        } else {
            entry.message = line;
        }
        static const std::regex severity(R"(^(error|warning)\b:?\s*(.*)$)", std::regex::icase);
        if (std::regex_match(entry.message, m, severity)) {
            entry.error = m[1].str()[0] == 'e' || m[1].str()[0] == 'E';
            entry.message = m[2].str();
        }
        entries.push_back(std::move(entry));
    }
    return entries;
}

int fileLineOf(const SourceLines& text, const std::vector<int>& preambleLines, int sourceLine,
               bool versionFirst) {
    if (sourceLine < 1) return text.headerLine;
    if (versionFirst && !preambleLines.empty()) {
        // The text's first line, then the preamble, then the text's second line on.
        if (sourceLine == 1) return text.fileLines.empty() ? text.headerLine : text.fileLines[0];
        if (sourceLine <= int(preambleLines.size()) + 1)
            return preambleLines[size_t(sourceLine - 2)];
    } else if (sourceLine <= int(preambleLines.size())) {
        return preambleLines[size_t(sourceLine - 1)];
    }
    const int k = sourceLine - int(preambleLines.size());
    if (text.fileLines.empty()) return text.headerLine;
    if (k > int(text.fileLines.size())) return text.fileLines.back();
    return text.fileLines[size_t(k - 1)];
}

} // namespace glfx::cli
