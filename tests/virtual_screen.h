// A virtual X server for tests of real windows and dialogs, and xdotool to find and answer
// them; tests using it skip themselves where Xvfb or xdotool is missing (x_tools_missing).
#pragma once
#include "child_proc.h"

#include <poll.h>

#include <chrono>
#include <cstdio>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

inline bool x_tools_missing(void)
{
    return std::system("command -v Xvfb >/dev/null && command -v xdotool >/dev/null") != 0;
}

// An X server without a window manager or compositor, as a bare desktop is: what a closed
// window leaves on the screen stays there until the window below draws it again. Its screen
// is a file, read without an X client. It never resets: by default the server resets when its
// last client leaves, and a program connecting during that reset (after one of the tests'
// short xdotool calls) finds no display and starts in its smallest window.
class VirtualScreen {
public:
    explicit VirtualScreen(const std::string& dir, const char* size = "800x600x24") : dir_(dir)
    {
        int fds[2];
        if (::pipe(fds) != 0) return;
        pid_ = ::fork();
        if (pid_ == 0) {
            ::close(fds[0]);
            const std::string fd = std::to_string(fds[1]);
            ::execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-screen", "0", size, "-fbdir",
                     dir.c_str(), "-nocursor", "-nolisten", "tcp", "-noreset",
                     static_cast<char*>(nullptr));
            ::_exit(127);
        }
        ::close(fds[1]);
        // The number comes once the server takes connections; the pipe stays open, since
        // the server fails when it cannot write all of it.
        from_server_ = fds[0];
        std::string number;
        pollfd p{from_server_, POLLIN, 0};
        char c = 0;
        while (::poll(&p, 1, 10000) == 1 && ::read(from_server_, &c, 1) == 1 && c != '\n')
            number += c;
        if (c == '\n' && !number.empty()) display_ = ":" + number;
    }
    ~VirtualScreen()
    {
        if (pid_ > 0 && ::kill(pid_, SIGTERM) == 0) finish_child(pid_, std::chrono::seconds(5));
        if (from_server_ >= 0) ::close(from_server_);
    }
    const std::string& display() const { return display_; }

    // The screen's pixels as 0xRRGGBB, row after row; empty when unreadable. The file is the
    // server's frame buffer in XWD form: a big-endian header, a colour map, then 32-bit pixels.
    std::vector<uint32_t> pixels(int* width) const
    {
        std::ifstream in(dir_ + "/Xvfb_screen0", std::ios::binary);
        const std::string b(std::istreambuf_iterator<char>(in), {});
        auto field = [&](size_t i) {
            uint32_t v = 0;
            for (size_t k = 0; k < 4 && 4 * i + k < b.size(); ++k)
                v = v << 8 | uint8_t(b[4 * i + k]);
            return v;
        };
        const size_t w = field(4), h = field(5), pitch = field(12);
        const size_t at = field(0) + size_t(field(19)) * 12;
        if (field(11) != 32 || b.size() < at + pitch * h) return {};
        std::vector<uint32_t> out(w * h);
        for (size_t y = 0; y < h; ++y) std::memcpy(&out[y * w], b.data() + at + y * pitch, w * 4);
        for (uint32_t& px : out) px &= 0xFFFFFFu;
        *width = int(w);
        return out;
    }

private:
    std::string dir_, display_;
    pid_t pid_ = -1;
    int from_server_ = -1;
};

struct ScreenRect {
    int x = 0, y = 0, w = 0, h = 0;
    long id = 0;  // the X window
    bool has(int px, int py) const { return px >= x && px < x + w && py >= y && py < y + h; }
};

// Runs xdotool on the display (bounded in time); its output.
inline std::string xdotool(const std::string& display, const std::string& args)
{
    const std::string cmd = "DISPLAY=" + display + " timeout 20 xdotool " + args + " 2>/dev/null";
    std::string out;
    if (FILE* p = ::popen(cmd.c_str(), "r")) {
        char buf[256];
        while (std::fgets(buf, sizeof buf, p)) out += buf;
        ::pclose(p);
    }
    return out;
}

template <typename F>
bool within_seconds(int seconds, F ready)
{
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    for (;;) {
        if (ready()) return true;
        if (std::chrono::steady_clock::now() >= end) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
}

// Waits for a shown window of that exact title; its place on the screen. Each shown window's
// name is compared here: xdotool's name search reads only the Latin-1 name, which GTK leaves
// unset for a title such as a Japanese one. The search is repeated: xdotool gives up when a
// window goes away while it looks through them.
inline bool find_window(const std::string& display, const std::string& title, ScreenRect* r,
                        int seconds = 20)
{
    return within_seconds(seconds, [&] {
        std::istringstream shown(xdotool(display, "search --onlyvisible --name ''"));
        for (std::string id; shown >> id;) {
            if (xdotool(display, "getwindowname " + id) != title + "\n") continue;
            const std::string out = xdotool(display, "getwindowgeometry --shell " + id);
            if (std::sscanf(out.c_str(), "WINDOW=%ld X=%d Y=%d WIDTH=%d HEIGHT=%d", &r->id, &r->x,
                            &r->y, &r->w, &r->h) == 5 &&
                r->w > 0 && r->h > 0)
                return true;
        }
        return false;
    });
}
