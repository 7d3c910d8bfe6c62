// The built-in background picture, computed pixel by pixel: noise, sky, mountain ranges, lake,
// shore trees and meadow (see background_image.h).
#include "tools/gen/background_image.h"

#include "tools/gen/image_file.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

namespace {

struct Rgb {
    double r, g, b;
};

Rgb operator+(Rgb a, Rgb b) { return {a.r + b.r, a.g + b.g, a.b + b.b}; }
Rgb operator*(Rgb a, double s) { return {a.r * s, a.g * s, a.b * s}; }

double clamp01(double x) { return x < 0 ? 0 : (x > 1 ? 1 : x); }
double mix(double a, double b, double t) { return a + (b - a) * t; }
Rgb mix(Rgb a, Rgb b, double t) { return a + (b + a * -1.0) * t; }

double smoothstep(double e0, double e1, double x)
{
    const double t = clamp01((x - e0) / (e1 - e0));
    return t * t * (3 - 2 * t);
}

uint32_t hash3(int32_t x, int32_t y, uint32_t seed)
{
    uint32_t h = uint32_t(x) * 0x8DA6B343u ^ uint32_t(y) * 0xD8163841u ^ seed * 0xCB1AB31Fu;
    h ^= h >> 13;
    h *= 0x5BD1E995u;
    h ^= h >> 15;
    h *= 0x27D4EB2Du;
    h ^= h >> 16;
    return h;
}

double hash01(int32_t x, int32_t y, uint32_t seed)
{
    return hash3(x, y, seed) * (1.0 / 4294967296.0);
}

// Value noise in 0..1 with smooth interpolation between lattice points.
double value_noise(double x, double y, uint32_t seed)
{
    const double fx = std::floor(x), fy = std::floor(y);
    const int32_t ix = int32_t(fx), iy = int32_t(fy);
    double tx = x - fx, ty = y - fy;
    tx = tx * tx * (3 - 2 * tx);
    ty = ty * ty * (3 - 2 * ty);
    const double a = hash01(ix, iy, seed), b = hash01(ix + 1, iy, seed);
    const double c = hash01(ix, iy + 1, seed), d = hash01(ix + 1, iy + 1, seed);
    return mix(mix(a, b, tx), mix(c, d, tx), ty);
}

// Fractal sum of octaves, normalised to 0..1.
double fbm(double x, double y, int octaves, uint32_t seed)
{
    double sum = 0, amp = 0.5, norm = 0;
    for (int i = 0; i < octaves; ++i) {
        sum += amp * value_noise(x, y, seed + uint32_t(i) * 101u);
        norm += amp;
        amp *= 0.5;
        x = x * 2.03 + 17.1;
        y = y * 2.03 + 5.7;
    }
    return sum / norm;
}

// Sharp-crested variant for mountain ridges.
double ridged(double x, uint32_t seed, int octaves)
{
    double sum = 0, amp = 0.5, norm = 0;
    for (int i = 0; i < octaves; ++i) {
        const double n = value_noise(x, 0.5, seed + uint32_t(i) * 31u);
        const double r = 1 - std::fabs(2 * n - 1);
        sum += amp * r * r;
        norm += amp;
        amp *= 0.5;
        x = x * 2.1 + 3.3;
    }
    return sum / norm;
}

// ---- scene layout (u, v in 0..1, v downwards) ----
constexpr double horizon_v = 0.62;
constexpr double sun_u = 0.70, sun_v = 0.40, sun_radius = 0.032;

const Rgb sky_top{0.16, 0.30, 0.58};
const Rgb sky_mid{0.45, 0.62, 0.85};
const Rgb sky_low{0.98, 0.82, 0.62};
const Rgb sun_colour{1.00, 0.96, 0.82};

Rgb sky_gradient(double v)
{
    const double t = clamp01(v / horizon_v);
    return t < 0.55 ? mix(sky_top, sky_mid, t / 0.55)
                    : mix(sky_mid, sky_low, smoothstep(0.55, 1.0, t));
}

Rgb sky(double u, double v)
{
    Rgb c = sky_gradient(v);

    const double du = (u - sun_u) * 1.0, dv = (v - sun_v) * 1.25;
    const double d2 = du * du + dv * dv;
    const double glow = 0.55 / (1 + d2 * 60) + 0.35 / (1 + d2 * 900);
    c = c + Rgb{1.0, 0.78, 0.50} * glow * 0.55;

    // Clouds: stretched fractal noise, thinning towards the horizon, lit
    // warm on the sun side and grey-violet underneath.
    const double n = fbm(u * 3.2, v * 9.0, 6, 7);
    const double band = smoothstep(0.05, 0.18, v) * (1 - smoothstep(0.30, 0.50, v));
    const double density = smoothstep(0.50, 0.78, n) * band;
    if (density > 0) {
        const double shade = fbm(u * 3.2, (v - 0.012) * 9.0, 4, 7);
        const double lit = clamp01(0.5 + (n - shade) * 4.5);
        const Rgb cloud =
            mix(Rgb{0.62, 0.58, 0.72}, Rgb{1.0, 0.92, 0.84}, lit) + Rgb{0.25, 0.15, 0.05} * glow;
        c = mix(c, cloud, density * 0.92);
    }

    const double su = u - sun_u, sv = v - sun_v;
    const double sd = std::sqrt(su * su + sv * sv);
    c = mix(c, sun_colour, 1 - smoothstep(sun_radius * 0.9, sun_radius, sd));
    return c;
}

struct Range {
    double top, depth;  // highest crest (v) and crest amplitude
    double freq;        // crest frequency across the picture
    uint32_t seed;
    Rgb shade, lit;      // slopes away from and towards the sun, before haze
    double haze_amount;  // 0 near, 1 lost in the haze
    double snow;         // 0: a forested range; otherwise snow depth below the crest
};

const Range ranges[] = {
    {0.315, 0.19, 2.2, 11, {0.30, 0.32, 0.48}, {0.74, 0.62, 0.60}, 0.30, 0.045},
    {0.440, 0.12, 3.1, 23, {0.22, 0.25, 0.38}, {0.58, 0.50, 0.48}, 0.20, 0.022},
    {0.520, 0.065, 5.0, 37, {0.11, 0.21, 0.20}, {0.22, 0.34, 0.26}, 0.28, 0.0},
    {0.570, 0.042, 9.0, 53, {0.06, 0.15, 0.10}, {0.14, 0.27, 0.14}, 0.10, 0.0},
};
constexpr int range_count = int(sizeof ranges / sizeof ranges[0]);

double crest_height(const Range& r, double u)
{
    if (r.snow == 0)  // forested ranges: rounded hills with a ragged tree line
        return r.top + r.depth * (1 - fbm(u * r.freq, 0.3, 3, r.seed) * 0.85 -
                                  value_noise(u * 260, 1.5, r.seed) * 0.06 -
                                  value_noise(u * 90, 2.5, r.seed) * 0.09);
    return r.top + r.depth * (1 - ridged(u * r.freq, r.seed, 6));
}

// Crest lines depend on u only: sampled once per picture and interpolated,
// which keeps the picture fast to make.
constexpr int crest_samples = 4096;

struct Crests {
    std::vector<double> v[range_count];

