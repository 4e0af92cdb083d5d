// vexa_bitmap: pixel-exact results of the primitives, clipping, and the
// failure messages. Needs no display: bitmaps are plain memory here.
#include <gtest/gtest.h>

#include <math.h>

#include <functional>
#include <string>
#include <vector>

#include <wx/image.h>
#include <wx/init.h>
#include <wx/rawbmp.h>

#include "gfx/bitmap.h"
#include "runtime/log.h"
#include "tests/support/test_support.h"

namespace {

class wx_environment : public ::testing::Environment {
public:
    void SetUp() override { ASSERT_TRUE(wxInitialize()); }
    void TearDown() override { wxUninitialize(); }
};
::testing::Environment *const wx_env = ::testing::AddGlobalTestEnvironment(new wx_environment);

struct px {
    int r, g, b, a;
    bool operator==(const px &o) const { return r == o.r && g == o.g && b == o.b && a == o.a; }
};

std::ostream &operator<<(std::ostream &os, const px &p)
{
    return os << "(" << p.r << "," << p.g << "," << p.b << "," << p.a << ")";
}

// Raw bytes at offsets 0..3 of the pixel, as the primitives see them.
px get(vexa_bitmap &bmp, int x, int y)
{
    wxAlphaPixelData data(bmp);
    if (!data)
        return {-1, -1, -1, -1};
    unsigned char *p = (unsigned char *)wxAlphaPixelData::Iterator(data).m_ptr + y * data.GetRowStride() + x * 4;
    return {p[0], p[1], p[2], p[3]};
}

void put(vexa_bitmap &bmp, int x, int y, px v)
{
    wxAlphaPixelData data(bmp);
    ASSERT_TRUE(data);
    unsigned char *p = (unsigned char *)wxAlphaPixelData::Iterator(data).m_ptr + y * data.GetRowStride() + x * 4;
    p[0] = (unsigned char)v.r;
    p[1] = (unsigned char)v.g;
    p[2] = (unsigned char)v.b;
    p[3] = (unsigned char)v.a;
}

void fill_all(vexa_bitmap &bmp, px v)
{
    for (int y = 0; y < bmp.GetHeight(); y++)
        for (int x = 0; x < bmp.GetWidth(); x++)
            put(bmp, x, y, v);
}

// One character per pixel: '#' where the pixel equals on, '.' where it
// equals off, '?' otherwise; rows separated by '|'.
std::string picture(vexa_bitmap &bmp, px on, px off, px other_on = {-2, -2, -2, -2}, char other_char = 'o')
{
    std::string s;
    for (int y = 0; y < bmp.GetHeight(); y++) {
        if (y)
            s += '|';
        for (int x = 0; x < bmp.GetWidth(); x++) {
            px p = get(bmp, x, y);
            s += p == on ? '#' : p == off ? '.' : p == other_on ? other_char : '?';
        }
    }
    return s;
}

const px BACK = {9, 9, 9, 77}; // a background with an alpha the primitives must keep
const vexa_colour RED(255, 0, 0);
const px RED_KEPT = {255, 0, 0, 77};

struct level_guard {
    int saved;
    explicit level_guard(int level) : saved(log_level) { log_level = level; }
    ~level_guard() { log_level = saved; }
};

} // namespace

TEST(BitmapPixels, AlphaPixelAccessIsRgbaUnpremultiplied)
{
    // The primitives assume bytes red, green, blue, alpha, not premultiplied.
    // Write raw bytes and read them back through the toolkit's conversion...
    vexa_bitmap bmp(2, 1);
    put(bmp, 0, 0, {200, 100, 50, 128});
    put(bmp, 1, 0, {10, 20, 30, 0});
    wxImage image = bmp.ConvertToImage();
    ASSERT_TRUE(image.HasAlpha());
    EXPECT_EQ(200, image.GetRed(0, 0));
    EXPECT_EQ(100, image.GetGreen(0, 0));
    EXPECT_EQ(50, image.GetBlue(0, 0));
    EXPECT_EQ(128, image.GetAlpha(0, 0));
    EXPECT_EQ(0, image.GetAlpha(1, 0));

    // ... and the other way round: an image's channels land at offsets 0..3.
    wxImage source(1, 1);
    source.SetAlpha();
    source.SetRGB(0, 0, 11, 22, 33);
    source.SetAlpha(0, 0, 44);
    vexa_bitmap from(source);
    EXPECT_EQ((px{11, 22, 33, 44}), get(from, 0, 0));
}

