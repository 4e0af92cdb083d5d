// vexa_bitmap: pixel primitives on the toolkit's raw alpha pixel access (see
// bitmap.h).
#include "gfx/bitmap.h"

#include <math.h>
#include <stdint.h>
#include <string.h>

#include <new>

#include <wx/image.h>
#include <wx/rawbmp.h>

#include "runtime/log.h"

namespace {

// Byte offsets of the channels inside one pixel, as the toolkit lays them out.
enum {
    CH_RED = wxAlphaPixelFormat::RED,
    CH_GREEN = wxAlphaPixelFormat::GREEN,
    CH_BLUE = wxAlphaPixelFormat::BLUE,
    CH_ALPHA = wxAlphaPixelFormat::ALPHA
};
// Bytes from one pixel to the next in a row.
enum { PIXEL_BYTES = wxAlphaPixelFormat::SizePixel };
// Fraction bits of the gradient accumulators.
enum { GRADIENT_FRACTION_BITS = 8 };

// One primitive's view of the pixels; valid while the pixel data object lives.
struct pixel_view {
    unsigned char *base;
    long stride;
    int width;
    int height;
};

int open_pixels(wxAlphaPixelData &data, pixel_view *view)
{
    if (!data)
        return 0;
    wxAlphaPixelData::Iterator it(data);
    view->base = (unsigned char *)it.m_ptr;
    view->stride = data.GetRowStride();
    view->width = data.GetWidth();
    view->height = data.GetHeight();
    return view->base != NULL;
}

inline unsigned char *pixel_at(const pixel_view &v, int x, int y)
{
    return v.base + (long)y * v.stride + (long)x * PIXEL_BYTES;
}

// Whole 32-bit pixel moves are possible when a pixel is exactly the four
// channel bytes and every pixel starts on a 32-bit boundary.
int pixels_are_words(const pixel_view &v)
{
    if (PIXEL_BYTES != 4 || CH_RED > 3 || CH_GREEN > 3 || CH_BLUE > 3 || CH_ALPHA > 3)
        return 0;
    return (((uintptr_t)v.base | (uintptr_t)v.stride) & 3) == 0;
}

// Holds the toolkit's pixel access for one primitive. The access is only
// asked of a valid bitmap: the toolkit asserts on an invalid one.
class pixel_lock {
public:
    explicit pixel_lock(wxBitmap &bmp) : data(NULL)
    {
        if (bmp.IsOk())
            data = new (storage) wxAlphaPixelData(bmp);
    }
    ~pixel_lock()
    {
        if (data)
            data->~wxAlphaPixelData();
    }
    int open(pixel_view *view) { return data && open_pixels(*data, view); }

private:
    pixel_lock(const pixel_lock &);
    pixel_lock &operator=(const pixel_lock &);

