// Cost of the window layer's calls as the program makes them: drawing calls
// from the logic thread (target: under 5 microseconds each) and a widget
// call that goes to the GUI thread and back.

#include <benchmark/benchmark.h>

#include <string>

#include "platform/appgraphics.h"
#include "window_bench.h"

namespace ag = appgraphics;

namespace {

using window_bench::BenchWindow;

void BM_Line(benchmark::State& state) {
    BenchWindow window;
    ag::setcolor(ag::creatergb(128, 128, 128));
    int i = 0;
    for (auto _ : state) {
        const int k = i++ % 600;
        ag::line(80 + k, 20, 680 - k, 320);
    }
}
BENCHMARK(BM_Line);

void BM_PutPixel(benchmark::State& state) {
    BenchWindow window;
    int i = 0;
    for (auto _ : state) {
        const int k = i++;
        ag::putpixel(100 + k % 500, 20 + (k / 500) % 300, 0x800000);
    }
}
BENCHMARK(BM_PutPixel);

// A tick label of the residual plot.
void BM_OutTextXYLabel(benchmark::State& state) {
    BenchWindow window;
    ag::settextstyle(ag::SANS_SERIF_FONT, ag::HORIZ_DIR, 15);
    int i = 0;
    for (auto _ : state) ag::outtextxy(10, 1 + 15 * (i++ % 30), "-6.000");
}
BENCHMARK(BM_OutTextXYLabel);

// A line of a results table in the fixed-pitch font.
void BM_OutTextXYTableLine(benchmark::State& state) {
    BenchWindow window;
    ag::settextstyle(ag::MONOSPACE_FONT, ag::HORIZ_DIR, 14);
    const std::string text = "  1.23456789E+01    4.5678E-03    0.9876  ";
    int i = 0;
    for (auto _ : state) ag::outtextxy(10, 1 + 15 * (i++ % 30), text);
}
BENCHMARK(BM_OutTextXYTableLine);

void BM_EnableButton(benchmark::State& state) {
    BenchWindow window;
    const int button = ag::createbutton(370, 460, 65, 25, "Close", [] {});
    bool on = false;
    for (auto _ : state) ag::enablebutton(button, on = !on);
}
BENCHMARK(BM_EnableButton);

// A residual plot of 1000 points: grid, labels, a marker per point, a trend
// line through them, then the canvas made visible. "per_call" is the mean
// time of one drawing call.
void BM_ResidualPlot1000(benchmark::State& state) {
    BenchWindow window;
    // Calls per redraw: set-up 3, grid 21, text style 2 and labels 10, points
    // 1 + 2 x 1000, trend line 2 + 1000, titles 5 and refreshall 1.
    constexpr int kCalls = 3 + 21 + 12 + 2001 + 1002 + 6;
    for (auto _ : state) {
        ag::setbkcolor(ag::WHITE);
        ag::clearviewport();
        ag::setcolor(ag::DARKGRAY);
        for (int k = 0; k <= 20; ++k) ag::line(143, 21 + k * 15, 689, 21 + k * 15);
        ag::setcolor(ag::BLACK);
        ag::settextstyle(ag::SANS_SERIF_FONT, ag::HORIZ_DIR, 15);
        for (int k = 0; k < 5; ++k) {
            ag::outtextxy(100, 13 + k * 75, "-6.000");
            ag::outtextxy(130 + k * 137, 330, "250.00");
        }
        ag::setcolor(0x800000);
        for (int i = 0; i < 1000; ++i) {
            const int px = 143 + i * 546 / 1000;
            const int py = 170 + (i * 37 % 140) - 70;
            ag::putpixel(px, py, 0x800000);
            ag::rectangle(px - 2, py - 2, px + 2, py + 2);
        }
        ag::setcolor(0xFF8080);
        ag::moveto(143, 170);
        for (int i = 0; i < 1000; ++i) ag::lineto(143 + i * 546 / 1000, 170 + (i % 20) - 10);
        ag::settextstyle(ag::SANS_SERIF_FONT, ag::HORIZ_DIR, 16);
        ag::outtextxy(200, 0, "Plot of Normalized Residuals versus Number of Data");
        ag::outtextxy(330, 370, "Number of Data");
        ag::settextstyle(ag::SANS_SERIF_FONT, ag::VERT_DIR, 16);
        ag::outtextxy(50, 100, "Normalized Residuals");
        ag::refreshall();
    }
    state.counters["per_call"] =
        benchmark::Counter(kCalls, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_ResidualPlot1000)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) { return window_bench::run(argc, argv); }