TEST(BitmapConstruction, NewBitmapsAreOpaqueBlack)
{
    vexa_bitmap bmp(10, 4);
    ASSERT_TRUE(bmp.IsOk());
    EXPECT_EQ(32, bmp.GetDepth());
    int opaque = 0;
    for (int y = 0; y < 4; y++)
        for (int x = 0; x < 10; x++)
            opaque += get(bmp, x, y) == px{0, 0, 0, 255};
    EXPECT_EQ(40, opaque);

    vexa_bitmap standard;
    EXPECT_EQ(16, standard.GetWidth());
    EXPECT_EQ(16, standard.GetHeight());
    EXPECT_EQ((px{0, 0, 0, 255}), get(standard, 15, 15));
}

TEST(BitmapConstruction, CopiesDoNotSharePixels)
{
    vexa_bitmap original(3, 3);
    original.Clear(vexa_colour(1, 2, 3));
    vexa_bitmap copy(original);
    copy.SetPixel(1, 1, RED);
    EXPECT_EQ((px{1, 2, 3, 255}), get(original, 1, 1));
    EXPECT_EQ((px{255, 0, 0, 255}), get(copy, 1, 1));

    vexa_bitmap assigned(1, 1);
    assigned = original;
    assigned.SetPixel(0, 0, RED);
    EXPECT_EQ((px{1, 2, 3, 255}), get(original, 0, 0));
    EXPECT_EQ(3, assigned.GetWidth());

    wxBitmap shared(original); // the toolkit's copy shares; ours must not
    vexa_bitmap from_wx(shared);
    from_wx.SetPixel(2, 2, RED);
    EXPECT_EQ((px{1, 2, 3, 255}), get(original, 2, 2));
}

TEST(BitmapFailures, PrimitivesOnAnUnusableBitmapLogOnlyAboveLevelOne)
{
    qv_test::log_capture log;
    vexa_bitmap empty(0, 5); // invalid: no pixel access
    EXPECT_FALSE(empty.IsOk());
    vexa_bitmap source(2, 2);
    vexa_polygon_point tri[3] = {{0, 0}, {4, 0}, {0, 4}};

    {
        level_guard level(1);
        empty.Clear(RED);
        empty.DrawFilledRectangle(0, 0, 1, 1, RED);
        empty.DrawPolygon(3, tri, 0, 0, RED, RED);
        EXPECT_EQ("", log.text());
    }

    level_guard level(2);
    struct {
        std::function<void()> draw;
        const char *message;
    } cases[] = {
        {[&] { empty.ClearAlpha(); }, "Error in vexa_bitmap::ClearAlpha(), pixel data failed?\n"},
        {[&] { empty.Clear(RED); }, "Error in vexa_bitmap::Clear(), pixel data failed?\n"},
        {[&] { empty.DrawTextGlyph(source, 0, 0, RED, RED); },
         "Error in vexa_bitmap::DrawTextGlyph(), pixel data dest failed?\n"},
        {[&] { empty.DrawTextGlyphTransparent(source, 0, 0, RED); },
         "Error in vexa_bitmap::DrawTextGlyphTransparent(), pixel data dest failed?\n"},
        {[&] { empty.DrawBitmapIgnoreAlpha(source, 0, 0); },
         "Error in vexa_bitmap::DrawBitmapIgnoreAlpha(), pixel data dest failed?\n"},
        {[&] { empty.DrawBitmapUseAlpha(source, 0, 0); },
         "Error in vexa_bitmap::DrawBitmapUseAlpha(), pixel data dest failed?\n"},
        {[&] { source.DrawBitmapUseAlpha(empty, 0, 0); },
         "Error in vexa_bitmap::DrawBitmapUseAlpha(), pixel data src failed?\n"},
        {[&] { source.DrawBitmapIgnoreAlpha(empty, 0, 0); },
         "Error in vexa_bitmap::DrawBitmapIgnoreAlpha(), pixel data src failed?\n"},
        {[&] { source.DrawTextGlyph(empty, 0, 0, RED, RED); },
         "Error in vexa_bitmap::DrawTextGlyph(), pixel data src failed?\n"},
        {[&] { source.DrawTextGlyphTransparent(empty, 0, 0, RED); },
         "Error in vexa_bitmap::DrawTextGlyphTransparent(), pixel data src failed?\n"},
        {[&] { empty.DrawFilledCircle(0, 0, 1, RED); },
         "Error in vexa_bitmap::DrawFilledCircle(), pixel data failed?\n"},
        {[&] { empty.DrawFilledRectangle(0, 0, 1, 1, RED); },
         "Error in vexa_bitmap::DrawFilledRectangle(), pixel data failed?\n"},
        {[&] { empty.DrawXGradientRectangle(0, 0, 1, 1, RED, RED); },
         "Error in vexa_bitmap::DrawXGradientRectangle(), pixel data failed?\n"},
        {[&] { empty.DrawYGradientRectangle(0, 0, 1, 1, RED, RED); },
         "Error in vexa_bitmap::DrawYGradientRectangle(), pixel data failed?\n"},
        {[&] { empty.SetPixel(0, 0, RED); }, ""},
        {[&] { empty.DrawLine(0, 0, 3, 3, RED); }, ""},
    };
    for (const auto &c : cases) {
        log.reset();
        c.draw();
        EXPECT_EQ(c.message, log.text());
    }

    // A bitmap made from an image without alpha has no alpha pixel access.
    wxImage plain(2, 2);
    vexa_bitmap no_alpha(plain);
    log.reset();
    no_alpha.Clear(RED);
    EXPECT_EQ("Error in vexa_bitmap::Clear(), pixel data failed?\n", log.text());
}