    alignas(wxAlphaPixelData) unsigned char storage[sizeof(wxAlphaPixelData)];
    wxAlphaPixelData *data;
};

void fail(const char *message)
{
    if (log_level > 1)
        log_message("%s", message);
}

// The part of a source of src_w by src_h placed at (x, y) that lies inside a
// destination of dst_w by dst_h.
struct blit_area {
    int src_x;
    int src_y;
    int dst_x;
    int dst_y;
    int width;
    int height;
};

int clip_blit(int src_w, int src_h, int dst_w, int dst_h, int x, int y, blit_area *a)
{
    long long sx = 0, sy = 0, dx = x, dy = y, w = src_w, h = src_h;
    if (dx < 0) {
        sx = -dx;
        w -= sx;
        dx = 0;
    }
    if (dy < 0) {
        sy = -dy;
        h -= sy;
        dy = 0;
    }
    if (dx + w > dst_w)
        w = dst_w - dx;
    if (dy + h > dst_h)
        h = dst_h - dy;
    if (w <= 0 || h <= 0)
        return 0;
    a->src_x = (int)sx;
    a->src_y = (int)sy;
    a->dst_x = (int)dx;
    a->dst_y = (int)dy;
    a->width = (int)w;
    a->height = (int)h;
    return 1;
}

// Orders the corners and limits them to the bitmap. Returns 0 when the
// rectangle lies wholly outside.
int order_and_clip(int *x1, int *y1, int *x2, int *y2, int width, int height)
{
    if (*x1 > *x2) {
        int t = *x1;
        *x1 = *x2;
        *x2 = t;
    }
    if (*y1 > *y2) {
        int t = *y1;
        *y1 = *y2;
        *y2 = t;
    }
    if (*x2 < 0 || *y2 < 0 || *x1 >= width || *y1 >= height)
        return 0;
    if (*x1 < 0)
        *x1 = 0;
    if (*y1 < 0)
        *y1 = 0;
    if (*x2 > width - 1)
        *x2 = width - 1;
    if (*y2 > height - 1)
        *y2 = height - 1;
    return 1;
}

void fill_span(const pixel_view &v, int x1, int x2, int y, unsigned char r, unsigned char g, unsigned char b)
{
    unsigned char *p = pixel_at(v, x1, y);
    for (int x = x1; x <= x2; x++, p += PIXEL_BYTES) {
        p[CH_RED] = r;
        p[CH_GREEN] = g;
        p[CH_BLUE] = b;
    }
}

// The glyph blend shared by both glyph primitives: the weights add up to 255
// and the sum is divided by 256, so full ink comes out one step short.
// Channel values are taken whole (64-bit, so odd values cannot overflow) and
// only the result is cut to 8 bits.
inline unsigned char glyph_blend(long long under, long long ink, int coverage)
{
    return (unsigned char)((under * (255 - coverage) + ink * coverage) / 256);
}

struct polygon_edge {
    int top_y;
    int bottom_y;
    int active;
    double x;     // x on the current top line
    double slope; // x change per line
};

// Bubble sort by x, swapping only on strictly greater, so equal x keep order.
void sort_edges(polygon_edge *edges, int count)
{
    for (int pass = 0; pass < count - 1; pass++) {
        int swapped = 0;
        for (int i = 0; i < count - 1 - pass; i++) {
            if (edges[i].x > edges[i + 1].x) {
                polygon_edge t = edges[i];
                edges[i] = edges[i + 1];
                edges[i + 1] = t;
                swapped = 1;
            }
        }
        if (!swapped)
            break;
    }
}

// The next edge from index start on that takes part in line y. Edges that
// reach the line for the first time are switched on and passed over, so an
// edge is drawn from the line after its top. Returns -1 when none is left.
int next_usable_edge(polygon_edge *edges, int count, int start, int y)
{
    for (int i = start; i < count; i++) {
        if (edges[i].top_y > y)
            continue;
        if (edges[i].active)
            return i;
        edges[i].active = 1;
    }
    return -1;
}

// A double truncated toward zero and held inside the int range.
int truncate_to_int(double v)
{
    if (!(v == v))
        return 0;
    if (v >= 2147483647.0)
        return 2147483647;
    if (v <= -2147483648.0)
        return -2147483647 - 1;
    return (int)v;
}

} // namespace

vexa_bitmap::vexa_bitmap() : wxBitmap()
{
    Create(VEXA_BITMAP_DEFAULT_SIZE, VEXA_BITMAP_DEFAULT_SIZE, 32);
    ClearAlpha();
}

vexa_bitmap::vexa_bitmap(int width, int height) : wxBitmap()
{
    // The toolkit asserts on empty sizes; such a bitmap stays invalid.
    if (width >= 1 && height >= 1)
        Create(width, height, 32);
    ClearAlpha();
}

vexa_bitmap::vexa_bitmap(const wxImage &image) : wxBitmap()
{
    if (image.IsOk())
        wxBitmap::operator=(wxBitmap(image));
}

vexa_bitmap::vexa_bitmap(const wxBitmap &source) : wxBitmap()
{
    copy_from(source);
}

vexa_bitmap::vexa_bitmap(const vexa_bitmap &source) : wxBitmap()
{
    copy_from(source);
}

vexa_bitmap &vexa_bitmap::operator=(const wxBitmap &source)
{
    if (&source != this)
        copy_from(source);
    return *this;
}

vexa_bitmap &vexa_bitmap::operator=(const vexa_bitmap &source)
{
    if (&source != this)
        copy_from(source);
    return *this;
}

vexa_bitmap::~vexa_bitmap() {}

