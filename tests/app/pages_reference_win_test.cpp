// Each page, and one frame of a transition, drawn at 100 % (through the
// window) and 150 % (through the scaled painter) against stored PNG images.
// How to refresh them: tests/app/reference/README.md.

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <limits>

#include "main_window_fixture_win.h"

#include "app/pages.h"
#include "storage/capture_history.h"
#include "storage/text.h"
#include "support/pixels_win.h"

namespace apptest {
namespace {

// Rendering here is deterministic, so only a handful of pixels may differ,
// and by little: a box moved by two pixels or a wrong colour fails.
constexpr int kChannelTolerance = 16;
constexpr int kDifferingPixelsAllowed = 8;

Pixels render(float scale) {
    int width = static_cast<int>(380 * scale), height = static_cast<int>(440 * scale);
    if (scale == 1.0f) return renderWith(width, height, [](HDC dc) { paintMainWindow(app.mainWindow, dc); });
    return renderWith(width, height, [&](HDC dc) { paintMainWindowAt(dc, width, height, scale); });
}

std::wstring imageFile(const std::string& name, float scale) {
    return toWide(name) + (scale == 1.0f ? L"-100.png" : L"-150.png");
}

// What is drawn now looks like the stored image `name`, outside the boxes
// (units) in `ignored`. What was drawn instead is kept in the build tree.
void expectLike(const std::string& name, float scale, const std::vector<UnitBox>& ignored = {}) {
    Pixels image = render(scale);
    std::optional<Pixels> expected = loadPng(windowsPath(CLIPVANE_PAGES_REFERENCE_DIR) + L"/" + imageFile(name, scale));
    ASSERT_TRUE(expected) << "no reference image " << name << "; run once with CLIPVANE_WRITE_REFERENCE=1";
    std::vector<RECT> skipped;
    for (const UnitBox& box : ignored) skipped.push_back(pixelRect(image, box, scale, 2));
    int differing = compareImages(image, *expected, kChannelTolerance, skipped);
    EXPECT_LE(differing, kDifferingPixelsAllowed) << name << " at " << scale << ": " << differing << " pixels differ";
    if (differing <= kDifferingPixelsAllowed) return;
    std::filesystem::create_directories(std::filesystem::path(windowsPath(CLIPVANE_PAGES_ACTUAL_DIR)));
    savePng(image, windowsPath(CLIPVANE_PAGES_ACTUAL_DIR) + L"/" + imageFile(name, scale));
}

void showProfile(const std::string& name) {
    app.currentPage = 4;
    app.profile = {{"username", name}};
}

void showNews(const std::string& title, const std::string& body) {
    app.currentPage = 3;
    app.news = nlohmann::json::array({{{"title", title}, {"body", body}}});
}

using PagePaint = MainWindowTest;

TEST_F(PagePaint, EachPageMatchesItsStoredImages) {
    const std::pair<const char*, std::function<void()>> pages[] = {
        {"quota-unlinked", [] {}},
        {"quota-linked",
         [] {
             app.token = "token";
             app.profile = {{"used", 7}, {"limit", 30}, {"pro", true}};
         }},
        {"week",
         [] {
             app.currentPage = 1;
             const int counts[7] = {0, 0, 5, 10, 0, 0, 1};
             for (int day = 0; day < 7; ++day) {
                 if (counts[day] != 0) app.settingsDoc["captures"][dayKey(day - 6)] = counts[day];
             }
         }},
        {"coming-soon", [] { app.currentPage = 2; }},
        {"news-empty", [] { app.currentPage = 3; }},
        {"news-item",
         [] {
             showNews("Быстрая загрузка и новые пометки для снимков экрана",
                      "Снимки теперь уходят на сайт вдвое быстрее, а ссылка сразу попадает в буфер обмена. "
                      "Добавлены мозаика и свободное перо, толщину линий можно менять на лету, а история "
                      "снимков хранится два месяца.");
         }},
        {"profile", [] { showProfile("Анна Петрова"); }},
        {"transition-half",
         [] {
             app.currentPage = 2;
             app.pageProgress = 0.2f;
         }},
    };
    for (const auto& [name, show] : pages) {
        SetUp();
        show();
        // The week's day labels change with the date.
        std::vector<UnitBox> ignored;
        if (name == std::string("week")) ignored.push_back({0, 305, 380, 22});
        for (float scale : {1.0f, 1.5f}) {
            const char* writing = std::getenv("CLIPVANE_WRITE_REFERENCE");
            if (writing && *writing && std::string(writing) != "0") {
                ASSERT_TRUE(savePng(render(scale), windowsPath(CLIPVANE_PAGES_REFERENCE_DIR) + L"/" +
                                                       imageFile(name, scale)));
            } else {
                expectLike(name, scale, ignored);
            }
        }
    }
}

TEST_F(PagePaint, VeryLongTextsStayInsideTheirBoxes) {
    std::string longWords;
    while (longWords.size() < 20000) longWords += "очень длинное имя пользователя ";
    showProfile(longWords);
    expectLike("profile", 1.5f, {{42, 138, 300, 25}});
    showNews(longWords, std::string(50000, 'x'));
    expectLike("news-item", 1.5f, {{24, 177, 332, 52}, {24, 232, 332, 64}});
}

TEST_F(PagePaint, MalformedStateStillPaintsTheDefaults) {
    app.token = "token";
    app.profile = nlohmann::json::array({1, 2, 3});
    app.news = "not news";
    app.pageProgress = std::numeric_limits<float>::quiet_NaN();
    app.settingsDoc["captures"] = nlohmann::json::array({"x"});
    for (int page : {-3, 0, 1, 4, 99}) {
        app.currentPage = page;
        Pixels image = render(1.0f);
        EXPECT_EQ(std::count(image.argb.begin(), image.argb.end(), kUnpainted), 0) << page;
    }
    EXPECT_LE(channelDistance(render(1.0f).at(29, 149), 0xFF8F42E7), 3) << "a page past the last draws the last";
    app.currentPage = 3;
    expectLike("news-empty", 1.0f);
}

}  // namespace
}  // namespace apptest
