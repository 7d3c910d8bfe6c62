// The data description's reader (see qv_desc.h): the line parser that turns a description into
// group files and texture-list categories through qv_writer, and the writer of their files.
#include "tools/qv_desc.h"

#include <charconv>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <vector>

namespace qvw {

namespace {

constexpr uint32_t QV_DESC_MAX_IMAGE_SIDE = 4096;

struct Parser {
    const DataSet& prior;  // descriptions built before this one
    DataSet out;           // this description's files and categories
    std::string base_dir;
    std::string group;            // current group file ("" = none)
    Bytes file;                   // its chunks so far
    std::vector<CropDesc> crops;  // pending CROP chunk
    bool in_model = false;
    ModelDesc model;
    std::string err;

    Parser(const DataSet& p, std::string base) : prior(p), base_dir(std::move(base)) {}

    bool fail(const std::string& e)
    {
        err = e;
        return false;
    }

    static bool to_f(const std::string& s, float& v)
    {
        auto r = std::from_chars(s.data(), s.data() + s.size(), v);
        return r.ec == std::errc() && r.ptr == s.data() + s.size();
    }
    static bool to_u(const std::string& s, uint32_t& v, int base = 10)
    {
        auto r = std::from_chars(s.data(), s.data() + s.size(), v, base);
        return r.ec == std::errc() && r.ptr == s.data() + s.size();
    }
    bool floats(const std::vector<std::string>& t, size_t from, size_t n, float* v)
    {
        if (t.size() < from + n) return fail("too few numbers");
        for (size_t i = 0; i < n; i++)
            if (!to_f(t[from + i], v[i])) return fail("bad number '" + t[from + i] + "'");
        return true;
    }
    static bool side_ok(uint32_t v) { return v >= 1 && v <= QV_DESC_MAX_IMAGE_SIDE; }
    bool checker(const std::vector<std::string>& t, size_t from, Bytes& png, int& w, int& h)
    {
        uint32_t uw, uh, a, b;
        if (t.size() != from + 4 || !to_u(t[from], uw) || !to_u(t[from + 1], uh) ||
            !to_u(t[from + 2], a, 16) || !to_u(t[from + 3], b, 16) || !side_ok(uw) || !side_ok(uh))
            return fail("checker needs <w> <h> <argb> <argb>");
        w = int(uw);
        h = int(uh);
        png = png_checker(w, h, a, b);
        return true;
    }
    bool read_file(const std::string& rel, Bytes& bytes)
    {
        std::ifstream f(std::filesystem::path(base_dir) / rel, std::ios::binary);
        if (!f) return fail("cannot read " + rel);
        bytes.assign(std::istreambuf_iterator<char>(f), {});
        return true;
    }
    // A PNG copied as it is, its size from its IHDR.
    bool png_file(const std::string& rel, Bytes& png, int& w, int& h)
    {
        uint32_t uw, uh;
        std::string why;
        if (!read_file(rel, png)) return false;
        if (!png_size(png, uw, uh, &why)) return fail(rel + ": " + why);
        if (!side_ok(uw) || !side_ok(uh))
            return fail(rel + ": size " + std::to_string(uw) + " x " + std::to_string(uh) +
                        " is outside 1 to " + std::to_string(QV_DESC_MAX_IMAGE_SIDE));
        w = int(uw);
        h = int(uh);
        return true;
    }
    bool category_defined(const std::string& name) const
    {
        for (const auto* cats : {&prior.cats, &out.cats})
            for (const TexLstCatDesc& c : *cats)
                if (c.name == name) return true;
        return false;
    }

    void flush_crops()
    {
        if (crops.empty()) return;
        file_add_chunk(file, MAGIC_CROP, crop_chunk(crops));
        crops.clear();
    }
    void flush_group()
    {
        flush_crops();
        if (!group.empty()) out.files["grp/" + group + ".bin"] = file;
        group.clear();
        file.clear();
    }
    bool need_group() { return group.empty() ? fail("no 'grp' before this line") : true; }

    bool model_line(const std::vector<std::string>& t)
    {
        if (t[0] == "end") {
            Bytes data;
            std::string why;
            if (!model_chunk(model, data, &why)) return fail("model " + model.name + ": " + why);
            file_add_chunk(file, MAGIC_MODEL, data);
            in_model = false;
            return true;
        }
        if (t[0] == "v") {
            ModelVertex v;
            size_t at = 1;
            if (!floats(t, at, 3, v.pos.data())) return false;
            at += 3;
            if (model.has_normals && !floats(t, at, 3, v.nrm.data())) return false;
            at += model.has_normals ? 3 : 0;
            if (model.has_uvs && !floats(t, at, 2, v.uv.data())) return false;
            at += model.has_uvs ? 2 : 0;
            if (model.has_colors && (t.size() <= at || !to_u(t[at], v.color, 16)))
                return fail("bad colour");
            at += model.has_colors ? 1 : 0;
            if (t.size() != at) return fail("too many values");
            model.verts.push_back(v);
            return true;
        }
        if (t[0] == "tri") {
            uint32_t c[3];
            if (t.size() != 4 || !to_u(t[1], c[0]) || !to_u(t[2], c[1]) || !to_u(t[3], c[2]))
                return fail("tri needs three vertex numbers");
            model.corners.insert(model.corners.end(), c, c + 3);
            return true;
        }
        if (t[0] == "subset") {
            ModelSubset s;
            if (t.size() != 4 || !to_u(t[2], s.first) || !to_u(t[3], s.last))
                return fail("subset needs <texture> <first> <last>");
            s.texture = t[1] == "-" ? "" : t[1];
            model.subsets.push_back(s);
            return true;
        }
        return fail("unknown model line '" + t[0] + "'");
    }