TEST(BitmapClear, ClearSetsColourAndAlphaClearAlphaKeepsColour)
{
    vexa_bitmap bmp(3, 2);
    fill_all(bmp, BACK);
    bmp.ClearAlpha();
    EXPECT_EQ((px{9, 9, 9, 255}), get(bmp, 2, 1));
    fill_all(bmp, BACK);
    bmp.Clear(vexa_colour(256 + 7, -1, 128)); // the low 8 bits are stored
    for (int y = 0; y < 2; y++)
        for (int x = 0; x < 3; x++)
            EXPECT_EQ((px{7, 255, 128, 255}), get(bmp, x, y));
}

TEST(BitmapSetPixel, ChangesColourOnlyAndIgnoresOutsidePoints)
{
    vexa_bitmap bmp(3, 3);
    fill_all(bmp, BACK);
    bmp.SetPixel(1, 2, RED);
    bmp.SetPixel(0, 0, 1, 2, 3);
    for (int p : {-1, 3, 1 << 30})
        bmp.SetPixel(p, 1, RED), bmp.SetPixel(1, p, RED);
    EXPECT_EQ("#..|...|.o.", picture(bmp, {1, 2, 3, 77}, BACK, RED_KEPT));
}

TEST(BitmapRectangle, CornersAreOrderedAndClipped)
{
    struct {
        int x1, y1, x2, y2;
        const char *expect;
    } cases[] = {
        {5, 5, 2, 2, "........|........|..####..|..####..|..####..|..####..|........|........"},
        {-3, -3, 1, 1, "##......|##......|........|........|........|........|........|........"},
        {8, 0, 13, 3, "........|........|........|........|........|........|........|........"},
        {0, 8, 3, 9, "........|........|........|........|........|........|........|........"},
        {-1, -1, -1, 5, "........|........|........|........|........|........|........|........"},
        {6, 6, 100, 100, "........|........|........|........|........|........|......##|......##"},
        {3, 4, 3, 4, "........|........|........|........|...#....|........|........|........"},
    };
    for (const auto &c : cases) {
        vexa_bitmap bmp(8, 8);
        fill_all(bmp, BACK);
        bmp.DrawFilledRectangle(c.x1, c.y1, c.x2, c.y2, RED);
        EXPECT_EQ(c.expect, picture(bmp, RED_KEPT, BACK)) << c.x1 << "," << c.y1 << "," << c.x2 << "," << c.y2;
    }
}

