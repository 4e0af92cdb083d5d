// One full repaint of the launcher window's contents as the paint handler
// does it every time: the logo laid over black into the 480 by 300 window
// bitmap, and the progress bar's two rectangles into its 460 by 10 bitmap.
// Goal: well under 1 ms, a small share of the 20 ms timer tick.
#include <benchmark/benchmark.h>

#include <stdio.h>

#include <wx/image.h>
#include <wx/init.h>
#include <wx/mstream.h>

#include "gfx/bitmap.h"
#include "resources/logo.h"

namespace {

struct repaint_scene {
    vexa_bitmap *logo = nullptr;
    vexa_bitmap *window = nullptr;
    vexa_bitmap *bar = nullptr;

    repaint_scene()
    {
        wxInitialize();
        if (!wxImage::FindHandler(wxBITMAP_TYPE_PNG))
            wxImage::AddHandler(new wxPNGHandler);
        wxMemoryInputStream stream(launcher_logo_png, launcher_logo_png_size);
        wxImage image(stream, wxBITMAP_TYPE_PNG);
        logo = new vexa_bitmap(image);
        window = new vexa_bitmap(480, 300);
        bar = new vexa_bitmap(460, 10);
        if (!logo->IsOk() || !logo->HasAlpha())
            fprintf(stderr, "bench_gfx_repaint: the logo did not decode\n");
    }
};

repaint_scene &scene()
{
    static repaint_scene s;
    return s;
}

// The bar's draw_contents for a value: filled part, then the empty rest.
void draw_bar(vexa_bitmap &bar, double value)
{
    const int w = 460, h = 10;
    double filled = value * w / 100.0;
    int f = filled > 0 ? (filled >= w ? w : (int)filled) : 0;
    if (f > 0)
        bar.DrawFilledRectangle(0, 0, f - 1, h - 1, vexa_colour(128, 128, 128));
    if (f < w)
        bar.DrawFilledRectangle(f, 0, w - 1, h - 1, vexa_colour(32, 32, 32));
}

void BM_LauncherRepaint(benchmark::State &state)
{
    repaint_scene &s = scene();
    double value = 0;
    for (auto _ : state) {
        s.window->DrawBitmapUseAlpha(*s.logo, 0, 0);
        draw_bar(*s.bar, value);
        value = value >= 100 ? 0 : value + 0.7;
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_LauncherRepaint)->Unit(benchmark::kMicrosecond);

void BM_LogoOverBlack(benchmark::State &state)
{
    repaint_scene &s = scene();
    for (auto _ : state) {
        s.window->DrawBitmapUseAlpha(*s.logo, 0, 0);
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_LogoOverBlack)->Unit(benchmark::kMicrosecond);

void BM_ProgressBarRectangles(benchmark::State &state)
{
    repaint_scene &s = scene();
    for (auto _ : state) {
        draw_bar(*s.bar, 12.345);
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_ProgressBarRectangles)->Unit(benchmark::kMicrosecond);

} // namespace

BENCHMARK_MAIN();