    bool line(const std::vector<std::string>& t)
    {
        if (in_model) return model_line(t);
        const std::string& k = t[0];
        if (k == "grp") {
            if (t.size() != 2) return fail("grp needs a name");
            flush_group();
            group = t[1];
            return true;
        }
        if (k != "crop") flush_crops();
        if (k == "texture") {
            if (!need_group()) return false;
            if (t.size() < 3) return fail("texture needs a name and a source");
            Bytes img;
            int w, h;
            if (t[2] == "checker") {
                if (!checker(t, 3, img, w, h)) return false;
            } else if (t[2] == "file" && t.size() == 4) {
                if (!read_file(t[3], img)) return false;
            } else {
                return fail("texture source must be 'checker' or 'file'");
            }
            file_add_chunk(file, MAGIC_TEX, tex_chunk(t[1], img));
            return true;
        }
        if (k == "model") {
            if (!need_group()) return false;
            if (t.size() < 2) return fail("model needs a name");
            model = ModelDesc{};
            model.name = t[1];
            model.has_normals = false;
            for (size_t i = 2; i < t.size(); i++) {
                if (t[i] == "n")
                    model.has_normals = true;
                else if (t[i] == "t")
                    model.has_uvs = true;
                else if (t[i] == "c")
                    model.has_colors = true;
                else
                    return fail("unknown attribute '" + t[i] + "'");
            }
            in_model = true;
            return true;
        }
        if (k == "crop") {
            if (!need_group()) return false;
            CropDesc c;
            if (t.size() != 7) return fail("crop needs <name> <texture> <u> <v> <w> <h>");
            c.name = t[1];
            c.texture = t[2];
            float f[4];
            if (!floats(t, 3, 4, f)) return false;
            c.u = f[0], c.v = f[1], c.w = f[2], c.h = f[3];
            crops.push_back(c);
            return true;
        }
        if (k == "category") {
            if (t.size() != 2) return fail("category needs a name");
            if (category_defined(t[1])) return fail("category '" + t[1] + "' is defined twice");
            out.cats.push_back({t[1], {}});
            return true;
        }
        if (k == "image") {
            if (out.cats.empty()) return fail("image before any category");
            TexLstTexDesc x;
            x.file = t[1];
            Bytes png;
            if (t.size() == 7 && t[2] == "checker") {
                if (!checker(t, 3, png, x.width, x.height)) return false;
            } else if (t.size() == 4 && t[2] == "file") {
                if (!png_file(t[3], png, x.width, x.height)) return false;
            } else {
                return fail(
                    "image needs <file> checker <w> <h> <argb> <argb>, or <file> file <path>");
            }
            out.files["texture/" + x.file] = std::move(png);
            out.cats.back().textures.push_back(std::move(x));
            return true;
        }
        if (k == "tcrop") {
            if (out.cats.empty() || out.cats.back().textures.empty())
                return fail("tcrop before any image");
            if (t.size() != 6) return fail("tcrop needs <name> <x> <y> <w> <h>");
            TexLstCropDesc c;
            c.name = t[1];
            float f[4];
            if (!floats(t, 2, 4, f)) return false;
            c.x = f[0], c.y = f[1], c.w = f[2], c.h = f[3];
            out.cats.back().textures.back().crops.push_back(c);
            return true;
        }
        return fail("unknown line '" + k + "'");
    }
};

}  // namespace

bool desc_build(const std::string& text, const std::string& base_dir, DataSet& out,
                std::string* why)
{
    Parser p(out, base_dir);
    std::istringstream in(text);
    std::string raw;
    int number = 0;
    while (std::getline(in, raw)) {
        number++;
        if (auto hash = raw.find('#'); hash != std::string::npos) raw.erase(hash);
        std::istringstream words(raw);
        std::vector<std::string> t;
        for (std::string w; words >> w;) t.push_back(w);
        if (t.empty()) continue;
        if (!p.line(t)) {
            if (why) *why = "line " + std::to_string(number) + ": " + p.err;
            return false;
        }
    }
    if (p.in_model) {
        if (why) *why = "model without 'end'";
        return false;
    }
    p.flush_group();
    // Only a description that built whole joins the set.
    for (auto& [rel, bytes] : p.out.files) out.files[rel] = std::move(bytes);
    for (auto& c : p.out.cats) out.cats.push_back(std::move(c));
    if (!out.cats.empty()) {
        std::string s = texlst_text(out.cats);
        out.files["texture/tex.lst"] = Bytes(s.begin(), s.end());
    }
    return true;
}

bool desc_build_files(const std::vector<std::string>& paths, DataSet& out, std::string* why)
{
    for (const std::string& path : paths) {
        std::ifstream f(path, std::ios::binary);
        if (!f) {
            if (why) *why = "cannot read " + path;
            return false;
        }
        std::string text(std::istreambuf_iterator<char>(f), {});
        std::string reason;
        if (!desc_build(text, std::filesystem::path(path).parent_path().string(), out, &reason)) {
            if (why) *why = path + ": " + reason;
            return false;
        }
    }
    return true;
}

bool dataset_write(const DataSet& set, const std::string& out_dir, std::string* why)
{
    namespace fs = std::filesystem;
    for (const auto& [rel, bytes] : set.files) {
        fs::path path = fs::path(out_dir) / rel;
        std::error_code ec;
        fs::create_directories(path.parent_path(), ec);
        std::ofstream f(path, std::ios::binary);
        if (!f ||
            !f.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()))) {
            if (why) *why = "cannot write " + path.string();
            return false;
        }
    }
    return true;
}

}  // namespace qvw
