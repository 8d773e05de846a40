// vellora-bench: runs the show's transitions on the real Windows platform in a
// full-screen window, for the benchmark and the same-pixels and leak tests.
//   rows PICTURE [--render]   measures pause(1) and pause(10), then runs the reveal and
//                             the clear of rows 1 to 19 with the picture placed as the
//                             show places it; one line per row and direction, with the
//                             time its pauses really took
//   pauses                    how long pause(1) and pause(10) really last
//   frames                    reads commands from standard input, one per line:
//                               load PATH               loads and places a picture
//                               draw ROW reveal|clear F runs one transition on a black
//                                                       screen without pausing, passing on
//                                                       only the first fraction F of its
//                                                       drawing calls (1: all)
//                               quit
//   leak PICTURE COUNT        loads, draws and releases the picture COUNT times; prints
//                             the process's GDI objects and memory before and after
// The variable VELLORA_RENDER_PATH=render (or --render) draws with IPicture::Render only.
#include <windows.h>
#include <mmsystem.h>
#include <psapi.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <memory>
#include <string>

#include "effects/catalogue.h"
#include "platform/win32/win32_platform.h"
#include "slideshow/controller.h"
#include "slideshow/picture_source.h"
#include "slideshow/random.h"
#include "slideshow/slide_state.h"

using namespace vellora;

namespace {

struct Counts {
    long long renders = 0, fills = 0, pies = 0;
    long long calls() const { return renders + fills + pies; }
};

// Counts the drawing calls and, when given a budget, drops every call past it, so a
// transition can be stopped at an intermediate frame.
class CountingCanvas : public Canvas {
public:
    explicit CountingCanvas(Canvas& inner) : inner_(inner) {}
    Counts counts;
    long long budget = -1;

    DeviceMetrics metrics() override { return inner_.metrics(); }
    void fillBlack(std::int32_t l, std::int32_t t, std::int32_t r, std::int32_t b) override {
        ++counts.fills;
        if (pass()) inner_.fillBlack(l, t, r, b);
    }
    void render(const Picture& p, std::int32_t x, std::int32_t y, std::int32_t cx, std::int32_t cy, std::int32_t xs,
                std::int32_t ys, std::int32_t cxs, std::int32_t cys) override {
        ++counts.renders;
        if (pass()) inner_.render(p, x, y, cx, cy, xs, ys, cxs, cys);
    }
    void selectBlackBrush() override { inner_.selectBlackBrush(); }
    void pie(std::int32_t l, std::int32_t t, std::int32_t r, std::int32_t b, std::int32_t x1, std::int32_t y1,
             std::int32_t x2, std::int32_t y2) override {
        ++counts.pies;
        if (pass()) inner_.pie(l, t, r, b, x1, y1, x2, y2);
    }
    void reset(long long newBudget) {
        counts = {};
        budget = newBudget;
    }

private:
    bool pass() const { return budget < 0 || counts.calls() <= budget; }
    Canvas& inner_;
};

double nowMs() {
    static const double frequency = [] {
        LARGE_INTEGER f;
        QueryPerformanceFrequency(&f);
        return static_cast<double>(f.QuadPart);
    }();
    LARGE_INTEGER t;
    QueryPerformanceCounter(&t);
    return static_cast<double>(t.QuadPart) * 1000.0 / frequency;
}

// Counts the pauses and times each one where it happens, so that a transition's
// own drawing time is its wall time less what its pauses really took. Pausing can
// be switched off where only pixels matter.
class CountingClock : public Clock {
public:
    explicit CountingClock(Clock& inner) : inner_(inner) {}
    bool sleeps = true;
    long long pauses = 0, nominalMs = 0;
    double pausedMs = 0;

    void sleep(std::uint32_t ms) override {
        ++pauses;
        nominalMs += ms;
        if (!sleeps) return;
        const double start = nowMs();
        inner_.sleep(ms);
        pausedMs += nowMs() - start;
    }
    std::int64_t calendarSeconds() override { return inner_.calendarSeconds(); }
    std::uint32_t tickCount() override { return inner_.tickCount(); }
    void reset() {
        pauses = nominalMs = 0;
        pausedMs = 0;
    }

private:
    Clock& inner_;
};

void pumpMessages() {
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&message);
}