void vexa_bitmap::copy_from(const wxBitmap &source)
{
    // A sub-bitmap over the whole area is the toolkit's deep copy.
    if (source.IsOk())
        wxBitmap::operator=(source.GetSubBitmap(wxRect(0, 0, source.GetWidth(), source.GetHeight())));
    else
        wxBitmap::operator=(wxNullBitmap);
}

void vexa_bitmap::ClearAlpha()
{
    pixel_lock data(*this);
    pixel_view v;
    if (!data.open(&v)) {
        fail("Error in vexa_bitmap::ClearAlpha(), pixel data failed?\n");
        return;
    }
    for (int y = 0; y < v.height; y++) {
        unsigned char *p = pixel_at(v, 0, y);
        for (int x = 0; x < v.width; x++, p += PIXEL_BYTES)
            p[CH_ALPHA] = 255;
    }
}

void vexa_bitmap::Clear(const vexa_colour &colour)
{
    pixel_lock data(*this);
    pixel_view v;
    if (!data.open(&v)) {
        fail("Error in vexa_bitmap::Clear(), pixel data failed?\n");
        return;
    }
    unsigned char bytes[4] = {0, 0, 0, 0};
    if (pixels_are_words(v)) {
        bytes[CH_RED] = (unsigned char)colour.red;
        bytes[CH_GREEN] = (unsigned char)colour.green;
        bytes[CH_BLUE] = (unsigned char)colour.blue;
        bytes[CH_ALPHA] = 255;
        uint32_t word;
        memcpy(&word, bytes, 4);
        for (int y = 0; y < v.height; y++) {
            unsigned char *p = pixel_at(v, 0, y);
            for (int x = 0; x < v.width; x++, p += 4)
                memcpy(p, &word, 4);
        }
        return;
    }
    for (int y = 0; y < v.height; y++)
        fill_span(v, 0, v.width - 1, y, (unsigned char)colour.red, (unsigned char)colour.green,
                  (unsigned char)colour.blue);
}

void vexa_bitmap::SetPixel(int x, int y, const vexa_colour &colour)
{
    SetPixel(x, y, (unsigned char)colour.red, (unsigned char)colour.green, (unsigned char)colour.blue);
}

void vexa_bitmap::SetPixel(int x, int y, unsigned char red, unsigned char green, unsigned char blue)
{
    pixel_lock data(*this);
    pixel_view v;
    if (!data.open(&v))
        return;
    if (x < 0 || y < 0 || x >= v.width || y >= v.height)
        return;
    unsigned char *p = pixel_at(v, x, y);
    p[CH_RED] = red;
    p[CH_GREEN] = green;
    p[CH_BLUE] = blue;
}

void vexa_bitmap::DrawTextGlyph(const vexa_bitmap &glyph, int x, int y, const vexa_colour &text_colour,
                                const vexa_colour &background_colour)
{
    pixel_lock dest_data(*this);
    pixel_view d;
    if (!dest_data.open(&d)) {
        fail("Error in vexa_bitmap::DrawTextGlyph(), pixel data dest failed?\n");
        return;
    }
    wxBitmap glyph_ref(glyph); // shares the pixels; the access needs a non-const bitmap
    pixel_lock src_data(glyph_ref);
    pixel_view s;
    if (!src_data.open(&s)) {
        fail("Error in vexa_bitmap::DrawTextGlyph(), pixel data src failed?\n");
        return;
    }
    blit_area a;
    if (!clip_blit(s.width, s.height, d.width, d.height, x, y, &a))
        return;
    const int tr = text_colour.red, tg = text_colour.green, tb = text_colour.blue;
    const int br = background_colour.red, bg = background_colour.green, bb = background_colour.blue;
    for (int row = 0; row < a.height; row++) {
        const unsigned char *sp = pixel_at(s, a.src_x, a.src_y + row);
        unsigned char *dp = pixel_at(d, a.dst_x, a.dst_y + row);
        for (int col = 0; col < a.width; col++, sp += PIXEL_BYTES, dp += PIXEL_BYTES) {
            int g = sp[CH_GREEN];
            if (g == 0) {
                dp[CH_RED] = (unsigned char)br;
                dp[CH_GREEN] = (unsigned char)bg;
                dp[CH_BLUE] = (unsigned char)bb;
            } else {
                dp[CH_RED] = glyph_blend(br, tr, g);
                dp[CH_GREEN] = glyph_blend(bg, tg, g);
                dp[CH_BLUE] = glyph_blend(bb, tb, g);
            }
        }
    }
}