    Crests()
    {
        for (int i = 0; i < range_count; ++i) {
            v[i].resize(crest_samples + 2);
            for (int s = 0; s < crest_samples + 2; ++s)
                v[i][s] = crest_height(ranges[i], double(s) / crest_samples);
        }
    }

    double at(int range, double u) const
    {
        const double x = clamp01(u) * crest_samples;
        const int s = int(x);
        return mix(v[range][s], v[range][s + 1], x - s);
    }
};

// Light on a mountain side. The sun stands to the right, so slopes that fall
// away to the right face it. The crest slope is averaged over a window that
// widens with depth below the crest: sharp facets at the top, broad flanks
// further down. A ridged relief adds gullies.
double rock_light(const Range& r, const Crests& crests, int range, double u, double v, double below)
{
    const double w = 0.003 + below * 0.6;
    const double slope = (crests.at(range, u + w) - crests.at(range, u - w)) / (2 * w);
    const double fx = u * r.freq * 5, fy = v * r.freq * 3;
    const double gully =
        ridged(fx + fy * 0.8, r.seed + 3, 3) - ridged(fx - fy * 0.8, r.seed + 4, 3);
    return clamp01(smoothstep(-0.5, 0.5, slope) * 0.85 + 0.08 + gully * 0.25);
}

Rgb range_colour(const Crests& crests, int range, double u, double v, double crest_v)
{
    const Range& r = ranges[range];
    const double below = v - crest_v;
    Rgb c;
    if (r.snow > 0) {
        const double light = rock_light(r, crests, range, u, v, below);
        c = mix(r.shade, r.lit, light);
        // Snow lies on the high peaks and thins out on the lower crests.
        const double height = (r.top + r.depth - crest_v) / r.depth;
        const double line = r.snow * smoothstep(0.25, 0.95, height) *
                            (0.5 + 1.0 * fbm(u * 30, v * 30, 3, r.seed + 9));
        const double snow = 1 - smoothstep(line * 0.6, line, below);
        c = mix(c, mix(Rgb{0.55, 0.60, 0.78}, Rgb{1.0, 0.95, 0.90}, light), snow);
    } else {
        // Tree crowns, their tops catching the low sun.
        const double crowns = fbm(u * 320, v * 240, 3, r.seed + 3);
        c = mix(r.lit, r.shade, smoothstep(0.0, 0.05, below)) * (0.7 + 0.6 * crowns);
    }
    // Air between here and the range, thickest at its foot where mist gathers.
    const double mist = smoothstep(0.0, 0.10, below) * 0.30;
    return mix(c, sky_gradient(v), clamp01(r.haze_amount + mist));
}

// Sky and ranges above the lake line.
Rgb upper_scene(const Crests& crests, double u, double v)
{
    for (int i = range_count - 1; i >= 0; --i) {
        const double cv = crests.at(i, u);
        if (v >= cv) return range_colour(crests, i, u, v, cv);
    }
    return sky(u, v);
}

double shore(double u)
{
    const double x = u - 0.15;
    return 0.80 + 0.20 * x * x - 0.05 * u + (fbm(u * 4, 4.5, 3, 71) - 0.5) * 0.06;
}

Rgb lake(const Crests& crests, double u, double v, double shore_v)
{
    const double depth = (v - horizon_v) / (shore_v - horizon_v + 1e-9);
    const double ripple =
        (fbm(u * 8, v * 160 / (0.2 + depth), 3, 91) - 0.5) * 0.012 * (0.3 + depth);
    const double mirror_v = std::max(0.0, 2 * horizon_v - v + ripple * 0.5);
    Rgb c = upper_scene(crests, u + ripple, mirror_v) * 0.85;
    const Rgb water{0.10, 0.22, 0.32};
    c = mix(c, water, 0.15 + 0.45 * depth);

    // Glitter under the sun.
    const double du = std::fabs(u - sun_u) / (0.03 + 0.10 * depth);
    const double sparkle = value_noise(u * 400, v * 900, 97);
    const double glitter = (1 - smoothstep(0.2, 1.0, du)) * smoothstep(0.72, 0.88, sparkle);
    c = c + Rgb{1.0, 0.85, 0.6} * glitter * 0.7;

    // Bright rim where water meets the far shore.
    c = c + sky_low * (0.25 * (1 - smoothstep(0.0, 0.006, v - horizon_v)));
    return c;
}

// A dark conifer silhouette: tiers of triangles on a trunk.
double conifer(double u, double v, double base_u, double base_v, double height)
{
    const double y = (base_v - v) / height;  // 0 at foot, 1 at tip
    if (y < 0 || y > 1) return 0;
    const double x = std::fabs(u - base_u) / height;
    if (y < 0.1) return x < 0.025 ? 1 : 0;
    const double tier = (y - 0.1) * 5;
    const double in_tier = tier - std::floor(tier);
    const double width = (1 - y) * 0.33 * (0.55 + 0.45 * (1 - in_tier));
    return 1 - smoothstep(width - 0.006, width + 0.006, x);
}

struct Tree {
    double u, height;
};
const Tree trees[] = {{0.060, 0.26}, {0.125, 0.20}, {0.175, 0.15},
                      {0.025, 0.18}, {0.925, 0.17}, {0.965, 0.23}};

Rgb meadow(double u, double v, double shore_v)
{
    const double depth = clamp01((v - shore_v) / (1.0 - shore_v + 0.05));
    const double grass = fbm(u * 60, v * 12, 4, 61);
    const double patches = fbm(u * 5, v * 6, 4, 67);
    Rgb c = mix(Rgb{0.55, 0.68, 0.26}, Rgb{0.22, 0.42, 0.14},
                clamp01(depth * 0.9 + (patches - 0.5) * 0.8));
    c = c * (0.78 + 0.45 * grass);
    c = mix(c, Rgb{0.95, 0.78, 0.45}, 0.18 * (1 - depth));  // evening light on the near slope

    // A pebbly strip along the water.
    const double beach = 1 - smoothstep(0.004, 0.009, v - shore_v);
    c = mix(c, Rgb{0.72, 0.64, 0.50} * (0.8 + 0.4 * value_noise(u * 700, v * 500, 41)), beach);

    // Flowers: one chance per cell of a grid laid on the ground, so that
    // they shrink and crowd towards the lake.
    const double ground_z = 1 / (v - horizon_v);
    const double gx = (u - 0.5) * ground_z * 32, gz = ground_z * 32;
    const double fx = std::floor(gx), fz = std::floor(gz);
    const uint32_t h = hash3(int32_t(fx), int32_t(fz), 131);
    if ((h & 7) == 0 && v > shore_v + 0.01) {
        const double cx = gx - fx - 0.5, cz = gz - fz - 0.5;
        const double r2 = cx * cx + cz * cz;
        static const Rgb petals[] = {
            {1.0, 0.92, 0.45}, {0.98, 0.98, 0.95}, {0.95, 0.55, 0.68}, {0.72, 0.58, 0.98}};
        c = mix(c, petals[(h >> 3) & 3] * (0.85 + 0.15 * (1 - depth)),
                1 - smoothstep(0.06, 0.11, r2));
    }
    return c;
}

Rgb scene(const Crests& crests, double u, double v)
{
    const double shore_v = shore(u);
    Rgb c;
    if (v < horizon_v)
        c = upper_scene(crests, u, v);
    else if (v < shore_v)
        c = lake(crests, u, v, shore_v);
    else
        c = meadow(u, v, shore_v);

    for (const Tree& t : trees) {
        const double base = shore(t.u) + 0.05 + t.height * 0.1;
        const double ink = conifer(u, v, t.u, base, t.height);
        if (ink > 0) {
            const double sunny_side = smoothstep(-0.01, 0.03, u - t.u);  // the sun is to the right
            const Rgb needles = mix(Rgb{0.04, 0.11, 0.08}, Rgb{0.12, 0.22, 0.10}, sunny_side);
            c = mix(c, needles * (0.75 + 0.5 * fbm(u * 200, v * 200, 2, 7)), ink);
        }
    }

    // Soft vignette.
    const double du = u - 0.5, dv = v - 0.5;
    return c * (1 - 0.28 * (du * du + dv * dv));
}

unsigned char to_byte(double x, double dither)
{
    const double s = clamp01(x) * 255 + dither;
    return static_cast<unsigned char>(std::clamp(int(s + 0.5), 0, 255));
}

}  // namespace

std::vector<unsigned char> background_image_rgb()
{
    constexpr int n = background_image_size;
    std::vector<unsigned char> rgb(size_t(n) * n * 3);
    const Crests crests;
    for (int y = 0; y < n; ++y)
        for (int x = 0; x < n; ++x) {
            const Rgb c = scene(crests, (x + 0.5) / n, (y + 0.5) / n);
            const double dither = hash01(x, y, 3) - 0.5;
            unsigned char* p = &rgb[(size_t(y) * n + size_t(x)) * 3];
            p[0] = to_byte(c.r, dither);
            p[1] = to_byte(c.g, dither);
            p[2] = to_byte(c.b, dither);
        }
    return rgb;
}

std::vector<unsigned char> background_image_png()
{
    return image_encode_png(background_image_size, background_image_size, 3,
                            background_image_rgb());
}
