// What a damaged data set may hold in place of a file: a folder, a named pipe,
// a link to an endless device, a file over the data-file ceiling, an image
// whose header announces more pixels than any texture takes, or a texture
// list naming many small files that each decode to a picture of 256 MB.
#pragma once
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <zlib.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "store/settings.h"
#include "plat/byte_order.h"
#include "plat/files.h"

enum class Hostile { folder, pipe, endless, oversized, huge_png, many_large_pngs };

inline const char* hostile_name(Hostile kind)
{
    constexpr const char* HOSTILE_FILES_NAMES[] = {"folder",    "pipe",     "endless",
                                                   "oversized", "huge_png", "many_large_pngs"};
    return HOSTILE_FILES_NAMES[int(kind)];
}

// An RGBA PNG file of w x h pixels around the given image data.
inline std::vector<uint8_t> png_file(uint32_t w, uint32_t h, const std::vector<uint8_t>& idat)
{
    std::vector<uint8_t> out = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
    auto put32 = [&](uint32_t v) {
        uint8_t word[4];
        plat_be_put32(word, v);
        out.insert(out.end(), word, word + 4);
    };
    auto chunk = [&](const char* type, const std::vector<uint8_t>& data) {
        put32(uint32_t(data.size()));
        const size_t from = out.size();
        out.insert(out.end(), type, type + 4);
        out.insert(out.end(), data.begin(), data.end());
        put32(crc32_table(&out[from], out.size() - from));
    };
    std::vector<uint8_t> ihdr = {0, 0, 0, 0, 0, 0, 0, 0, 8, 6, 0, 0, 0};  // 8-bit RGBA
    plat_be_put32(&ihdr[0], w);
    plat_be_put32(&ihdr[4], h);
    chunk("IHDR", ihdr);
    chunk("IDAT", idat);
    chunk("IEND", {});
    return out;
}

// A PNG announcing w x h RGBA pixels, followed by a megabyte of data that
// only looks compressed: enough for the size to be plausible for the file,
// so that nothing but the pixel count refuses it.
inline std::vector<uint8_t> huge_png(uint32_t w, uint32_t h)
{
    return png_file(w, h, std::vector<uint8_t>(1u << 20, 0));
}

// A valid w x h RGBA PNG of one colour: deflated, a picture of 8000 x 8000
// (256 MB decoded) is a file of about 250 KB.
inline std::vector<uint8_t> flat_large_png(uint32_t w, uint32_t h)
{
    std::vector<uint8_t> row(1 + size_t(w) * 4, 0x80), idat(1u << 16);
    row[0] = 0;  // no filter
    z_stream z{};
    deflateInit(&z, Z_BEST_COMPRESSION);
    for (uint32_t y = 0; y < h; ++y) {
        const int flush = y + 1 == h ? Z_FINISH : Z_NO_FLUSH;
        z.next_in = row.data();
        z.avail_in = uInt(row.size());
        int r = Z_OK;
        do {
            if (z.total_out == idat.size()) idat.resize(idat.size() * 2);
            z.next_out = idat.data() + z.total_out;
            z.avail_out = uInt(idat.size() - z.total_out);
            r = deflate(&z, flush);
        } while (z.avail_in > 0 || (flush == Z_FINISH && r != Z_STREAM_END));
    }
    idat.resize(z.total_out);
    deflateEnd(&z);
    return png_file(w, h, idat);
}

// Sixteen 8000 x 8000 PNGs beside the texture list at `path`, each listed
// under its last category.
inline bool list_large_pngs(const std::string& path)
{
    const std::filesystem::path folder = std::filesystem::path(path).parent_path();
    const std::vector<uint8_t> png = flat_large_png(8000, 8000);
    std::ofstream list(path, std::ios::app);
    list << "\n";  // in case the list's last line has no end
    for (int i = 1; i <= 16; ++i) {
        const std::string name = "large" + std::to_string(i) + ".png";
        std::ofstream(folder / name, std::ios::binary)
            .write(reinterpret_cast<const char*>(png.data()), std::streamsize(png.size()));
        list << "tex " << name << "\n";
    }
    return bool(list);
}

// Puts the hostile kind at path in place of whatever was there; true when made.
// The oversized file is sparse, so it costs no disk.
inline bool make_hostile(const std::string& path, Hostile kind)
{
    if (kind == Hostile::many_large_pngs) return list_large_pngs(path);  // keeps the list's text
    std::error_code ec;
    std::filesystem::remove_all(path, ec);
    switch (kind) {
    case Hostile::folder: return std::filesystem::create_directory(path, ec);
    case Hostile::pipe: return ::mkfifo(path.c_str(), 0644) == 0;
    case Hostile::endless: return ::symlink("/dev/zero", path.c_str()) == 0;
    case Hostile::oversized: {
        const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        const bool made = fd >= 0 && ::ftruncate(fd, off_t(PLAT_DATA_FILE_MAX + 1)) == 0;
        if (fd >= 0) ::close(fd);
        return made;
    }
    case Hostile::huge_png: {
        const std::vector<uint8_t> png = huge_png(16384, 16384);
        std::ofstream(path, std::ios::binary)
            .write(reinterpret_cast<const char*>(png.data()), std::streamsize(png.size()));
        return std::filesystem::file_size(path, ec) == png.size();
    }
    case Hostile::many_large_pngs: break;
    }
    return false;
}
