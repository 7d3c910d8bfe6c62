// Macros that paste names (`P##_set_blend`) hide them from a search, so every
// use of one in the engine has the names it makes written out in the comment
// right above it; this reads the engine's sources and holds those lists to
// what the macros really make, nested macros included.
#include <gtest/gtest.h>

#include "test_files.h"

#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

bool word_char(char c) { return std::isalnum(static_cast<unsigned char>(c)) || c == '_'; }

// The identifiers of `text`, in order.
std::vector<std::string> words(const std::string& text)
{
    std::vector<std::string> out;
    for (size_t i = 0; i < text.size();) {
        if (!word_char(text[i])) {
            ++i;
            continue;
        }
        size_t j = i;
        while (j < text.size() && word_char(text[j])) ++j;
        if (!std::isdigit(static_cast<unsigned char>(text[i])))
            out.push_back(text.substr(i, j - i));
        i = j;
    }
    return out;
}

std::string trim(const std::string& s)
{
    const size_t b = s.find_first_not_of(" \t\n");
    return b == std::string::npos ? "" : s.substr(b, s.find_last_not_of(" \t\n") - b + 1);
}

// The arguments of the call whose '(' stands at `open`, split at its own
// commas; `end` gets the position after its ')'.
std::vector<std::string> call_args(const std::string& text, size_t open, size_t* end)
{
    std::vector<std::string> args(1);
    int depth = 0;
    for (size_t i = open; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '(' && depth++ == 0) continue;
        if (c == ')' && --depth == 0) {
            if (end) *end = i + 1;
            for (std::string& a : args) a = trim(a);
            return args;
        }
        if (c == ',' && depth == 1)
            args.emplace_back();
        else
            args.back() += c;
    }
    return {};
}

struct Macro {
    std::vector<std::string> params;  // "..." stands as __VA_ARGS__
    std::string body;
};
using Macros = std::map<std::string, Macro>;

struct Source {
    std::string path;  // relative to the source folder
    std::vector<std::string> lines;
};

// Every engine source, from the folders of the layer table.
std::vector<Source> engine_sources()
{
    const fs::path root = test_source_dir();
    std::istringstream table(test_file_text(root / "cmake/layers.txt"));
    std::vector<Source> out;
    for (std::string line; std::getline(table, line);) {
        const std::vector<std::string> w = words(line.substr(0, line.find('#')));
        for (size_t k = 1; k < w.size(); ++k) {
            if (!fs::is_directory(root / w[k])) continue;
            for (const auto& e : fs::directory_iterator(root / w[k])) {
                const std::string ext = e.path().extension().string();
                if (ext != ".h" && ext != ".cpp") continue;
                Source s{fs::relative(e.path(), root).string(), {}};
                std::istringstream text(test_file_text(e.path()));
                for (std::string l; std::getline(text, l);) s.lines.push_back(l);
                out.push_back(std::move(s));
            }
        }
    }
    return out;
}

// The function-like macro defined from line `i` on (its continuations
// joined), or false; `i` moves to the definition's last line.
bool read_define(const Source& s, size_t& i, std::string* name, Macro* m)
{
    const std::string head = trim(s.lines[i]);
    if (head.rfind("#define", 0) != 0) return false;
    std::string text = head;
    while (!text.empty() && text.back() == '\\' && i + 1 < s.lines.size())
        text.pop_back(), text += " " + s.lines[++i];
    size_t at = 7;
    while (at < text.size() && text[at] == ' ') ++at;
    size_t open = at;
    while (open < text.size() && word_char(text[open])) ++open;
    if (open >= text.size() || text[open] != '(') return true;  // object-like
    *name = text.substr(at, open - at);
    size_t end = 0;
    m->params = call_args(text, open, &end);
    for (std::string& p : m->params)
        if (p == "...") p = "__VA_ARGS__";
    m->body = text.substr(end);
    return true;
}

Macros engine_macros(const std::vector<Source>& sources)
{
    Macros out;
    for (const Source& s : sources)
        for (size_t i = 0; i < s.lines.size(); ++i) {
            std::string name;
            Macro m;
            if (read_define(s, i, &name, &m) && !name.empty()) out[name] = m;
        }
    return out;
}

// Each parameter of m with its argument; the variable part takes the rest.
std::map<std::string, std::string> bind_args(const Macro& m, const std::vector<std::string>& args)
{
    std::map<std::string, std::string> out;
    for (size_t k = 0; k < m.params.size(); ++k) {
        std::string a = k < args.size() ? args[k] : "";
        for (size_t rest = k + 1; m.params[k] == "__VA_ARGS__" && rest < args.size(); ++rest)
            a += ", " + args[rest];
        out[m.params[k]] = a;
    }
    return out;
}

struct Token {
    std::string text;
    bool pasted;  // made by ##
};

