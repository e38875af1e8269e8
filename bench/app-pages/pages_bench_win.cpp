// Time of one main window paint, one transition frame and their steps, at
// 100 % and 200 %, beside a plain BitBlt of the client area as the floor.
// Prints milliseconds per call (median and mean of many calls).

#include <windows.h>
#include <gdiplus.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <vector>

#include "app/app_state.h"
#include "app/pages.h"
#include "app/pages_layer.h"
#include "app/win_handles.h"
#include "storage/capture_history.h"

namespace {

constexpr int kRuns = 150;

struct Figures {
    double median;
    double mean;
};

Figures measure(const std::function<void()>& step) {
    step();  // warm-up: fonts, code pages, first allocation
    std::vector<double> times;
    for (int run = 0; run < kRuns; ++run) {
        auto start = std::chrono::steady_clock::now();
        step();
        times.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
    }
    std::sort(times.begin(), times.end());
    double sum = 0;
    for (double time : times) sum += time;
    return {times[times.size() / 2], sum / times.size()};
}

void report(const char* what, int percent, const Figures& figures) {
    std::printf("%-34s %4d %%  median %8.3f ms  mean %8.3f ms\n", what, percent, figures.median, figures.mean);
}

// A memory DC holding a client-sized 32-bit bitmap, like a window's.
struct Surface {
    MemoryDc dc;
    GdiObject<HBITMAP> bitmap;
    HGDIOBJ previous = nullptr;

    Surface(HDC screen, int width, int height)
        : dc(CreateCompatibleDC(screen)), bitmap(CreateCompatibleBitmap(screen, width, height)) {
        previous = SelectObject(dc.get(), bitmap.get());
    }
    ~Surface() { SelectObject(dc.get(), previous); }
};

void showBusyState() {
    app.token = "token";
    app.profile = {{"used", 7}, {"limit", 30}, {"pro", true}, {"username", "Анна"}};
    app.news = nlohmann::json::array({{{"title", "Быстрая загрузка"}, {"body", "Снимки уходят на сайт быстрее."}}});
    for (int day = -60; day <= 0; ++day) app.settingsDoc["captures"][dayKey(day)] = (day * 7 + 100) % 13;
    app.statusLine = L"Ctrl+Shift+S — область • Print Screen — весь экран";
}

void benchScale(HDC screen, int percent) {
    float scale = percent / 100.0f;
    int width = static_cast<int>(380 * scale);
    int height = static_cast<int>(440 * scale);
    Surface source(screen, width, height);
    Surface target(screen, width, height);

    report("floor: BitBlt of the client area", percent, measure([&] {
        BitBlt(target.dc.get(), 0, 0, width, height, source.dc.get(), 0, 0, SRCCOPY);
        GdiFlush();
    }));

    app.pageProgress = 1.0f;
    for (int page = 0; page < 5; ++page) {
        app.currentPage = page;
        char label[64];
        std::snprintf(label, sizeof label, "paint, settled page %d", page);
        report(label, percent, measure([&] { paintMainWindowAt(target.dc.get(), width, height, scale); }));
    }

    app.currentPage = 1;  // the heaviest page: 21 history reads
    app.pageProgress = 0.3f;
    report("transition frame, page 1", percent,
           measure([&] { paintMainWindowAt(target.dc.get(), width, height, scale); }));

    // The steps of a transition frame, one by one, as the painter does them.
    report("step: buffer and layer allocation", percent, measure([&] {
        DibCanvas freshBuffer(width, height);
        DibCanvas freshLayer(width, height);
    }));
    DibCanvas buffer(width, height);
    DibCanvas layer(width, height);
    report("step: page 1 layer (clear + draw)", percent, measure([&] {
        std::fill(layer.pixels(), layer.pixels() + width * height, 0u);
        Gdiplus::Bitmap pixels(width, height, layer.stride(), PixelFormat32bppPARGB,
                               reinterpret_cast<BYTE*>(layer.pixels()));
        Gdiplus::Graphics graphics(&pixels);
        graphics.ScaleTransform(scale, scale);
        graphics.SetSmoothingMode(Gdiplus::SmoothingModeAntiAlias);
        drawPageLayer(graphics, 1);
    }));
    report("step: fade layer in (AlphaBlend 0.66)", percent, measure([&] {
        BLENDFUNCTION blend{AC_SRC_OVER, 0, 168, AC_SRC_ALPHA};
        AlphaBlend(buffer.dc(), 4, 0, width, height, layer.dc(), 0, 0, width, height, blend);
        GdiFlush();
    }));
    report("step: present buffer on the DC", percent, measure([&] {
        BitBlt(target.dc.get(), 0, 0, width, height, buffer.dc(), 0, 0, SRCCOPY);
        GdiFlush();
    }));
}

}  // namespace

int main() {
    Gdiplus::GdiplusStartupInput input;
    ULONG_PTR token = 0;
    Gdiplus::GdiplusStartup(&token, &input, nullptr);
    showBusyState();
    {
        ScreenDc screen;
        for (int percent : {100, 200}) benchScale(screen.get(), percent);
    }
    Gdiplus::GdiplusShutdown(token);
    return 0;
}