// Puts what was drawn on the display before the caller is told: Wine hands a
// window's pixels to the X server when the thread waits for messages.
void showOnScreen() {
    GdiFlush();
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 0, QS_ALLINPUT);
    pumpMessages();
}

HWND openFullScreenWindow() {
    WNDCLASSA wc{};
    wc.style = CS_OWNDC;
    wc.lpfnWndProc = DefWindowProcA;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.hbrBackground = static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
    wc.lpszClassName = "VelloraBench";
    RegisterClassA(&wc);
    HWND window = CreateWindowExA(WS_EX_TOPMOST, wc.lpszClassName, "Vellora bench", WS_POPUP | WS_VISIBLE, 0, 0,
                                  GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN), nullptr, nullptr,
                                  wc.hInstance, nullptr);
    UpdateWindow(window);
    pumpMessages();
    return window;
}

// The show's platform with counting wrappers around the drawing and the pauses.
struct Bench {
    Platform real;
    std::unique_ptr<CountingClock> clock;
    std::unique_ptr<CountingCanvas> canvas;
    Canvas* screen = nullptr;
    HWND window = nullptr;

    Bench() {
        win32::installWin32Platform();
        real = platform();
        clock = std::make_unique<CountingClock>(*real.clock);
        Platform counted = real;
        counted.clock = clock.get();
        installPlatform(counted);
        window = openFullScreenWindow();
        screen = real.windows->deviceContext(reinterpret_cast<WindowHandle>(window));
        canvas = std::make_unique<CountingCanvas>(*screen);
        slideState().window = reinterpret_cast<WindowHandle>(window);
        slideState().hdc = canvas.get();
        measureDisplay(*screen);
    }

    void blank() {
        const SlideState& s = slideState();
        screen->fillBlack(0, 0, s.screenWidth, s.screenHeight);
        GdiFlush();
    }

    // Loads the picture through the show's loader and places it as the show does.
    std::unique_ptr<Picture> load(const std::string& path) {
        std::unique_ptr<Picture> picture = loadPicture(path);
        if (!picture) return nullptr;
        SlideState& s = slideState();
        s.pictureWidth = picture->widthHimetric();
        s.pictureHeight = picture->heightHimetric();
        placePicture();
        return picture;
    }
};

struct PauseFigures {
    double mean = 0, worst = 0;
};

PauseFigures measurePause(std::uint32_t ms) {
    constexpr int samples = 200;
    PauseFigures f;
    for (int i = 0; i < samples; ++i) {
        const double start = nowMs();
        platform().clock->sleep(ms);
        const double took = nowMs() - start;
        f.mean += took / samples;
        if (took > f.worst) f.worst = took;
    }
    return f;
}

bool renderPathWanted(int argc, char** argv) {
    for (int i = 1; i < argc; ++i)
        if (std::strcmp(argv[i], "--render") == 0) return true;
    const char* variable = std::getenv("VELLORA_RENDER_PATH");
    return variable && std::strcmp(variable, "render") == 0;
}

void printPauses(const PauseFigures& one, const PauseFigures& ten) {
    std::printf("pause 1 %.3f %.3f\npause 10 %.3f %.3f\n", one.mean, one.worst, ten.mean, ten.worst);
}

int runRows(Bench& bench, const std::string& path) {
    printPauses(measurePause(1), measurePause(10));
    bench.clock->reset();
    std::printf("row,direction,wall_ms,nominal_ms,pauses,renders,fills,pies,overhead_ms,real_pause_ms\n");
    for (int row = 1; row < effectCount; ++row) {
        std::unique_ptr<Picture> picture = bench.load(path);
        if (!picture) {
            std::fprintf(stderr, "cannot load %s\n", path.c_str());
            return 1;
        }
        seedRandom(1);
        bench.blank();
        for (const bool reveal : {true, false}) {
            bench.canvas->reset(-1);
            bench.clock->reset();
            const double start = nowMs();
            if (reveal)
                effectCatalogue[row].reveal(*picture);
            else
                effectCatalogue[row].clear();
            GdiFlush();
            const double wall = nowMs() - start;
            const CountingClock& c = *bench.clock;
            const Counts& n = bench.canvas->counts;
            std::printf("%d,%s,%.1f,%lld,%lld,%lld,%lld,%lld,%.1f,%.1f\n", row, reveal ? "reveal" : "clear", wall,
                        c.nominalMs, c.pauses, n.renders, n.fills, n.pies, wall - static_cast<double>(c.nominalMs),
                        c.pausedMs);
            std::fflush(stdout);
            pumpMessages();
        }
    }
    return 0;
}

