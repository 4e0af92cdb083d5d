// Writes the launcher's logo picture: a 480 by 300 RGBA PNG (8 bits per
// channel, colour type 6, not interlaced) with the game's title "QUORVANE" in
// gold stroke letters, a dark rim and a soft glow, over a background of pure
// green with alpha 2, which the launcher lays down as nearly black.
//
// Usage: qv_make_logo <output.png>. Needs only zlib. The letters are drawn
// from stroke outlines with a distance field, so the output depends on
// nothing but this file.
#include <math.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <zlib.h>

#include <vector>

namespace {

const int WIDTH = 480;
const int HEIGHT = 300;
// Background: pure green, nearly transparent.
const double BG_RED = 0, BG_GREEN = 255, BG_BLUE = 0, BG_ALPHA = 2;
// Letter geometry, in pixels.
const double CAP_HEIGHT = 64;
const double LETTER_WIDTH = 44;
const double LETTER_GAP = 10;
const double STROKE_HALF = 4.5;  // half the stroke width
const double RIM = 2.5;          // dark rim around the strokes
const double GLOW_REACH = 9;     // glow fades out over this distance
const double TITLE_TOP = 62;
const double RULE_Y = 158;
const int ARC_STEPS = 40;        // segments per full ellipse

struct segment {
    double x1, y1, x2, y2;
};

struct rgba {
    double r, g, b, a; // 0..255, not premultiplied
};

// Source over destination, both unpremultiplied.
rgba over(const rgba &src, const rgba &dst)
{
    double sa = src.a / 255.0, da = dst.a / 255.0;
    double oa = sa + da * (1 - sa);
    rgba out = {0, 0, 0, 0};
    if (oa <= 0)
        return out;
    out.r = (src.r * sa + dst.r * da * (1 - sa)) / oa;
    out.g = (src.g * sa + dst.g * da * (1 - sa)) / oa;
    out.b = (src.b * sa + dst.b * da * (1 - sa)) / oa;
    out.a = oa * 255.0;
    return out;
}

void add_line(std::vector<segment> &s, double x1, double y1, double x2, double y2)
{
    s.push_back({x1, y1, x2, y2});
}

// An elliptic arc from angle a0 to a1 (radians, y down, 0 is to the right).
void add_arc(std::vector<segment> &s, double cx, double cy, double rx, double ry, double a0, double a1)
{
    int steps = (int)ceil(fabs(a1 - a0) / (2 * M_PI) * ARC_STEPS);
    if (steps < 2)
        steps = 2;
    double px = cx + rx * cos(a0), py = cy + ry * sin(a0);
    for (int i = 1; i <= steps; i++) {
        double a = a0 + (a1 - a0) * i / steps;
        double x = cx + rx * cos(a), y = cy + ry * sin(a);
        add_line(s, px, py, x, y);
        px = x;
        py = y;
    }
}

// The strokes of one letter in a LETTER_WIDTH by CAP_HEIGHT box at (ox, oy).
void add_letter(std::vector<segment> &s, char c, double ox, double oy)
{
    std::vector<segment> l;
    const double w = LETTER_WIDTH, h = CAP_HEIGHT, m = STROKE_HALF;
    switch (c) {
    case 'O':
        add_arc(l, w / 2, h / 2, w / 2 - m, h / 2 - m, 0, 2 * M_PI);
        break;
    case 'Q':
        add_arc(l, w / 2, h / 2, w / 2 - m, h / 2 - m, 0, 2 * M_PI);
        add_line(l, w * 0.58, h * 0.70, w - 1, h + 2);
        break;
    case 'U':
        add_line(l, m, m, m, h * 0.62);
        add_line(l, w - m, m, w - m, h * 0.62);
        add_arc(l, w / 2, h * 0.62, w / 2 - m, h * 0.38 - m, 0, M_PI);
        break;
    case 'R':
        add_line(l, m, h - m, m, m);
        add_line(l, m, m, w * 0.58, m);
        add_arc(l, w * 0.58, h * 0.27, w * 0.36, h * 0.27 - m, -M_PI / 2, M_PI / 2);
        add_line(l, w * 0.58, h * 0.54 - m, m, h * 0.54 - m);
        add_line(l, w * 0.45, h * 0.54 - m, w - m, h - m);
        break;
    case 'V':
        add_line(l, m, m, w / 2, h - m);
        add_line(l, w / 2, h - m, w - m, m);
        break;
    case 'A':
        add_line(l, m, h - m, w / 2, m);
        add_line(l, w / 2, m, w - m, h - m);
        add_line(l, w * 0.24, h * 0.64, w * 0.76, h * 0.64);
        break;
    case 'N':
        add_line(l, m, h - m, m, m);
        add_line(l, m, m, w - m, h - m);
        add_line(l, w - m, h - m, w - m, m);
        break;
    case 'E':
        add_line(l, w - m, m, m, m);
        add_line(l, m, m, m, h - m);
        add_line(l, m, h - m, w - m, h - m);
        add_line(l, m, h / 2, w * 0.72, h / 2);
        break;
    default:
        break;
    }
    for (const segment &g : l)
        add_line(s, g.x1 + ox, g.y1 + oy, g.x2 + ox, g.y2 + oy);
}

double distance_to(const segment &g, double x, double y)
{
    double dx = g.x2 - g.x1, dy = g.y2 - g.y1;
    double len2 = dx * dx + dy * dy;
    double t = len2 > 0 ? ((x - g.x1) * dx + (y - g.y1) * dy) / len2 : 0;
    if (t < 0)
        t = 0;
    if (t > 1)
        t = 1;
    double px = g.x1 + t * dx - x, py = g.y1 + t * dy - y;
    return sqrt(px * px + py * py);
}

double clamp01(double v)
{
    return v < 0 ? 0 : (v > 1 ? 1 : v);
}

unsigned char to_byte(double v)
{
    long r = lround(v);
    return (unsigned char)(r < 0 ? 0 : (r > 255 ? 255 : r));
}

void render(std::vector<unsigned char> &pixels)
{
    const char *title = "QUORVANE";
    int letters = (int)strlen(title);
    double total = letters * LETTER_WIDTH + (letters - 1) * LETTER_GAP;
    double x0 = (WIDTH - total) / 2;
    std::vector<segment> strokes;
    for (int i = 0; i < letters; i++)
        add_letter(strokes, title[i], x0 + i * (LETTER_WIDTH + LETTER_GAP), TITLE_TOP);

    const double rule_x1 = 70, rule_x2 = WIDTH - 70, centre = WIDTH / 2.0;
    pixels.assign((size_t)WIDTH * HEIGHT * 4, 0);
    for (int y = 0; y < HEIGHT; y++) {
        for (int x = 0; x < WIDTH; x++) {
            double px = x + 0.5, py = y + 0.5;
            rgba c = {BG_RED, BG_GREEN, BG_BLUE, BG_ALPHA};

            double d = 1e9;
            if (py > TITLE_TOP - GLOW_REACH - RIM - STROKE_HALF && py < TITLE_TOP + CAP_HEIGHT + GLOW_REACH + 8)
                for (const segment &g : strokes) {
                    double e = distance_to(g, px, py);
                    if (e < d)
                        d = e;
                }

            // Glow: warm orange fading with distance from the rim.
            double glow = clamp01(1 - (d - STROKE_HALF) / GLOW_REACH);
            if (glow > 0)
                c = over({255, 140, 30, 150 * glow * glow}, c);

            // Rule below the title, fading toward both ends, with a diamond.
            double rule_cover = clamp01(1.2 - fabs(py - RULE_Y));
            if (px >= rule_x1 && px <= rule_x2 && rule_cover > 0) {
                double fade = 1 - fabs(px - centre) / (centre - rule_x1);
                c = over({240, 190, 80, 255 * rule_cover * fade}, c);
            }
            double diamond = clamp01(7.5 - (fabs(px - centre) + fabs(py - RULE_Y)));
            if (diamond > 0)
                c = over({255, 220, 120, 255 * diamond}, c);

            // Dark rim, then the gold letter body with a top-to-bottom shade.
            double rim = clamp01(STROKE_HALF + RIM + 0.5 - d);
            if (rim > 0)
                c = over({50, 20, 0, 255 * rim}, c);
            double body = clamp01(STROKE_HALF + 0.5 - d);
            if (body > 0) {
                double t = clamp01((py - TITLE_TOP) / CAP_HEIGHT);
                rgba gold = {255 - 35 * t, 226 - 110 * t, 110 - 90 * t, 255 * body};
                // A thin highlight along the upper part of each stroke.
                if (t < 0.35)
                    gold.g += 20 * (0.35 - t);
                c = over(gold, c);
            }

            unsigned char *p = &pixels[((size_t)y * WIDTH + x) * 4];
            p[0] = to_byte(c.r);
            p[1] = to_byte(c.g);
            p[2] = to_byte(c.b);
            p[3] = to_byte(c.a);
        }
    }
}

void put_u32(std::vector<unsigned char> &out, uint32_t v)
{
    out.push_back((unsigned char)(v >> 24));
    out.push_back((unsigned char)(v >> 16));
    out.push_back((unsigned char)(v >> 8));
    out.push_back((unsigned char)v);
}

void put_chunk(std::vector<unsigned char> &out, const char *type, const std::vector<unsigned char> &data)
{
    put_u32(out, (uint32_t)data.size());
    size_t start = out.size();
    out.insert(out.end(), type, type + 4);
    out.insert(out.end(), data.begin(), data.end());
    uLong crc = crc32(0L, Z_NULL, 0);
    crc = crc32(crc, &out[start], (uInt)(out.size() - start));
    put_u32(out, (uint32_t)crc);
}

int paeth(int a, int b, int c)
{
    int p = a + b - c, pa = abs(p - a), pb = abs(p - b), pc = abs(p - c);
    if (pa <= pb && pa <= pc)
        return a;
    return pb <= pc ? b : c;
}

// Each row with the filter whose output has the smallest absolute sum.
std::vector<unsigned char> filter_rows(const std::vector<unsigned char> &pixels)
{
    const size_t row_bytes = (size_t)WIDTH * 4;
    std::vector<unsigned char> out;
    std::vector<unsigned char> zero(row_bytes, 0), best, trial(row_bytes);
    for (int y = 0; y < HEIGHT; y++) {
        const unsigned char *cur = &pixels[y * row_bytes];
        const unsigned char *up = y > 0 ? &pixels[(y - 1) * row_bytes] : zero.data();
        long best_sum = -1;
        int best_type = 0;
        for (int type = 0; type <= 4; type++) {
            long sum = 0;
            for (size_t i = 0; i < row_bytes; i++) {
                int a = i >= 4 ? cur[i - 4] : 0, b = up[i], c = i >= 4 ? up[i - 4] : 0, pred = 0;
                switch (type) {
                case 1: pred = a; break;
                case 2: pred = b; break;
                case 3: pred = (a + b) / 2; break;
                case 4: pred = paeth(a, b, c); break;
                default: break;
                }
                trial[i] = (unsigned char)(cur[i] - pred);
                sum += trial[i] < 128 ? trial[i] : 256 - trial[i];
            }
            if (best_sum < 0 || sum < best_sum) {
                best_sum = sum;
                best_type = type;
                best = trial;
            }
        }
        out.push_back((unsigned char)best_type);
        out.insert(out.end(), best.begin(), best.end());
    }
    return out;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc != 2) {
        fprintf(stderr, "usage: %s <output.png>\n", argv[0]);
        return 2;
    }
    std::vector<unsigned char> pixels;
    render(pixels);

