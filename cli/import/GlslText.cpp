#include "import/GlslText.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <cstring>

namespace glfx::import {
namespace {

bool identStart(char c) {
    return std::isalpha(static_cast<unsigned char>(c)) || c == '_';
}
bool identChar(char c) {
    return std::isalnum(static_cast<unsigned char>(c)) || c == '_';
}
bool digit(char c) {
    return std::isdigit(static_cast<unsigned char>(c)) != 0;
}

std::vector<GlslPiece> tokenize(const std::string& s) {
    static const char* const kLong[] = {"<<=", ">>=", "<<", ">>", "++", "--", "&&", "||",
                                        "^^",  "==",  "!=", "<=", ">=", "+=", "-=", "*=",
                                        "/=",  "%=",  "&=", "|=", "^=", "##"};
    std::vector<GlslPiece> out;
    using Kind = GlslPiece::Kind;
    for (size_t i = 0; i < s.size();) {
        const char c = s[i];
        size_t j = i + 1;
        Kind kind = Kind::Symbol;
        if (std::isspace(static_cast<unsigned char>(c))) {
            while (j < s.size() && std::isspace(static_cast<unsigned char>(s[j])))
                ++j;
            kind = Kind::Blank;
        } else if (c == '/' && i + 1 < s.size() && s[i + 1] == '/') {
            j = s.find('\n', i);
            if (j == std::string::npos) j = s.size();
            kind = Kind::Comment;
        } else if (c == '/' && i + 1 < s.size() && s[i + 1] == '*') {
            j = s.find("*/", i + 2);
            j = j == std::string::npos ? s.size() : j + 2;
            kind = Kind::Comment;
        } else if (identStart(c)) {
            while (j < s.size() && identChar(s[j]))
                ++j;
            kind = Kind::Identifier;
        } else if (digit(c) || (c == '.' && i + 1 < s.size() && digit(s[i + 1]))) {
            while (j < s.size()) {
                if (identChar(s[j]) || s[j] == '.') {
                    ++j;
                } else if ((s[j] == '+' || s[j] == '-') && (s[j - 1] == 'e' || s[j - 1] == 'E') &&
                           !(s[i] == '0' && i + 1 < s.size() &&
                             (s[i + 1] == 'x' || s[i + 1] == 'X'))) {
                    ++j;
                } else {
                    break;
                }
            }
            kind = Kind::Number;
        } else {
            for (const char* op : kLong)
                if (s.compare(i, std::strlen(op), op) == 0) {
                    j = i + std::strlen(op);
                    break;
                }
        }
        out.push_back({kind, s.substr(i, j - i)});
        i = j;
    }
    return out;
}

bool solid(const GlslPiece& p) {
    return p.kind != GlslPiece::Kind::Blank && p.kind != GlslPiece::Kind::Comment;
}

} // namespace

GlslText::GlslText(const std::string& source) : pieces_(tokenize(source)) {
    refresh();
}

size_t GlslText::nextSolid(size_t i) const {
    for (++i; i < pieces_.size(); ++i)
        if (solid(pieces_[i])) return i;
    return pieces_.size();
}

size_t GlslText::previousSolid(size_t i) const {
    while (i-- > 0)
        if (solid(pieces_[i])) return i;
    return pieces_.size();
}

bool GlslText::isMember(size_t i) const {
    const size_t before = previousSolid(i);
    return before < pieces_.size() && pieces_[before].text == ".";
}

void GlslText::refresh() {
    names_.clear();
    symbols_.clear();
    for (size_t i = 0; i < pieces_.size(); ++i) {
        if (pieces_[i].kind == GlslPiece::Kind::Identifier && !isMember(i))
            names_.insert(pieces_[i].text);
        else if (pieces_[i].kind == GlslPiece::Kind::Symbol)
            symbols_.insert(pieces_[i].text);
    }
}

bool GlslText::calls(const std::string& name) const {
    for (size_t i = 0; i < pieces_.size(); ++i) {
        if (pieces_[i].kind != GlslPiece::Kind::Identifier || pieces_[i].text != name ||
            isMember(i))
            continue;
        const size_t open = nextSolid(i);
        if (open < pieces_.size() && pieces_[open].text == "(") return true;
    }
    return false;
}

size_t GlslText::occurrences(const std::string& name) const {
    size_t n = 0;
    for (size_t i = 0; i < pieces_.size(); ++i)
        if (pieces_[i].kind == GlslPiece::Kind::Identifier && pieces_[i].text == name &&
            !isMember(i))
            ++n;
    return n;
}

bool GlslText::usesSymbol(const std::string& symbol) const {
    return symbols_.count(symbol) != 0;
}

bool GlslText::defines(const std::string& name, int* line) const {
    int depth = 0;
    int lineNumber = 1;
    for (size_t i = 0; i < pieces_.size(); ++i) {
        const GlslPiece& p = pieces_[i];
        if (p.text == "{") ++depth;
        if (p.text == "}") --depth;
        if (depth == 0 && p.kind == GlslPiece::Kind::Identifier && p.text == name) {
            const size_t open = nextSolid(i);
            const size_t type = previousSolid(i);
            if (open < pieces_.size() && pieces_[open].text == "(" && type < pieces_.size() &&
                pieces_[type].kind == GlslPiece::Kind::Identifier) {
                if (line != nullptr) *line = lineNumber;
                return true;
            }
        }
        for (char c : p.text)
            if (c == '\n') ++lineNumber;
    }
    return false;
}

void GlslText::rename(const std::map<std::string, std::string>& names) {
    for (size_t i = 0; i < pieces_.size(); ++i) {
        if (pieces_[i].kind != GlslPiece::Kind::Identifier || isMember(i)) continue;
        const auto found = names.find(pieces_[i].text);
        if (found != names.end()) pieces_[i].text = found->second;
    }
    refresh();
}

void GlslText::renameCalls(const std::map<std::string, std::string>& names) {
    for (size_t i = 0; i < pieces_.size(); ++i) {
        if (pieces_[i].kind != GlslPiece::Kind::Identifier || isMember(i)) continue;
        const auto found = names.find(pieces_[i].text);
        if (found == names.end()) continue;
        const size_t open = nextSolid(i);
        if (open < pieces_.size() && pieces_[open].text == "(") pieces_[i].text = found->second;
    }
    refresh();
}

std::string GlslText::str() const {
    std::string out;
    for (const GlslPiece& p : pieces_)
        out += p.text;
    return out;
}

std::string GlslText::compact() const {
    std::string out;
    for (const GlslPiece& p : pieces_) {
        if (p.kind == GlslPiece::Kind::Comment) {
            // A comment between two tokens still parts them.
            out += std::string(size_t(std::count(p.text.begin(), p.text.end(), '\n')), '\n');
            if (p.text.find('\n') == std::string::npos) out += ' ';
        } else if (p.kind == GlslPiece::Kind::Blank) {
            const size_t breaks = size_t(std::count(p.text.begin(), p.text.end(), '\n'));
            out += breaks ? std::string(breaks, '\n') : " ";
        } else {
            out += p.text;
        }
    }
    return out;
}

LeadingDirectives takeLeadingDirectives(std::string& source) {
    LeadingDirectives found;
    size_t pos = 0;
    while (pos < source.size()) {
        size_t end = source.find('\n', pos);
        if (end == std::string::npos) end = source.size();
        size_t k = source.find_first_not_of(" \t\r", pos);
        if (k < end && source[k] == '#') {
            k = source.find_first_not_of(" \t", k + 1);
            const std::string line = source.substr(pos, end - pos);
            if (k < end && source.compare(k, 7, "version") == 0) {
                found.version = std::atoi(source.c_str() + k + 7);
                const size_t word = source.find_first_not_of(" \t0123456789", k + 7);
                if (word < end) {
                    size_t wordEnd = source.find_first_of(" \t\r/", word);
                    if (wordEnd > end) wordEnd = end;
                    found.profile = source.substr(word, wordEnd - word);
                }
                source.erase(pos, end - pos);
                end = pos;
            } else if (k < end && source.compare(k, 9, "extension") == 0) {
                found.extensions.push_back(line);
                source.erase(pos, end - pos);
                end = pos;
            }
        }
        pos = end + 1;
    }
    return found;
}

} // namespace glfx::import