void vexa_bitmap::DrawTextGlyphTransparent(const vexa_bitmap &glyph, int x, int y, const vexa_colour &text_colour)
{
    pixel_lock dest_data(*this);
    pixel_view d;
    if (!dest_data.open(&d)) {
        fail("Error in vexa_bitmap::DrawTextGlyphTransparent(), pixel data dest failed?\n");
        return;
    }
    wxBitmap glyph_ref(glyph);
    pixel_lock src_data(glyph_ref);
    pixel_view s;
    if (!src_data.open(&s)) {
        fail("Error in vexa_bitmap::DrawTextGlyphTransparent(), pixel data src failed?\n");
        return;
    }
    blit_area a;
    if (!clip_blit(s.width, s.height, d.width, d.height, x, y, &a))
        return;
    const int tr = text_colour.red, tg = text_colour.green, tb = text_colour.blue;
    for (int row = 0; row < a.height; row++) {
        const unsigned char *sp = pixel_at(s, a.src_x, a.src_y + row);
        unsigned char *dp = pixel_at(d, a.dst_x, a.dst_y + row);
        for (int col = 0; col < a.width; col++, sp += PIXEL_BYTES, dp += PIXEL_BYTES) {
            int g = sp[CH_GREEN];
            if (g == 0)
                continue;
            dp[CH_RED] = glyph_blend(dp[CH_RED], tr, g);
            dp[CH_GREEN] = glyph_blend(dp[CH_GREEN], tg, g);
            dp[CH_BLUE] = glyph_blend(dp[CH_BLUE], tb, g);
        }
    }
}

void vexa_bitmap::DrawText(const vexa_glyph_table *table, const char *text, int x, int y,
                           const vexa_colour &text_colour, const vexa_colour &background_colour)
{
    if (!table || !text || !IsOk() || y > GetHeight() || x > GetWidth())
        return;
    for (const unsigned char *c = (const unsigned char *)text; *c; c++) {
        const vexa_bitmap *glyph = table->glyph[*c & (VEXA_GLYPH_TABLE_SIZE - 1)];
        if (!glyph || !glyph->IsOk())
            continue;
        DrawTextGlyph(*glyph, x, y, text_colour, background_colour);
        x += glyph->GetWidth();
    }
}

void vexa_bitmap::DrawTextTransparent(const vexa_glyph_table *table, const char *text, int x, int y,
                                      const vexa_colour &text_colour)
{
    if (!table || !text || !IsOk() || y > GetHeight() || x > GetWidth())
        return;
    for (const unsigned char *c = (const unsigned char *)text; *c; c++) {
        const vexa_bitmap *glyph = table->glyph[*c & (VEXA_GLYPH_TABLE_SIZE - 1)];
        if (!glyph || !glyph->IsOk())
            continue;
        DrawTextGlyphTransparent(*glyph, x, y, text_colour);
        x += glyph->GetWidth();
    }
}

void vexa_bitmap::MeasureText(const vexa_glyph_table *table, const char *text, int *width, int *height)
{
    if (!table || !text)
        return;
    int w = 0, h = 0;
    for (const unsigned char *c = (const unsigned char *)text; *c; c++) {
        const vexa_bitmap *glyph = table->glyph[*c & (VEXA_GLYPH_TABLE_SIZE - 1)];
        if (!glyph || !glyph->IsOk())
            continue;
        w += glyph->GetWidth();
        h = glyph->GetHeight();
    }
    if (width)
        *width = w;
    if (height)
        *height = h;
}

