// The setters the 3D object types share are made by macros; each name they
// make must still be found by a search: written out beside every use.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <regex>
#include <set>
#include <sstream>
#include <string>

namespace {

std::string read_source(const std::string& rel)
{
    std::string dir = __FILE__;
    dir = dir.substr(0, dir.rfind("/tests/"));
    if (const char* s = std::getenv("QUORVEL_TEST_SOURCE_DIR")) dir = s;
    std::ifstream f(dir + "/" + rel);
    std::stringstream ss;
    ss << f.rdbuf();
    return ss.str();
}

// Every match of group 1 of `pattern` in `text`.
std::set<std::string> matches(const std::string& text, const std::string& pattern)
{
    std::set<std::string> out;
    const std::regex re(pattern);
    for (auto it = std::sregex_iterator(text.begin(), text.end(), re); it != std::sregex_iterator();
         ++it)
        out.insert((*it)[1]);
    return out;
}

// The comment lines right above the line where `use` first stands.
std::string comment_above(const std::string& text, const std::string& use)
{
    size_t end = text.find(use);
    if (end == std::string::npos) return {};
    end = text.rfind('\n', end);
    std::string comment;
    while (end != std::string::npos && end > 0) {
        const size_t begin = text.rfind('\n', end - 1);
        const std::string line = text.substr(begin + 1, end - begin - 1);
        if (line.rfind("//", 0) != 0) break;
        comment = line + "\n" + comment;
        if (begin == std::string::npos) break;
        end = begin;
    }
    return comment;
}

TEST(Obj3dFields, EveryNameTheSharedSettersMakeIsWrittenOutBesideEachUse)
{
    const std::string fields = read_source("obj3d/obj3d_fields.h");
    const size_t at = fields.find("#define OBJ3D_FIELDS_DECLARE(P)");
    ASSERT_NE(at, std::string::npos);
    const std::set<std::string> made =
        matches(fields.substr(at, fields.find("\n\n", at) - at), R"(P##_(\w+)\()");
    ASSERT_EQ(made.size(), 30u);
    for (const std::string type : {"mdlobj", "meshobj", "motobj", "attobj", "plist3d"}) {
        std::set<std::string> want;
        for (const std::string& n : made) want.insert(type + "_" + n);
        const std::pair<std::string, std::string> uses[] = {
            {"obj3d/" + type + ".h", "OBJ3D_FIELDS_DECLARE(" + type + ")"},
            {"obj3d/" + type + ".cpp", "OBJ3D_FIELDS_DEFINE(" + type + ","}};
        for (const auto& [file, use] : uses) {
            const std::string comment = comment_above(read_source(file), use);
            EXPECT_EQ(matches(comment, "\\b(" + type + "_\\w+)"), want) << file << ": " << use;
        }
    }
}

}  // namespace