// Runs one transition on a black screen (a clear after the picture's full draw),
// passing on only its first `budget` drawing calls; returns how many it makes in all.
long long drawTransition(Bench& bench, const Picture& picture, int row, bool reveal, long long budget) {
    seedRandom(1);
    bench.blank();
    if (!reveal) fullDraw(picture);
    bench.canvas->reset(budget);
    if (reveal)
        effectCatalogue[row].reveal(picture);
    else
        effectCatalogue[row].clear();
    return bench.canvas->counts.calls();
}

int runFrames(Bench& bench) {
    bench.clock->sleeps = false;
    std::unique_ptr<Picture> picture;
    std::string path;
    std::string line;
    while (std::getline(std::cin, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        char kind[16] = {};
        int row = 0;
        double fraction = 1;
        if (line.rfind("load ", 0) == 0) {
            path = line.substr(5);
            picture = bench.load(path);
            const SlideState& s = slideState();
            showOnScreen();
            std::printf(picture ? "placed %d %d %d %d\n" : "failed\n", s.drawLeft, s.drawTop, s.drawWidth,
                        s.drawHeight);
        } else if (std::sscanf(line.c_str(), "draw %d %15s %lf", &row, kind, &fraction) == 3 && picture && row >= 1 &&
                   row < effectCount) {
            const bool reveal = std::strcmp(kind, "reveal") == 0;
            long long budget = -1;
            if (fraction < 1) budget = static_cast<long long>(drawTransition(bench, *picture, row, reveal, 0) * fraction);
            const long long calls = drawTransition(bench, *picture, row, reveal, budget);
            showOnScreen();
            std::printf("done %lld %d\n", calls, win32::drawsFromBitmap(*picture) ? 1 : 0);
        } else if (line == "quit") {
            return 0;
        } else {
            std::printf("error\n");
        }
        std::fflush(stdout);
        pumpMessages();
    }
    return 0;
}

struct Usage {
    DWORD gdiObjects = 0;
    SIZE_T privateBytes = 0;
};

Usage usage() {
    Usage u;
    u.gdiObjects = GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS);
    PROCESS_MEMORY_COUNTERS counters{};
    counters.cb = sizeof counters;
    if (GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters)) u.privateBytes = counters.PagefileUsage;
    return u;
}

int runLeak(Bench& bench, const std::string& path, int count) {
    bench.clock->sleeps = false;
    long long fast = 0;
    auto drawOnce = [&] {
        std::unique_ptr<Picture> picture = bench.load(path);
        if (!picture) return false;
        effectCatalogue[3].reveal(*picture);
        fast += win32::drawsFromBitmap(*picture);
        return true;
    };
    // The first picture sets up what the system keeps for good (decoders, caches).
    if (!drawOnce() || !drawOnce()) return 1;
    const Usage before = usage();
    fast = 0;
    for (int i = 0; i < count; ++i)
        if (!drawOnce()) return 1;
    const Usage after = usage();
    std::printf("gdi %lu %lu\nmemory %llu %llu\nfast %lld\n", static_cast<unsigned long>(before.gdiObjects),
                static_cast<unsigned long>(after.gdiObjects), static_cast<unsigned long long>(before.privateBytes),
                static_cast<unsigned long long>(after.privateBytes), fast);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) return 2;
    const std::string mode = argv[1];
    // As the show's windows do: without it Sleep(1) lasts a whole scheduler tick.
    timeBeginPeriod(1);
    win32::forceRenderPath(renderPathWanted(argc, argv));
    Bench bench;
    int result = 2;
    if (mode == "rows" && argc >= 3) {
        result = runRows(bench, argv[2]);
    } else if (mode == "pauses") {
        printPauses(measurePause(1), measurePause(10));
        result = 0;
    } else if (mode == "frames") {
        result = runFrames(bench);
    } else if (mode == "leak" && argc >= 4) {
        result = runLeak(bench, argv[2], std::atoi(argv[3]));
    }
    std::fflush(stdout);
    timeEndPeriod(1);
    return result;
}
