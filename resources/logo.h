// The launcher's logo: a 480 by 300 RGBA PNG built into the program, decoded
// at start-up by the launcher window.
#ifndef QV_RESOURCES_LOGO_H
#define QV_RESOURCES_LOGO_H

// Width and height of the picture in pixels.
enum { LAUNCHER_LOGO_WIDTH = 480, LAUNCHER_LOGO_HEIGHT = 300 };

// The PNG file's bytes and their count.
extern const unsigned char launcher_logo_png[];
extern const unsigned int launcher_logo_png_size;

#endif
