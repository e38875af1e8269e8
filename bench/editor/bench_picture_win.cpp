#include "bench_picture_win.h"

#include <algorithm>
#include <chrono>
#include <string>

namespace editorbench {

double median(std::vector<double> times) {
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

double medianMilliseconds(int runs, const std::function<void()>& step) {
    step();  // warm-up: fonts, first allocations
    std::vector<double> times;
    for (int run = 0; run < runs; ++run) {
        auto start = std::chrono::steady_clock::now();
        step();
        times.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
    }
    return median(std::move(times));
}

namespace {

std::uint32_t screenPixel(int x, int y) {
    struct Window {
        int left, top, width, height;
    };
    static const Window windows[] = {{200, 150, 1500, 1000}, {1300, 400, 1800, 1200}, {2400, 100, 1300, 900},
                                     {400, 1300, 1200, 700}};
    if (x >= 2600 && x < 3500 && y >= 1350 && y < 1950) {  // the photo
        std::uint32_t noise = (static_cast<std::uint32_t>(x) * 2654435761u ^ static_cast<std::uint32_t>(y) * 40503u) >> 28;
        return 0xFF000000u | ((x / 4 + noise) % 256) << 16 | ((y / 3 + noise) % 256) << 8 | ((x + y) / 8 % 256);
    }
    for (const Window& window : windows) {
        int dx = x - window.left, dy = y - window.top;
        if (dx < 0 || dy < 0 || dx >= window.width || dy >= window.height) continue;
        if (dy < 32) return 0xFF2B579Au;
        bool textLine = dy > 50 && dy % 24 < 12 && dx > 24 && dx < window.width - 24 - (dy * 37) % 400;
        bool glyph = textLine && (dx % 9 < 6) && (dx / 9 + dy / 24) % 11 != 0;
        return glyph ? 0xFF202020u : 0xFFF3F3F3u;
    }
    return 0xFF000000u | (30 + y * 60 / kHeight) << 16 | (60 + y * 80 / kHeight) << 8 | (120 + y * 100 / kHeight);
}

}  // namespace

std::unique_ptr<Gdiplus::Bitmap> screenLikePicture() {
    auto picture = std::make_unique<Gdiplus::Bitmap>(kWidth, kHeight, PixelFormat32bppARGB);
    Gdiplus::BitmapData data{};
    Gdiplus::Rect whole(0, 0, kWidth, kHeight);
    picture->LockBits(&whole, Gdiplus::ImageLockModeWrite, PixelFormat32bppARGB, &data);
    for (int y = 0; y < kHeight; ++y) {
        auto* row = reinterpret_cast<std::uint32_t*>(static_cast<std::uint8_t*>(data.Scan0) + y * data.Stride);
        for (int x = 0; x < kWidth; ++x) row[x] = screenPixel(x, y);
    }
    picture->UnlockBits(&data);
    return picture;
}

std::vector<Annotation> mixedMarks(int count) {
    std::uint32_t seed = 12345;
    auto next = [&](int limit) {
        seed = seed * 1103515245u + 12345u;
        return static_cast<float>((seed >> 8) % static_cast<std::uint32_t>(limit));
    };
    std::vector<Annotation> marks;
    for (int i = 0; i < count; ++i) {
        Annotation mark;
        mark.kind = static_cast<AnnotationKind>(i % 6);
        mark.x1 = next(kWidth - 400);
        mark.y1 = next(kHeight - 300);
        mark.x2 = mark.x1 + 20 + next(380);
        mark.y2 = mark.y1 + 20 + next(280);
        mark.color = 0xFF000000u | static_cast<std::uint32_t>(next(0xFFFFFF));
        mark.thickness = 2.0f + 2.0f * static_cast<float>(i % 5);
        mark.points.push_back({mark.x1, mark.y1});
        if (mark.kind == AnnotationKind::Pen) {
            for (int step = 1; step <= 60; ++step) {
                mark.points.push_back({mark.x1 + step * 5.0f, mark.y1 + 40.0f * ((step / 6) % 2)});
            }
        }
        if (mark.kind == AnnotationKind::Text) {
            mark.points.clear();
            mark.text = L"Пометка " + std::to_wstring(i);
        }
        marks.push_back(std::move(mark));
    }
    return marks;
}

}  // namespace editorbench
