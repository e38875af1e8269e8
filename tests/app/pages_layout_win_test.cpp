// Each page drawn through paintMainWindow, looked at pixel by pixel: every
// element shows in its colour inside its box and nothing is drawn elsewhere.

#include <cmath>
#include <limits>
#include <vector>

#include "pages_fixture_win.h"
#include "pages_pixels_win.h"

#include "app/pages.h"

namespace pagetest {
namespace {

constexpr std::uint32_t kMuted = 0xFF8F8F8F;
constexpr std::uint32_t kText = 0xFFE7E7E7;
constexpr std::uint32_t kLight = 0xFFE5E5E5;
constexpr std::uint32_t kAccents[5] = {0xFFF02163, 0xFF00D3A4, 0xFF00B5E5, 0xFFFF8800, 0xFF8F42E7};
// Anti-aliased strokes of small text rarely reach their full colour.
constexpr int kTextTolerance = 28;
// Darker than this over the background counts as no ink: the separator,
// bar track and edit fields are all fainter.
constexpr int kInkThreshold = 40;

struct Element {
    const char* name;
    UnitBox box;
    std::uint32_t color;
};

const std::vector<Element> kHeaderAndStatus = {
    {"title", {24, 17, 190, 32}, kText},
    {"subtitle", {25, 48, 330, 20}, kMuted},
    {"status line", {24, 355, 332, 25}, kMuted},
};

std::vector<Element> withDot(int page, std::vector<Element> elements) {
    elements.push_back({"accent dot", {25, 145, 8, 8}, kAccents[page]});
    return elements;
}

std::vector<Element> quotaElements(bool linked) {
    std::vector<Element> elements = {
        {"heading", {42, 138, 240, 25}, kMuted},   {"plan badge", {308, 139, 50, 22}, kMuted},
        {"used", {23, 178, 150, 65}, kText},       {"limit", {130, 201, 200, 33}, kMuted},
        {"caption", {24, 273, 332, 40}, kMuted},   {"footnote", {24, 318, 332, 23}, kMuted},
    };
    if (linked) elements.push_back({"bar fill", {24, 252, 7.0f / 30 * 332, 5}, kLight});
    return withDot(0, elements);
}

std::vector<Element> weekElements(const std::array<float, 7>& heights) {
    std::vector<Element> elements = {
        {"heading", {42, 138, 210, 25}, kMuted},
        {"total", {258, 139, 100, 25}, kAccents[1]},
        {"footnote", {24, 333, 332, 22}, kMuted},
    };
    for (int day = 0; day < 7; ++day) {
        elements.push_back({"bar", {24.0f + 48 * day, 296 - heights[day], 36, heights[day]}, kText});
        elements.push_back({"day label", {31.0f + 48 * day, 305, 40, 22}, kMuted});
    }
    return withDot(1, elements);
}

const std::array<float, 7> kWeekHeights = {4, 4, 55, 110, 4, 4, 11};

std::vector<Element> comingSoonElements() {
    return withDot(2, {{"heading", {42, 138, 300, 25}, kMuted},
                       {"glyph", {167, 182, 70, 60}, kMuted},
                       {"title", {99, 252, 240, 36}, kText},
                       {"hint", {24, 304, 332, 40}, kMuted}});
}

std::vector<Element> newsEmptyElements() {
    return withDot(3, {{"heading", {42, 138, 300, 25}, kMuted},
                       {"empty title", {24, 193, 332, 36}, kText},
                       {"empty hint", {24, 246, 332, 44}, kMuted}});
}

std::vector<Element> newsItemElements(bool withBody) {
    std::vector<Element> elements = {{"heading", {42, 138, 300, 25}, kMuted},
                                     {"item title", {24, 177, 332, 52}, kText}};
    if (withBody) elements.push_back({"item body", {24, 232, 332, 64}, kMuted});
    return withDot(3, elements);
}

std::vector<Element> profileElements() {
    return withDot(4, {{"heading", {42, 138, 300, 25}, kMuted},
                       {"address label", {24, 164, 332, 20}, kMuted},
                       {"code label", {24, 218, 332, 20}, kMuted}});
}

UnitBox shifted(UnitBox box, float dx) {
    box.x += dx;
    return box;
}

// Every element has ink of its colour in its box; no ink lies outside all
// boxes. Page elements are moved by dx and faded to alpha; header and
// status line do neither.
void expectLayout(const Pixels& image, float scale, const std::vector<Element>& page, float dx = 0,
                  float alpha = 1) {
    std::vector<RECT> allowed;
    auto check = [&](const Element& element, float offset, float opacity) {
        UnitBox box = shifted(element.box, offset);
        std::uint32_t strongest = strongestPixel(image, pixelRect(image, box, scale), kBackground);
        std::uint32_t expected = blend(element.color, kBackground, opacity);
        EXPECT_LE(channelDistance(strongest, expected), kTextTolerance)
            << element.name << " at scale " << scale << ": strongest pixel " << std::hex << strongest;
        allowed.push_back(pixelRect(image, box, scale, 2));
    };
    for (const Element& element : kHeaderAndStatus) check(element, 0, 1);
    for (const Element& element : page) check(element, dx, alpha);

    int stray = 0;
    POINT first{-1, -1};
    for (int y = 0; y < image.height; ++y) {
        for (int x = 0; x < image.width; ++x) {
            bool inside = std::any_of(allowed.begin(), allowed.end(), [&](const RECT& r) {
                return x >= r.left && x < r.right && y >= r.top && y < r.bottom;
            });
            if (inside || channelDistance(image.at(x, y), kBackground) <= kInkThreshold) continue;
            if (stray++ == 0) first = {x, y};
        }
    }
    EXPECT_EQ(stray, 0) << "ink outside every box, first at " << first.x << "," << first.y << " (scale " << scale
                        << ")";
}

std::uint32_t pixelAtUnits(const Pixels& image, float x, float y, float scale) {
    return image.at(static_cast<int>(x * scale), static_cast<int>(y * scale));
}

void expectColorAt(const Pixels& image, float x, float y, float scale, std::uint32_t color, int tolerance,
                   const char* what) {
    std::uint32_t actual = pixelAtUnits(image, x, y, scale);
    EXPECT_LE(channelDistance(actual, color), tolerance)
        << what << " at (" << x << ", " << y << ") scale " << scale << ": " << std::hex << actual << " instead of "
        << color;
}

class PageLayout : public MainWindowPages, public ::testing::WithParamInterface<float> {
protected:
    // 100 % through the window itself, 150 % through the scaled painter.
    static Pixels render() {
        float scale = GetParam();
        if (scale == 1.0f) return renderWindow(app.mainWindow, 380, 440);
        return renderAt(static_cast<int>(380 * scale), static_cast<int>(440 * scale), scale);
    }
};

TEST_P(PageLayout, WholeClientAreaIsPaintedWithHeaderAndSeparator) {
    Pixels image = render();
    ASSERT_FALSE(image.argb.empty());
    float scale = GetParam();
    EXPECT_EQ(std::count(image.argb.begin(), image.argb.end(), kUnpainted), 0);
    expectColorAt(image, 5, 5, scale, kBackground, 0, "background");
    expectColorAt(image, 190, 126, scale, 0xFF222222, 6, "separator");
    expectColorAt(image, 20, 126, scale, kBackground, 0, "left of the separator");
    expectColorAt(image, 360, 126, scale, kBackground, 0, "right of the separator");
    expectColorAt(image, 190, 122, scale, kBackground, 0, "above the separator");
}

TEST_P(PageLayout, QuotaUnlinked) {
    Pixels image = render();
    float scale = GetParam();
    expectLayout(image, scale, quotaElements(false));
    expectColorAt(image, 60, 254.5f, scale, 0xFF292929, 3, "empty track");
    expectColorAt(image, 340, 254.5f, scale, 0xFF292929, 3, "empty track");
}

TEST_P(PageLayout, QuotaLinkedFillsTheBarBySevenThirtieths) {
    showQuotaLinked();
    Pixels image = render();
    float scale = GetParam();
    expectLayout(image, scale, quotaElements(true));
    float fillEnd = 24 + 7.0f / 30 * 332;
    expectColorAt(image, 40, 254.5f, scale, kLight, 6, "bar fill");
    expectColorAt(image, fillEnd - 3, 254.5f, scale, kLight, 6, "end of the bar fill");
    expectColorAt(image, fillEnd + 3, 254.5f, scale, 0xFF292929, 3, "track after the fill");
}

TEST_P(PageLayout, QuotaAboveLimitFillsTheWholeTrack) {
    showQuotaLinked();
    app.profile["used"] = 35;
    Pixels image = render();
    expectColorAt(image, 340, 254.5f, GetParam(), kLight, 6, "full bar");
}

TEST_P(PageLayout, WeekBarsStandOnOneBaseAndScaleToTheBusiestDay) {
    showWeek();
    Pixels image = render();
    float scale = GetParam();
    expectLayout(image, scale, weekElements(kWeekHeights));
    for (int day = 0; day < 7; ++day) {
        float centre = 24 + 48 * day + 18;
        expectColorAt(image, centre, 296 - kWeekHeights[day] / 2, scale, kText, 4, "bar");
        expectColorAt(image, centre, 296 - kWeekHeights[day] - 2, scale, kBackground, 0, "above a bar");
        expectColorAt(image, centre, 298, scale, kBackground, 0, "below the bar base");
    }
}

TEST_P(PageLayout, EmptyWeekShowsStubsOnly) {
    app.currentPage = 1;
    Pixels image = render();
    expectLayout(image, GetParam(), weekElements({4, 4, 4, 4, 4, 4, 4}));
}

TEST_P(PageLayout, ComingSoon) {
    showComingSoon();
    expectLayout(render(), GetParam(), comingSoonElements());
}

TEST_P(PageLayout, NewsEmptyForEveryEmptyShape) {
    app.currentPage = 3;
    for (const nlohmann::json& news : {nlohmann::json(), nlohmann::json::array(), nlohmann::json::object()}) {
        app.news = news;
        SCOPED_TRACE(news.dump());
        expectLayout(render(), GetParam(), newsEmptyElements());
    }
}

TEST_P(PageLayout, NewsShowsTheFirstItem) {
    showNewsItem();
    expectLayout(render(), GetParam(), newsItemElements(true));
}

TEST_P(PageLayout, NewsItemWithoutBodyLeavesTheBodyAreaEmpty) {
    app.currentPage = 3;
    app.news = nlohmann::json::array({{{"title", "Только заголовок"}}});
    expectLayout(render(), GetParam(), newsItemElements(false));
}

TEST_P(PageLayout, ProfileFieldsSitBehindTheEdits) {
    showProfile();
    Pixels image = render();
    float scale = GetParam();
    expectLayout(image, scale, profileElements());
    expectColorAt(image, 190, 197, scale, 0xFF202020, 2, "address field");
    expectColorAt(image, 120, 253, scale, 0xFF202020, 2, "code field");
    expectColorAt(image, 240, 253, scale, kBackground, 0, "right of the code field");
}

TEST_P(PageLayout, VeryLongTextsStayInsideTheirBoxes) {
    std::string longWords;
    while (longWords.size() < 20000) longWords += "очень длинное имя пользователя ";
    app.currentPage = 4;
    app.profile = {{"username", longWords}};
    expectLayout(render(), GetParam(), profileElements());

    app.currentPage = 3;
    app.news = nlohmann::json::array({{{"title", longWords}, {"body", std::string(50000, 'x')}}});
    expectLayout(render(), GetParam(), newsItemElements(true));

    app.statusLine = std::wstring(3000, L'ж');
    expectLayout(render(), GetParam(), newsItemElements(true));
}

INSTANTIATE_TEST_SUITE_P(Scales, PageLayout, ::testing::Values(1.0f, 1.5f),
                         [](const auto& info) { return info.param == 1.0f ? "At100" : "At150"; });

// The page fades in with alpha e = 1 - (1 - progress)^3 and slides from
// 12 units aside; header and status line are drawn without either.
class PageTransition : public MainWindowPages {};

TEST_F(PageTransition, StartsInvisibleWithHeaderAndStatusInPlace) {
    showWeek();
    app.pageProgress = 0.0f;
    Pixels image = renderWindow(app.mainWindow, 380, 440);
    expectLayout(image, 1.0f, {});
}

TEST_F(PageTransition, FirstTickIsFaintAndTenUnitsRight) {
    showWeek();
    app.pageProgress = 0.055f;
    Pixels image = renderWindow(app.mainWindow, 380, 440);
    float e = 1 - std::pow(1 - 0.055f, 3.0f);
    float dx = (1 - e) * 12;  // about 10.1
    std::uint32_t faint = blend(kText, kBackground, e);
    expectColorAt(image, 24 + 48 * 3 + 18 + dx, 241, 1.0f, faint, 3, "faded tallest bar");
    expectColorAt(image, 24 + 48 * 3 + 4, 241, 1.0f, kBackground, 0, "where the bar settles, not yet reached");
    expectColorAt(image, 24 + 48 * 3 + 36 + dx - 2, 241, 1.0f, faint, 3, "right edge of the moved bar");
    std::uint32_t title = strongestPixel(image, pixelRect(image, {24, 17, 190, 32}, 1.0f), kBackground);
    EXPECT_LE(channelDistance(title, kText), kTextTolerance) << "the header does not fade";
}

TEST_F(PageTransition, HalfWayToALowerPageIsMostlyOpaqueAndLeftOfItsPlace) {
    showWeek();
    app.pageProgress = 0.5f;
    app.pageDirection = -1;
    Pixels image = renderWindow(app.mainWindow, 380, 440);
    float dx = -(1 - 0.875f) * 12;  // -1.5
    expectLayout(image, 1.0f, weekElements(kWeekHeights), dx, 0.875f);
    std::uint32_t mixed = blend(kText, kBackground, 0.875f);
    expectColorAt(image, 24 + 48 * 3 + 18, 241, 1.0f, mixed, 3, "bar at seven eighths");
    expectColorAt(image, 24 + 48 * 3 - 1, 241, 1.0f, mixed, 8, "bar moved left over its own left edge");
    expectColorAt(image, 24 + 48 * 3 + 35.5f, 241, 1.0f, kBackground, 12, "bar's right edge moved away");
}

TEST_F(PageTransition, SettledPageIsFullyOpaque) {
    showWeek();
    app.pageProgress = 1.0f;
    Pixels image = renderWindow(app.mainWindow, 380, 440);
    expectColorAt(image, 24 + 48 * 3 + 18, 241, 1.0f, kText, 2, "opaque bar");
}

// Paints that must draw nothing and must not fail.
class PaintEdges : public MainWindowPages {};

TEST_F(PaintEdges, EmptyClientAreaPaintsNothing) {
    for (SIZE size : {SIZE{0, 440}, SIZE{380, 0}, SIZE{-5, -5}}) {
        Pixels image = renderWith(380, 440, [&](HDC dc) { paintMainWindowAt(dc, size.cx, size.cy, 1.0f); });
        EXPECT_EQ(std::count(image.argb.begin(), image.argb.end(), kUnpainted), 380 * 440);
    }
    Pixels noWindow = renderWith(380, 440, [](HDC dc) { paintMainWindow(nullptr, dc); });
    EXPECT_EQ(std::count(noWindow.argb.begin(), noWindow.argb.end(), kUnpainted), 380 * 440);
}

TEST_F(PaintEdges, MalformedStateStillPaintsTheDefaults) {
    app.token = "token";
    app.profile = nlohmann::json::array({1, 2, 3});
    app.news = "not news";
    app.pageProgress = std::numeric_limits<float>::quiet_NaN();
    app.settingsDoc["captures"] = nlohmann::json::array({"x"});
    for (int page : {-3, 0, 1, 3, 4, 99}) {
        app.currentPage = page;
        Pixels image = renderWindow(app.mainWindow, 380, 440);
        EXPECT_EQ(std::count(image.argb.begin(), image.argb.end(), kUnpainted), 0) << page;
        if (page == 3) expectLayout(image, 1.0f, newsEmptyElements());
        if (page == 4) expectLayout(image, 1.0f, profileElements());
        if (page == 1) expectLayout(image, 1.0f, weekElements({4, 4, 4, 4, 4, 4, 4}));
    }
    app.currentPage = 99;
    std::uint32_t dot = renderWindow(app.mainWindow, 380, 440).at(29, 149);
    EXPECT_LE(channelDistance(dot, kAccents[4]), 3) << "a page past the last draws the last";
}

}  // namespace
}  // namespace pagetest
