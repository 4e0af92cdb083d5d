// vexa_bitmap: a 32-bit RGBA picture in memory with drawing primitives that
// compute the pixels themselves instead of going through a drawing context.
// The embedded windows and the progress bar keep their pictures in one; the
// launcher lays its logo into its window's bitmap with DrawBitmapUseAlpha.
//
// Pixels are 4 bytes, red, green, blue, alpha (255 opaque), reached through
// the toolkit's raw alpha pixel access for the duration of one primitive.
// Unless stated, a primitive writes red, green and blue and leaves alpha.
// When the pixel access cannot be had (a bitmap without alpha, an invalid
// one) a primitive draws nothing and, at log_level above 1, logs why.
#ifndef QV_GFX_BITMAP_H
#define QV_GFX_BITMAP_H

#include <wx/bitmap.h>

#include "gfx/colour.h"

class wxImage;
class vexa_bitmap;

// Side of the bitmap made by the default constructor.
enum { VEXA_BITMAP_DEFAULT_SIZE = 16 };
// Glyph slots of a glyph table: a character byte selects one by its low 7 bits.
enum { VEXA_GLYPH_TABLE_SIZE = 128 };
// Edge table room of DrawPolygon (kept on the stack); point counts of this
// size or more are refused.
enum { VEXA_POLYGON_MAX_POINTS = 1000 };

// The glyphs of one font. A glyph is a bitmap whose green channel is the ink
// coverage (0 none, 255 full) and whose width is the character's advance.
// Slots may be null. The table does not own the glyphs.
struct vexa_glyph_table {
    vexa_bitmap *glyph[VEXA_GLYPH_TABLE_SIZE];
};

struct vexa_polygon_point {
    int x;
    int y;
};

class vexa_bitmap : public wxBitmap {
public:
    // 16 by 16, see below.
    vexa_bitmap();
    // A 32-bit bitmap of that size with every alpha 255 (colours black). A
    // width or height below 1 leaves an invalid bitmap that draws nothing.
    vexa_bitmap(int width, int height);
    // The toolkit's conversion of the image at the default depth; alpha comes
    // from the image (an image without alpha gives a bitmap the primitives
    // cannot draw into).
    explicit vexa_bitmap(const wxImage &image);
    // Deep copies: the pixels are duplicated, not shared. An invalid source
    // gives an invalid bitmap.
    vexa_bitmap(const wxBitmap &source);
    vexa_bitmap(const vexa_bitmap &source);
    vexa_bitmap &operator=(const wxBitmap &source);
    vexa_bitmap &operator=(const vexa_bitmap &source);
    virtual ~vexa_bitmap();

    // Every pixel's alpha becomes 255; colours stay.
    void ClearAlpha();
    // Every pixel becomes the colour with alpha 255.
    void Clear(const vexa_colour &colour);
    // One pixel's red, green and blue; alpha stays. Outside: nothing happens.
    void SetPixel(int x, int y, const vexa_colour &colour);
    void SetPixel(int x, int y, unsigned char red, unsigned char green, unsigned char blue);

    // Draws the glyph opaquely with its top left at (x, y): coverage 0 gives
    // the background, otherwise (back * (255 - g) + text * g) / 256 per channel.
    void DrawTextGlyph(const vexa_bitmap &glyph, int x, int y, const vexa_colour &text_colour,
                       const vexa_colour &background_colour);
    // The same blend over the pixels already there; coverage 0 leaves them.
    void DrawTextGlyphTransparent(const vexa_bitmap &glyph, int x, int y, const vexa_colour &text_colour);
    // Draws the text glyph by glyph from (x, y), advancing by each glyph's
    // width; missing glyphs take no room. Nothing when the table or text is
    // null or (x, y) lies right of or below the bitmap.
    void DrawText(const vexa_glyph_table *table, const char *text, int x, int y, const vexa_colour &text_colour,
                  const vexa_colour &background_colour);
    void DrawTextTransparent(const vexa_glyph_table *table, const char *text, int x, int y,
                             const vexa_colour &text_colour);
    // Width: the sum of the present glyphs' widths; height: the height of the
    // last present glyph (0 when none). A null table or text leaves both
    // outputs as they are.
    static void MeasureText(const vexa_glyph_table *table, const char *text, int *width, int *height);

    // Copies the source, alpha included, with its top left at (x, y), clipped.
    void DrawBitmapIgnoreAlpha(const vexa_bitmap &source, int x, int y);
    // Lays the source down as if over black: channel * alpha / 256. The old
    // destination colour and alpha do not enter; destination alpha stays.
    void DrawBitmapUseAlpha(const vexa_bitmap &source, int x, int y);

    // Fills the disc whose rows span sqrt(r * (r + 1) - dy * dy) either side
    // of the centre; a negative radius counts as 0 (one pixel).
    void DrawFilledCircle(int cx, int cy, int radius, const vexa_colour &colour);
    // Fills the rectangle between the two corners, both included, clipped.
    void DrawFilledRectangle(int x1, int y1, int x2, int y2, const vexa_colour &colour);
    // Fills the rectangle with colours stepping from start to end left to
    // right (8-bit fixed point, step = (end - start) * 256 / (columns + 1),
    // added before each column); clipping on the left shifts the gradient.
    void DrawXGradientRectangle(int x1, int y1, int x2, int y2, const vexa_colour &start, const vexa_colour &end);
    // The same top to bottom.
    void DrawYGradientRectangle(int x1, int y1, int x2, int y2, const vexa_colour &start, const vexa_colour &end);
    // A one-pixel Bresenham line, both end points included, through SetPixel.
    void DrawLine(int x1, int y1, int x2, int y2, const vexa_colour &colour);
    // Fills the polygon (points shifted by the offset) scan line by scan line
    // from an edge table, then draws its outline. Refuses fewer than 3 points
    // or VEXA_POLYGON_MAX_POINTS and more, with a message at log_level above 0.
    void DrawPolygon(int count, const vexa_polygon_point *points, int offset_x, int offset_y,
                     const vexa_colour &outline_colour, const vexa_colour &fill_colour);

private:
    void copy_from(const wxBitmap &source);
};

#endif