void vexa_bitmap::DrawBitmapIgnoreAlpha(const vexa_bitmap &source, int x, int y)
{
    pixel_lock dest_data(*this);
    pixel_view d;
    if (!dest_data.open(&d)) {
        fail("Error in vexa_bitmap::DrawBitmapIgnoreAlpha(), pixel data dest failed?\n");
        return;
    }
    wxBitmap source_ref(source);
    pixel_lock src_data(source_ref);
    pixel_view s;
    if (!src_data.open(&s)) {
        fail("Error in vexa_bitmap::DrawBitmapIgnoreAlpha(), pixel data src failed?\n");
        return;
    }
    blit_area a;
    if (!clip_blit(s.width, s.height, d.width, d.height, x, y, &a))
        return;
    int words = pixels_are_words(d) && pixels_are_words(s);
    for (int row = 0; row < a.height; row++) {
        const unsigned char *sp = pixel_at(s, a.src_x, a.src_y + row);
        unsigned char *dp = pixel_at(d, a.dst_x, a.dst_y + row);
        if (words) {
            // memmove: the source may be this very bitmap.
            memmove(dp, sp, (size_t)a.width * 4);
            continue;
        }
        for (int col = 0; col < a.width; col++, sp += PIXEL_BYTES, dp += PIXEL_BYTES) {
            dp[CH_RED] = sp[CH_RED];
            dp[CH_GREEN] = sp[CH_GREEN];
            dp[CH_BLUE] = sp[CH_BLUE];
        }
    }
}

void vexa_bitmap::DrawBitmapUseAlpha(const vexa_bitmap &source, int x, int y)
{
    pixel_lock dest_data(*this);
    pixel_view d;
    if (!dest_data.open(&d)) {
        fail("Error in vexa_bitmap::DrawBitmapUseAlpha(), pixel data dest failed?\n");
        return;
    }
    wxBitmap source_ref(source);
    pixel_lock src_data(source_ref);
    pixel_view s;
    if (!src_data.open(&s)) {
        fail("Error in vexa_bitmap::DrawBitmapUseAlpha(), pixel data src failed?\n");
        return;
    }
    blit_area a;
    if (!clip_blit(s.width, s.height, d.width, d.height, x, y, &a))
        return;
    for (int row = 0; row < a.height; row++) {
        const unsigned char *sp = pixel_at(s, a.src_x, a.src_y + row);
        unsigned char *dp = pixel_at(d, a.dst_x, a.dst_y + row);
        for (int col = 0; col < a.width; col++, sp += PIXEL_BYTES, dp += PIXEL_BYTES) {
            unsigned int alpha = sp[CH_ALPHA];
            dp[CH_RED] = (unsigned char)((sp[CH_RED] * alpha) >> 8);
            dp[CH_GREEN] = (unsigned char)((sp[CH_GREEN] * alpha) >> 8);
            dp[CH_BLUE] = (unsigned char)((sp[CH_BLUE] * alpha) >> 8);
        }
    }
}

void vexa_bitmap::DrawFilledCircle(int cx, int cy, int radius, const vexa_colour &colour)
{
    pixel_lock data(*this);
    pixel_view v;
    if (!data.open(&v)) {
        fail("Error in vexa_bitmap::DrawFilledCircle(), pixel data failed?\n");
        return;
    }
    // 64-bit throughout: r * (r + 1) and the row range overflow ints for
    // large radii or far-off centres.
    long long r = radius < 0 ? 0 : radius;
    long long top = (long long)cy - r, bottom = (long long)cy + r;
    if (bottom < 0 || top >= v.height)
        return;
    if (top < 0)
        top = 0;
    if (bottom > v.height - 1)
        bottom = v.height - 1;
    const unsigned char cr = (unsigned char)colour.red, cg = (unsigned char)colour.green,
                        cb = (unsigned char)colour.blue;
    for (long long y = top; y <= bottom; y++) {
        long long dy = y - cy;
        long long w = r * (r + 1) - dy * dy;
        if (w < 0)
            w = 0;
        long long half = (long long)sqrt((double)w);
        long long left = (long long)cx - half, right = (long long)cx + half;
        if (right < 0 || left >= v.width)
            continue;
        if (left < 0)
            left = 0;
        if (right > v.width - 1)
            right = v.width - 1;
        fill_span(v, (int)left, (int)right, (int)y, cr, cg, cb);
    }
}

void vexa_bitmap::DrawFilledRectangle(int x1, int y1, int x2, int y2, const vexa_colour &colour)
{
    pixel_lock data(*this);
    pixel_view v;
    if (!data.open(&v)) {
        fail("Error in vexa_bitmap::DrawFilledRectangle(), pixel data failed?\n");
        return;
    }
    if (!order_and_clip(&x1, &y1, &x2, &y2, v.width, v.height))
        return;
    const unsigned char cr = (unsigned char)colour.red, cg = (unsigned char)colour.green,
                        cb = (unsigned char)colour.blue;
    for (int y = y1; y <= y2; y++)
        fill_span(v, x1, x2, y, cr, cg, cb);
}