    std::vector<unsigned char> raw = filter_rows(pixels);
    uLongf packed_size = compressBound((uLong)raw.size());
    std::vector<unsigned char> packed(packed_size);
    if (compress2(packed.data(), &packed_size, raw.data(), (uLong)raw.size(), 9) != Z_OK) {
        fprintf(stderr, "%s: compression failed\n", argv[0]);
        return 1;
    }
    packed.resize(packed_size);

    std::vector<unsigned char> png = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n'};
    std::vector<unsigned char> header;
    put_u32(header, WIDTH);
    put_u32(header, HEIGHT);
    header.push_back(8); // bits per channel
    header.push_back(6); // colour type: RGBA
    header.push_back(0); // deflate
    header.push_back(0); // adaptive filtering
    header.push_back(0); // not interlaced
    put_chunk(png, "IHDR", header);
    put_chunk(png, "IDAT", packed);
    put_chunk(png, "IEND", std::vector<unsigned char>());

    FILE *f = fopen(argv[1], "wb");
    if (!f) {
        fprintf(stderr, "%s: cannot open %s\n", argv[0], argv[1]);
        return 1;
    }
    size_t written = fwrite(png.data(), 1, png.size(), f);
    if (fclose(f) != 0 || written != png.size()) {
        fprintf(stderr, "%s: cannot write %s\n", argv[0], argv[1]);
        return 1;
    }
    return 0;
}