TEST(BitmapCircle, DiscRowsFollowRTimesRPlusOne)
{
    struct {
        int cx, cy, r;
        const char *expect;
    } cases[] = {
        {3, 3, 0, ".......|.......|.......|...#...|.......|.......|......."},
        {3, 3, -4, ".......|.......|.......|...#...|.......|.......|......."},
        {3, 3, 1, ".......|.......|..###..|..###..|..###..|.......|......."},
        {3, 3, 2, ".......|..###..|.#####.|.#####.|.#####.|..###..|......."},
        {0, 0, 2, "###....|###....|##.....|.......|.......|.......|......."},
        {3, -3, 2, ".......|.......|.......|.......|.......|.......|......."},
        {9, 3, 2, ".......|.......|.......|.......|.......|.......|......."},
    };
    for (const auto &c : cases) {
        vexa_bitmap bmp(7, 7);
        fill_all(bmp, BACK);
        bmp.DrawFilledCircle(c.cx, c.cy, c.r, RED);
        EXPECT_EQ(c.expect, picture(bmp, RED_KEPT, BACK)) << c.cx << "," << c.cy << " r " << c.r;
    }

    // A radius whose r * (r + 1) is beyond an int covers everything.
    vexa_bitmap bmp(4, 4);
    fill_all(bmp, BACK);
    bmp.DrawFilledCircle(2, 2, 2000000000, RED);
    EXPECT_EQ("####|####|####|####", picture(bmp, RED_KEPT, BACK));
}

TEST(BitmapBlend, UseAlphaLaysTheSourceOverBlack)
{
    vexa_bitmap source(4, 1);
    put(source, 0, 0, {255, 255, 255, 128});
    put(source, 1, 0, {255, 255, 255, 0});
    put(source, 2, 0, {255, 255, 255, 255});
    put(source, 3, 0, {0, 255, 0, 2}); // the logo's background
    vexa_bitmap dest(4, 1);
    fill_all(dest, {255, 0, 0, 77});
    dest.DrawBitmapUseAlpha(source, 0, 0);
    EXPECT_EQ((px{127, 127, 127, 77}), get(dest, 0, 0));
    EXPECT_EQ((px{0, 0, 0, 77}), get(dest, 1, 0));
    EXPECT_EQ((px{254, 254, 254, 77}), get(dest, 2, 0));
    EXPECT_EQ((px{0, 1, 0, 77}), get(dest, 3, 0));
}

TEST(BitmapBlit, ClippingMovesTheSourceStart)
{
    vexa_bitmap source(4, 4);
    for (int y = 0; y < 4; y++)
        for (int x = 0; x < 4; x++)
            put(source, x, y, {x * 10 + y, 100 + x, 200 + y, 255 - x - y});

    struct {
        int x, y;
    } offsets[] = {{-2, -2}, {3, 1}, {-3, 2}, {0, 0}, {5, 0}, {0, -4}};
    for (const auto &o : offsets) {
        vexa_bitmap dest(5, 4);
        fill_all(dest, BACK);
        dest.DrawBitmapIgnoreAlpha(source, o.x, o.y);
        for (int y = 0; y < 4; y++)
            for (int x = 0; x < 5; x++) {
                int sx = x - o.x, sy = y - o.y;
                px want = (sx >= 0 && sx < 4 && sy >= 0 && sy < 4) ? get(source, sx, sy) : BACK;
                EXPECT_EQ(want, get(dest, x, y)) << "offset " << o.x << "," << o.y << " at " << x << "," << y;
            }
    }

    // The alpha blit clips the same way and keeps the destination's alpha.
    vexa_bitmap dest(2, 2);
    fill_all(dest, BACK);
    dest.DrawBitmapUseAlpha(source, -2, -2);
    px s = get(source, 2, 2);
    EXPECT_EQ((px{s.r * s.a / 256, s.g * s.a / 256, s.b * s.a / 256, 77}), get(dest, 0, 0));
    s = get(source, 3, 3);
    EXPECT_EQ((px{s.r * s.a / 256, s.g * s.a / 256, s.b * s.a / 256, 77}), get(dest, 1, 1));
}