// Fixed-point colour steps of a gradient: each next() advances one step of
// (end - start) / divisor and yields the colour reached.
struct gradient_walk {
    long long acc[3];
    long long step[3];

    gradient_walk(const vexa_colour &start, const vexa_colour &end, long long divisor)
    {
        const int from[3] = {start.red, start.green, start.blue};
        const int to[3] = {end.red, end.green, end.blue};
        for (int i = 0; i < 3; i++) {
            acc[i] = (long long)from[i] << GRADIENT_FRACTION_BITS;
            step[i] = (((long long)to[i] << GRADIENT_FRACTION_BITS) - acc[i]) / divisor;
        }
    }
    void next(unsigned char *r, unsigned char *g, unsigned char *b)
    {
        for (int i = 0; i < 3; i++)
            acc[i] += step[i];
        *r = (unsigned char)(acc[0] >> GRADIENT_FRACTION_BITS);
        *g = (unsigned char)(acc[1] >> GRADIENT_FRACTION_BITS);
        *b = (unsigned char)(acc[2] >> GRADIENT_FRACTION_BITS);
    }
};

void vexa_bitmap::DrawXGradientRectangle(int x1, int y1, int x2, int y2, const vexa_colour &start,
                                         const vexa_colour &end)
{
    pixel_lock data(*this);
    pixel_view v;
    if (!data.open(&v)) {
        fail("Error in vexa_bitmap::DrawXGradientRectangle(), pixel data failed?\n");
        return;
    }
    if (x1 > x2) {
        int t = x1;
        x1 = x2;
        x2 = t;
    }
    // The span is taken before clipping, so a clipped gradient keeps its slope.
    long long divisor = (long long)x2 - x1 + 2;
    int ox1 = x1, oy1 = y1, ox2 = x2, oy2 = y2;
    if (!order_and_clip(&ox1, &oy1, &ox2, &oy2, v.width, v.height))
        return;
    gradient_walk walk(start, end, divisor);
    for (int x = ox1; x <= ox2; x++) {
        unsigned char r, g, b;
        walk.next(&r, &g, &b);
        unsigned char *p = pixel_at(v, x, oy1);
        for (int y = oy1; y <= oy2; y++, p += v.stride) {
            p[CH_RED] = r;
            p[CH_GREEN] = g;
            p[CH_BLUE] = b;
        }
    }
}

void vexa_bitmap::DrawYGradientRectangle(int x1, int y1, int x2, int y2, const vexa_colour &start,
                                         const vexa_colour &end)
{
    pixel_lock data(*this);
    pixel_view v;
    if (!data.open(&v)) {
        fail("Error in vexa_bitmap::DrawYGradientRectangle(), pixel data failed?\n");
        return;
    }
    if (y1 > y2) {
        int t = y1;
        y1 = y2;
        y2 = t;
    }
    long long divisor = (long long)y2 - y1 + 2;
    int ox1 = x1, oy1 = y1, ox2 = x2, oy2 = y2;
    if (!order_and_clip(&ox1, &oy1, &ox2, &oy2, v.width, v.height))
        return;
    gradient_walk walk(start, end, divisor);
    for (int y = oy1; y <= oy2; y++) {
        unsigned char r, g, b;
        walk.next(&r, &g, &b);
        fill_span(v, ox1, ox2, y, r, g, b);
    }
}

void vexa_bitmap::DrawLine(int x1, int y1, int x2, int y2, const vexa_colour &colour)
{
    if (x1 == x2 && y1 == y2) {
        SetPixel(x1, y1, colour);
        return;
    }
    // 64-bit differences: the distance between two ints can exceed an int.
    long long dx = (long long)x1 - x2, dy = (long long)y1 - y2;
    if (dx < 0)
        dx = -dx;
    if (dy < 0)
        dy = -dy;
    if (dy < dx) {
        int sx = x1, sy = y1, ex = x2, ey = y2;
        if (sx > ex) {
            sx = x2;
            sy = y2;
            ex = x1;
            ey = y1;
        }
        long long err = dx / 2;
        int y = sy, ystep = ey > sy ? 1 : -1;
        for (long long x = sx; x <= ex; x++) {
            SetPixel((int)x, y, colour);
            err -= dy;
            if (err < 0) {
                y += ystep;
                err += dx;
            }
        }
    } else {
        int sx = x1, sy = y1, ex = x2, ey = y2;
        if (sy > ey) {
            sx = x2;
            sy = y2;
            ex = x1;
            ey = y1;
        }
        long long err = dy / 2;
        int x = sx, xstep = ex > sx ? 1 : -1;
        for (long long y = sy; y <= ey; y++) {
            SetPixel(x, (int)y, colour);
            err -= dx;
            if (err < 0) {
                x += xstep;
                err += dy;
            }
        }
    }
}