// The body of m as tokens, its parameters replaced; a ## joins its neighbours
// into one.
std::vector<Token> expand_body(const Macro& m, const std::vector<std::string>& args)
{
    const std::map<std::string, std::string> arg_of = bind_args(m, args);
    std::vector<Token> out;
    bool paste = false;
    for (size_t i = 0; i < m.body.size();) {
        if (m.body.compare(i, 2, "##") == 0) {
            paste = true, i += 2;
            continue;
        }
        if (m.body[i] == ' ' || m.body[i] == '\t') {
            ++i;
            continue;
        }
        size_t j = i + 1;
        while (word_char(m.body[i]) && j < m.body.size() && word_char(m.body[j])) ++j;
        std::string t = m.body.substr(i, j - i);
        if (auto it = arg_of.find(t); it != arg_of.end()) t = it->second;
        i = j;
        if (paste && !out.empty())
            out.back().text += t, out.back().pasted = true;
        else
            out.push_back({t, false});
        paste = false;
    }
    return out;
}

// The names pasted together in the expansion of name(args), with those of the
// macros it uses.
void pasted_names(const Macros& macros, const std::string& name,
                  const std::vector<std::string>& args, std::set<std::string>& out)
{
    const std::vector<Token> tokens = expand_body(macros.at(name), args);
    std::string text;
    std::vector<size_t> at;
    for (const Token& t : tokens) {
        at.push_back(text.size());
        text += t.text + " ";
        if (t.pasted) out.insert(t.text);
    }
    for (size_t i = 0; i + 1 < tokens.size(); ++i)
        if (macros.count(tokens[i].text) && tokens[i + 1].text == "(")
            pasted_names(macros, tokens[i].text, call_args(text, at[i + 1], nullptr), out);
}

// The comment lines right above line `at`.
std::string comment_above(const Source& s, size_t at)
{
    std::string comment;
    while (at > 0 && trim(s.lines[at - 1]).rfind("//", 0) == 0)
        comment = s.lines[--at] + "\n" + comment;
    return comment;
}

std::string common_prefix(const std::set<std::string>& names)
{
    std::string p = *names.begin();
    for (const std::string& n : names)
        while (n.rfind(p, 0) != 0) p.pop_back();
    return p.substr(0, p.rfind('_') + 1);
}

struct Use {
    std::string where;  // path:line
    std::set<std::string> made, written;
};

// Every use of a name-pasting macro outside a definition, with what it makes
// and the names of that shape written above it.
std::vector<Use> pasting_uses(const std::vector<Source>& sources, const Macros& macros)
{
    std::vector<Use> out;
    for (const Source& s : sources)
        for (size_t i = 0; i < s.lines.size(); ++i) {
            std::string skip;
            Macro unused;
            if (read_define(s, i, &skip, &unused)) continue;
            const std::string line = trim(s.lines[i]);
            const size_t open = line.find('(');
            if (open == std::string::npos || !macros.count(line.substr(0, open))) continue;
            std::string text = line;
            for (size_t k = i + 1; k < s.lines.size() && k < i + 8; ++k) text += "\n" + s.lines[k];
            Use u{s.path + ":" + std::to_string(i + 1), {}, {}};
            pasted_names(macros, line.substr(0, open), call_args(text, open, nullptr), u.made);
            if (u.made.empty()) continue;
            const std::string prefix = common_prefix(u.made);
            for (const std::string& w : words(comment_above(s, i)))
                if (w.rfind(prefix, 0) == 0) u.written.insert(w);
            out.push_back(std::move(u));
        }
    return out;
}

class PastedNames : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        sources_ = engine_sources();
        uses_ = pasting_uses(sources_, engine_macros(sources_));
    }
    static std::vector<Source> sources_;
    static std::vector<Use> uses_;
};
std::vector<Source> PastedNames::sources_;
std::vector<Use> PastedNames::uses_;

TEST_F(PastedNames, EveryNameAMacroMakesIsWrittenOutAboveEachUseAndStandsInAHeaderAndASourceFile)
{
    std::set<std::string> all;
    for (const Use& u : uses_) {
        EXPECT_EQ(u.written, u.made) << u.where;
        all.insert(u.made.begin(), u.made.end());
    }
    // The scan reaches each family: the 3D objects' shared setters and hit
    // operations, the owners' attachment lists, the sprites and the cameras.
    for (const char* name : {"mdlobj_set_depth_sort", "plist3d_set_shader_m44", "meshobj_hit_id",
                             "attobj_set_hit_auto", "motobj_detach_all", "qspr_bb_set_blend",
                             "qspr_quad_set_param_matrix", "qspr_quad_uv2_3", "qspr_beam_end1",
                             "qspr_bb_get_uv2_vmax", "cam_get_proj_mtx", "cam_get_sub2_frustum"})
        EXPECT_TRUE(all.count(name)) << name;
    // A search for a made name finds where it is declared and where it is defined.
    std::set<std::string> in_headers, in_sources;
    for (const Source& s : sources_) {
        std::set<std::string>& seen = s.path.ends_with(".h") ? in_headers : in_sources;
        for (const std::string& l : s.lines)
            for (const std::string& w : words(l)) seen.insert(w);
    }
    for (const Use& u : uses_)
        for (const std::string& n : u.made) {
            EXPECT_TRUE(in_headers.count(n)) << n << " (" << u.where << ") in no header";
            EXPECT_TRUE(in_sources.count(n)) << n << " (" << u.where << ") in no source file";
        }
}

}  // namespace