TEST(BitmapGlyph, CoverageBlendsWithWeightsOf255Over256)
{
    vexa_bitmap glyph(3, 1);
    put(glyph, 0, 0, {0, 255, 0, 255});
    put(glyph, 1, 0, {255, 0, 255, 255}); // only green counts: no ink
    put(glyph, 2, 0, {0, 128, 0, 255});

    vexa_bitmap dest(3, 1);
    fill_all(dest, {50, 60, 70, 77});
    dest.DrawTextGlyph(glyph, 0, 0, vexa_colour(255, 255, 255), vexa_colour(0, 0, 0));
    EXPECT_EQ((px{254, 254, 254, 77}), get(dest, 0, 0));
    EXPECT_EQ((px{0, 0, 0, 77}), get(dest, 1, 0));
    EXPECT_EQ((px{127, 127, 127, 77}), get(dest, 2, 0)); // 255 * 128 / 256

    fill_all(dest, {100, 100, 100, 77});
    dest.DrawTextGlyph(glyph, 0, 0, vexa_colour(200, 0, 255), vexa_colour(100, 100, 100));
    EXPECT_EQ((px{(100 * 127 + 200 * 128) / 256, 100 * 127 / 256, (100 * 127 + 255 * 128) / 256, 77}),
              get(dest, 2, 0));
    EXPECT_EQ((px{100, 100, 100, 77}), get(dest, 1, 0));

    // Transparent: no ink leaves the pixel, ink blends with what is there.
    fill_all(dest, {40, 80, 120, 77});
    dest.DrawTextGlyphTransparent(glyph, 0, 0, vexa_colour(255, 255, 255));
    EXPECT_EQ((px{(40 * 0 + 255 * 255) / 256, 254, 254, 77}), get(dest, 0, 0));
    EXPECT_EQ((px{40, 80, 120, 77}), get(dest, 1, 0));
    EXPECT_EQ((px{(40 * 127 + 255 * 128) / 256, (80 * 127 + 255 * 128) / 256, (120 * 127 + 255 * 128) / 256, 77}),
              get(dest, 2, 0));

    // Clipped at the left: the glyph's second and third columns land at 0, 1.
    fill_all(dest, {40, 80, 120, 77});
    dest.DrawTextGlyph(glyph, -1, 0, vexa_colour(255, 255, 255), vexa_colour(1, 2, 3));
    EXPECT_EQ((px{1, 2, 3, 77}), get(dest, 0, 0));
    EXPECT_EQ((px{(1 * 127 + 255 * 128) / 256, (2 * 127 + 255 * 128) / 256, (3 * 127 + 255 * 128) / 256, 77}),
              get(dest, 1, 0));
    EXPECT_EQ((px{40, 80, 120, 77}), get(dest, 2, 0));
}

TEST(BitmapText, GlyphsAdvanceByTheirWidthAndMissingOnesTakeNoRoom)
{
    vexa_bitmap wide(2, 2), narrow(1, 3);
    wide.Clear(vexa_colour(0, 255, 0));
    narrow.Clear(vexa_colour(0, 255, 0));
    vexa_glyph_table table = {};
    table.glyph['A'] = &wide;
    table.glyph['i'] = &narrow;

    vexa_bitmap dest(7, 3);
    fill_all(dest, BACK);
    // 'A', a byte without glyph, 'i', then 0xC1 which takes the glyph of 'A'.
    dest.DrawText(&table, "A?i\xC1", 0, 0, vexa_colour(255, 0, 0), vexa_colour(0, 0, 0));
    px ink = {254, 0, 0, 77};
    EXPECT_EQ("#####..|#####..|..#....", picture(dest, ink, BACK));

    fill_all(dest, BACK);
    dest.DrawTextTransparent(&table, "iA", 4, 1, vexa_colour(255, 0, 0));
    EXPECT_EQ(".......|....###|....###", picture(dest, {(9 * 0 + 255 * 255) / 256, 9 * 0 / 256, 0, 77}, BACK));

    // Starting right of or below the bitmap draws nothing; so does a null text.
    fill_all(dest, BACK);
    dest.DrawText(&table, "A", 8, 0, vexa_colour(255, 0, 0), vexa_colour(0, 0, 0));
    dest.DrawText(&table, "A", 0, 4, vexa_colour(255, 0, 0), vexa_colour(0, 0, 0));
    dest.DrawText(&table, nullptr, 0, 0, vexa_colour(255, 0, 0), vexa_colour(0, 0, 0));
    dest.DrawText(nullptr, "A", 0, 0, vexa_colour(255, 0, 0), vexa_colour(0, 0, 0));
    dest.DrawTextTransparent(&table, "A", 0, 4, vexa_colour(255, 0, 0));
    EXPECT_EQ(".......|.......|.......", picture(dest, ink, BACK));

    int w = -1, h = -1;
    vexa_bitmap::MeasureText(&table, "iA?", &w, &h);
    EXPECT_EQ(3, w);
    EXPECT_EQ(2, h); // the last glyph present
    vexa_bitmap::MeasureText(&table, "??", &w, &h);
    EXPECT_EQ(0, w);
    EXPECT_EQ(0, h);
    w = h = 42;
    vexa_bitmap::MeasureText(&table, nullptr, &w, &h);
    EXPECT_EQ(42, w);
    EXPECT_EQ(42, h);
}

