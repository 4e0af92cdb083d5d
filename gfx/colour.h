// vexa_colour: an RGB colour as the bitmap primitives take it. Channels are
// signed ints, normally 0 to 255; a primitive stores the low 8 bits of each.
#ifndef QV_GFX_COLOUR_H
#define QV_GFX_COLOUR_H

struct vexa_colour {
    int red;
    int green;
    int blue;

    // All channels 0 (black).
    vexa_colour() : red(0), green(0), blue(0) {}
    vexa_colour(int r, int g, int b) : red(r), green(g), blue(b) {}
};

#endif