void vexa_bitmap::DrawPolygon(int count, const vexa_polygon_point *points, int offset_x, int offset_y,
                              const vexa_colour &outline_colour, const vexa_colour &fill_colour)
{
    if (count < 3) {
        if (log_level > 0)
            log_message("Error in vexa_bitmap::DrawPolygon(), only got %d points, need a minimum of 3.\n", count);
        return;
    }
    if (count >= VEXA_POLYGON_MAX_POINTS) {
        if (log_level > 0)
            log_message("Error in vexa_bitmap::DrawPolygon(), got %d points, max is %d.\n", count,
                        (int)VEXA_POLYGON_MAX_POINTS);
        return;
    }
    if (!points) {
        if (log_level > 0)
            log_message("Error in vexa_bitmap::DrawPolygon(), no point list.\n");
        return;
    }

    vexa_polygon_point shifted[VEXA_POLYGON_MAX_POINTS];
    for (int i = 0; i < count; i++) {
        shifted[i].x = (int)((long long)points[i].x + offset_x);
        shifted[i].y = (int)((long long)points[i].y + offset_y);
    }

    polygon_edge edges[VEXA_POLYGON_MAX_POINTS];
    int edge_count = 0;
    int scan_top = shifted[count - 1].y, scan_bottom = shifted[count - 1].y;
    for (int i = 0; i < count; i++) {
        const vexa_polygon_point &from = shifted[i == 0 ? count - 1 : i - 1];
        const vexa_polygon_point &to = shifted[i];
        if (from.y == to.y)
            continue;
        const vexa_polygon_point &top = from.y < to.y ? from : to;
        const vexa_polygon_point &bottom = from.y < to.y ? to : from;
        polygon_edge &e = edges[edge_count++];
        e.top_y = top.y;
        e.bottom_y = bottom.y;
        e.active = 0;
        e.x = top.x;
        e.slope = ((double)bottom.x - top.x) / ((double)bottom.y - top.y);
        if (e.top_y < scan_top)
            scan_top = e.top_y;
        if (e.bottom_y > scan_bottom)
            scan_bottom = e.bottom_y;
    }
    sort_edges(edges, edge_count);

    for (long long line = scan_top; line <= scan_bottom; line++) {
        int y = (int)line;
        int next = 0;
        for (;;) {
            int first = next_usable_edge(edges, edge_count, next, y);
            if (first < 0)
                break;
            int second = next_usable_edge(edges, edge_count, first + 1, y);
            if (second < 0) {
                if (log_level > 1)
                    log_message("Error in DrawPolygon(), unclosed poly for draw line?\n");
                break;
            }
            DrawLine(truncate_to_int(edges[first].x), y, truncate_to_int(edges[second].x), y, fill_colour);
            next = second + 1;
        }
        if (line == scan_bottom)
            break;
        int next_y = y + 1;
        int kept = 0;
        for (int i = 0; i < edge_count; i++) {
            if (edges[i].bottom_y < next_y)
                continue;
            edges[kept] = edges[i];
            if (edges[kept].top_y < next_y) {
                edges[kept].top_y = next_y;
                edges[kept].x += edges[kept].slope;
            }
            kept++;
        }
        edge_count = kept;
        sort_edges(edges, edge_count);
    }

    for (int i = 0; i < count; i++) {
        const vexa_polygon_point &from = shifted[i];
        const vexa_polygon_point &to = shifted[i == 0 ? count - 1 : i - 1];
        DrawLine(from.x, from.y, to.x, to.y, outline_colour);
    }
}
