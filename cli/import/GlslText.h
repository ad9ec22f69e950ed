// GLSL source as the importer rewrites it: a token list that keeps every byte (blanks and
// comments included), so that renaming identifiers and rewriting calls leaves the author's lines
// and layout where they were.
#pragma once

#include <map>
#include <set>
#include <string>
#include <vector>

namespace glfx::import {

struct GlslPiece {
    enum class Kind { Identifier, Number, Symbol, Blank, Comment };
    Kind kind;
    std::string text;
};

class GlslText {
public:
    explicit GlslText(const std::string& source);

    // Every identifier that stands as a name of its own (not a member after "."), preprocessor
    // lines included.
    const std::set<std::string>& names() const { return names_; }
    bool uses(const std::string& name) const { return names_.count(name) != 0; }
    // How often `name` stands as a name of its own.
    size_t occurrences(const std::string& name) const;
    // `name` is followed by "(": a call or a function's definition.
    bool calls(const std::string& name) const;
    // The operator symbols that appear (e.g. "%", "<<", "&").
    bool usesSymbol(const std::string& symbol) const;
    // A function `name` is defined ("TYPE name(...) {"). `line` gets its 1-based line.
    bool defines(const std::string& name, int* line = nullptr) const;

    // Replaces each listed identifier (not members) by its new text.
    void rename(const std::map<std::string, std::string>& names);
    // Renames `name` where it is called (followed by "(") to `to`.
    void renameCalls(const std::map<std::string, std::string>& names);

    // For calls `head(ARG ...`: when ARG is one identifier, `replace` gets it and returns the text
    // that replaces "head(ARG" (and, with `closing`, the ")" right after ARG too); an empty
    // return leaves the call alone. Returns how many calls were left alone.
    template <class Replace>
    int rewriteCalls(const std::string& head, bool closing, Replace replace);

    std::string str() const;
    // The text without comments and without the blanks that start lines; every line break stays.
    std::string compact() const;

private:
    size_t nextSolid(size_t i) const;
    size_t previousSolid(size_t i) const;
    bool isMember(size_t i) const;
    void refresh();

    std::vector<GlslPiece> pieces_;
    std::set<std::string> names_;
    std::set<std::string> symbols_;
};

template <class Replace>
int GlslText::rewriteCalls(const std::string& head, bool closing, Replace replace) {
    int left = 0;
    for (size_t i = 0; i < pieces_.size(); ++i) {
        if (pieces_[i].kind != GlslPiece::Kind::Identifier || pieces_[i].text != head ||
            isMember(i))
            continue;
        const size_t open = nextSolid(i);
        if (open >= pieces_.size() || pieces_[open].text != "(") continue;
        const size_t arg = nextSolid(open);
        const size_t after = arg < pieces_.size() ? nextSolid(arg) : pieces_.size();
        const bool fits = arg < pieces_.size() &&
                          pieces_[arg].kind == GlslPiece::Kind::Identifier &&
                          after < pieces_.size() &&
                          (closing ? pieces_[after].text == ")" : pieces_[after].text == ",");
        const std::string text = fits ? replace(pieces_[arg].text) : std::string();
        if (text.empty()) {
            ++left;
            continue;
        }
        // The replaced pieces' line breaks stay, so the lines keep their numbers.
        std::string breaks;
        const size_t last = closing ? after : arg;
        for (size_t k = i; k <= last; ++k)
            for (char c : pieces_[k].text)
                if (c == '\n') breaks += '\n';
        pieces_[i] = {GlslPiece::Kind::Symbol, text + breaks};
        pieces_.erase(pieces_.begin() + long(i) + 1, pieces_.begin() + long(last) + 1);
    }
    refresh();
    return left;
}

// The directive lines that must come first in a shader ("#version", "#extension"), taken out of
// `source` (each replaced by an empty line, so that lines keep their numbers). `version` gets the
// number of the #version line (0 when none) and `profile` its profile word.
struct LeadingDirectives {
    int version = 0;
    std::string profile;
    std::vector<std::string> extensions; // whole lines
};
LeadingDirectives takeLeadingDirectives(std::string& source);

} // namespace glfx::import