TEST(BitmapGradient, StepsAreAddedBeforeEachColumnOrRow)
{
    vexa_bitmap bmp(3, 3);
    bmp.DrawXGradientRectangle(0, 0, 2, 2, vexa_colour(0, 0, 0), vexa_colour(255, 0, 0));
    for (int y = 0; y < 3; y++) {
        EXPECT_EQ((px{63, 0, 0, 255}), get(bmp, 0, y));
        EXPECT_EQ((px{127, 0, 0, 255}), get(bmp, 1, y));
        EXPECT_EQ((px{191, 0, 0, 255}), get(bmp, 2, y));
    }

    // Corners given right to left, a falling channel (truncation toward zero).
    bmp.DrawYGradientRectangle(2, 2, 0, 0, vexa_colour(0, 255, 10), vexa_colour(0, 0, 10));
    int falling[3] = {(255 * 256 - 16320) >> 8, (255 * 256 - 2 * 16320) >> 8, (255 * 256 - 3 * 16320) >> 8};
    for (int y = 0; y < 3; y++)
        for (int x = 0; x < 3; x++)
            EXPECT_EQ((px{0, falling[y], 10, 255}), get(bmp, x, y));

    // Starting left of the bitmap: the span counts the hidden column, but
    // the colours start afresh at the first visible one.
    vexa_bitmap clipped(3, 1);
    clipped.DrawXGradientRectangle(-1, 0, 2, 0, vexa_colour(0, 0, 0), vexa_colour(255, 0, 0));
    int step = 255 * 256 / 5;
    EXPECT_EQ((px{step >> 8, 0, 0, 255}), get(clipped, 0, 0));
    EXPECT_EQ((px{(2 * step) >> 8, 0, 0, 255}), get(clipped, 1, 0));
    EXPECT_EQ((px{(3 * step) >> 8, 0, 0, 255}), get(clipped, 2, 0));

    // Wholly outside: nothing.
    clipped.Clear(vexa_colour(1, 1, 1));
    clipped.DrawXGradientRectangle(3, 0, 5, 0, vexa_colour(0, 0, 0), vexa_colour(255, 0, 0));
    clipped.DrawYGradientRectangle(0, -5, 2, -1, vexa_colour(0, 0, 0), vexa_colour(255, 0, 0));
    EXPECT_EQ((px{1, 1, 1, 255}), get(clipped, 2, 0));
}

TEST(BitmapLine, BresenhamIncludesBothEnds)
{
    struct {
        int x1, y1, x2, y2;
        const char *expect;
    } cases[] = {
        {0, 0, 4, 2, "##...|..##.|....#"},
        {4, 2, 0, 0, "##...|..##.|....#"},
        {1, 1, 1, 1, ".....|.#...|....."},
        {0, 1, 4, 1, ".....|#####|....."},
        {4, 0, 3, 2, "....#|....#|...#."},
        {-2, 0, 6, 0, "#####|.....|....."},
        {0, 2, 4, 0, "....#|..##.|##..."},
    };
    for (const auto &c : cases) {
        vexa_bitmap bmp(5, 3);
        fill_all(bmp, BACK);
        bmp.DrawLine(c.x1, c.y1, c.x2, c.y2, RED);
        EXPECT_EQ(c.expect, picture(bmp, RED_KEPT, BACK)) << c.x1 << "," << c.y1 << " " << c.x2 << "," << c.y2;
    }
}

