// Each page, and one frame of a transition, against stored PNG images at
// 100 % and 150 %. How to refresh them: tests/app/reference/README.md.

#include <cstdlib>
#include <filesystem>
#include <functional>

#include "pages_fixture_win.h"
#include "pages_pixels_win.h"

#include "storage/text.h"

namespace pagetest {
namespace {

// Rendering here is deterministic, so only a handful of pixels may differ,
// and by little: a box moved by two pixels or a wrong colour fails.
constexpr int kChannelTolerance = 16;
constexpr int kDifferingPixelsAllowed = 8;

struct ReferenceCase {
    const char* name;
    std::function<void()> show;
    // Units boxes left out of the comparison: the week's day labels change
    // with the date.
    std::vector<UnitBox> ignored;
};

void PrintTo(const ReferenceCase& reference, std::ostream* out) {
    *out << reference.name;
}

std::wstring underWine(const char* unixPath) {
    return L"Z:" + toWide(unixPath);
}

bool writingReferences() {
    const char* flag = std::getenv("CLIPVANE_WRITE_REFERENCE");
    return flag && *flag && std::string(flag) != "0";
}

class ReferenceImages : public MainWindowPages,
                        public ::testing::WithParamInterface<std::tuple<ReferenceCase, float>> {};

TEST_P(ReferenceImages, MatchTheStoredImage) {
    const auto& [reference, scale] = GetParam();
    reference.show();
    Pixels image = renderAt(static_cast<int>(380 * scale), static_cast<int>(440 * scale), scale);
    ASSERT_FALSE(image.argb.empty());

    std::string file = std::string(reference.name) + (scale == 1.0f ? "-100.png" : "-150.png");
    std::wstring stored = underWine(CLIPVANE_PAGES_REFERENCE_DIR) + L"/" + toWide(file);
    if (writingReferences()) {
        ASSERT_TRUE(savePng(image, stored)) << file;
        return;
    }
    std::filesystem::create_directories(std::filesystem::path(underWine(CLIPVANE_PAGES_ACTUAL_DIR)));
    std::wstring actual = underWine(CLIPVANE_PAGES_ACTUAL_DIR) + L"/" + toWide(file);
    savePng(image, actual);  // kept in the build tree to look at when this fails

    std::optional<Pixels> expected = loadPng(stored);
    ASSERT_TRUE(expected) << "no reference image " << file << "; run once with CLIPVANE_WRITE_REFERENCE=1";
    std::vector<RECT> ignored;
    for (const UnitBox& box : reference.ignored) ignored.push_back(pixelRect(image, box, scale, 2));
    Difference difference = compareImages(image, *expected, kChannelTolerance, ignored);
    EXPECT_LE(difference.differing, kDifferingPixelsAllowed)
        << file << ": " << difference.differing << " pixels differ, by up to " << difference.largest;
}

const ReferenceCase kCases[] = {
    {"quota-unlinked", [] {}, {}},
    {"quota-linked",
     [] {
         app.currentPage = 0;
         app.token = "token";
         app.profile = {{"used", 7}, {"limit", 30}, {"pro", true}};
     },
     {}},
    {"week",
     [] {
         app.currentPage = 1;
         setWeek({0, 0, 5, 10, 0, 0, 1});
     },
     {{0, 305, 380, 22}}},
    {"coming-soon", [] { app.currentPage = 2; }, {}},
    {"news-empty", [] { app.currentPage = 3; }, {}},
    {"news-item",
     [] {
         app.currentPage = 3;
         app.news = nlohmann::json::array(
             {{{"title", "Быстрая загрузка и новые пометки для снимков экрана"},
               {"body", "Снимки теперь уходят на сайт вдвое быстрее, а ссылка сразу попадает в буфер обмена. "
                        "Добавлены мозаика и свободное перо, толщину линий можно менять на лету, а история "
                        "снимков хранится два месяца."}}});
     },
     {}},
    {"profile",
     [] {
         app.currentPage = 4;
         app.profile = {{"username", "Анна Петрова"}};
     },
     {}},
    {"transition-half",
     [] {
         app.currentPage = 2;
         app.pageProgress = 0.2f;
         app.pageDirection = 1;
     },
     {}},
};

INSTANTIATE_TEST_SUITE_P(Pages, ReferenceImages,
                         ::testing::Combine(::testing::ValuesIn(kCases), ::testing::Values(1.0f, 1.5f)),
                         [](const auto& info) {
                             std::string name = std::get<0>(info.param).name;
                             std::replace(name.begin(), name.end(), '-', '_');
                             return name + (std::get<1>(info.param) == 1.0f ? "_100" : "_150");
                         });

}  // namespace
}  // namespace pagetest