TEST(BitmapPolygon, TriangleIsFilledFromTheLineAfterItsTopThenOutlined)
{
    vexa_polygon_point tri[3] = {{0, 0}, {4, 0}, {0, 4}};
    const vexa_colour fill(0, 0, 255);
    const px FILL = {0, 0, 255, 77};

    // Fill alone (outline in the background colour would hide it, so the
    // outline is drawn in the fill colour and compared with the union).
    vexa_bitmap filled(6, 6);
    fill_all(filled, BACK);
    filled.DrawPolygon(3, tri, 0, 0, fill, fill);
    EXPECT_EQ("#####.|####..|###...|##....|#.....|......", picture(filled, FILL, BACK));

    vexa_bitmap both(6, 6);
    fill_all(both, BACK);
    both.DrawPolygon(3, tri, 0, 0, RED, fill);
    EXPECT_EQ("#####.|#oo#..|#o#...|##....|#.....|......", picture(both, RED_KEPT, BACK, FILL));

    // The offset shifts every point.
    vexa_bitmap shifted(6, 6);
    fill_all(shifted, BACK);
    shifted.DrawPolygon(3, tri, 1, 1, RED, fill);
    EXPECT_EQ("......|.#####|.#oo#.|.#o#..|.##...|.#....", picture(shifted, RED_KEPT, BACK, FILL));

    // A square: lines 1..3 filled from x 1 to x 3 (the right edge's x).
    vexa_polygon_point square[4] = {{1, 0}, {3, 0}, {3, 4}, {1, 4}};
    vexa_bitmap sq(5, 5);
    fill_all(sq, BACK);
    sq.DrawPolygon(4, square, 0, 0, RED, fill);
    EXPECT_EQ(".###.|.#o#.|.#o#.|.#o#.|.###.", picture(sq, RED_KEPT, BACK, FILL));
}

TEST(BitmapPolygon, PointCountsOutsideThreeTo999AreRefused)
{
    qv_test::log_capture log;
    level_guard level(1);
    std::vector<vexa_polygon_point> many(1000);
    for (int i = 0; i < 1000; i++) {
        double a = 2 * M_PI * i / 1000;
        many[i] = {(int)(10 + 9 * cos(a)), (int)(10 + 9 * sin(a))};
    }
    vexa_bitmap bmp(20, 20);
    fill_all(bmp, BACK);

    bmp.DrawPolygon(2, many.data(), 0, 0, RED, RED);
    EXPECT_EQ("Error in vexa_bitmap::DrawPolygon(), only got 2 points, need a minimum of 3.\n", log.text());
    log.reset();
    bmp.DrawPolygon(1000, many.data(), 0, 0, RED, RED);
    EXPECT_EQ("Error in vexa_bitmap::DrawPolygon(), got 1000 points, max is 1000.\n", log.text());
    log.reset();
    bmp.DrawPolygon(-1, many.data(), 0, 0, RED, RED);
    EXPECT_EQ("Error in vexa_bitmap::DrawPolygon(), only got -1 points, need a minimum of 3.\n", log.text());
    log.reset();
    bmp.DrawPolygon(3, nullptr, 0, 0, RED, RED);
    EXPECT_EQ("Error in vexa_bitmap::DrawPolygon(), no point list.\n", log.text());
    EXPECT_EQ(std::string(20 * 20 + 19, '.'),
              [&] {
                  std::string s = picture(bmp, RED_KEPT, BACK);
                  for (char &c : s)
                      if (c == '|')
                          c = '.';
                  return s;
              }());

    // 999 points are drawn: the centre of the ring is filled.
    log.reset();
    bmp.DrawPolygon(999, many.data(), 0, 0, RED, RED);
    EXPECT_EQ(RED_KEPT, get(bmp, 10, 10));
    EXPECT_EQ(BACK, get(bmp, 0, 0));
}

TEST(BitmapPolygon, AConcaveShapeIsFilledBetweenEdgePairs)
{
    // A "U": the inner notch must stay empty where two spans are drawn.
    vexa_polygon_point u[8] = {{0, 0}, {2, 0}, {2, 3}, {4, 3}, {4, 0}, {6, 0}, {6, 5}, {0, 5}};
    const vexa_colour fill(0, 0, 255);
    vexa_bitmap bmp(7, 6);
    fill_all(bmp, BACK);
    bmp.DrawPolygon(8, u, 0, 0, RED, fill);
    EXPECT_EQ("###.###|#o#.#o#|#o#.#o#|#o###o#|#ooooo#|#######", picture(bmp, RED_KEPT, BACK, {0, 0, 255, 77}));
}
