#include "app/pages_layer.h"

#include "app/app_state.h"
#include "app/drawing_kit.h"
#include "app/page_model.h"
#include "storage/capture_history.h"
#include "storage/text.h"

namespace {

using Gdiplus::ARGB;
using Gdiplus::Graphics;
using Gdiplus::RectF;

constexpr ARGB kWeekTotalColor = 0xFF00D3A4;
constexpr ARGB kTrackColor = 0xFF292929;
constexpr ARGB kFieldColor = 0xFF202020;

// Texts from the site and the page values are UTF-8.
void putUtf8(Graphics& graphics, const std::string& text, const TextBox& box) {
    drawBoxedText(graphics, toWide(text), box);
}

void drawAccentDot(Graphics& graphics, int page) {
    Gdiplus::SolidBrush brush(Gdiplus::Color(pageAccentColors[page]));
    graphics.FillEllipse(&brush, 25.0f, 145.0f, 8.0f, 8.0f);
}

void drawQuotaPage(Graphics& graphics) {
    QuotaView view = quotaView(app.profile, !app.token.empty());
    drawBoxedText(graphics, L"Загрузки сегодня", {42, 138, 240, 25, 13, mutedColor});
    putUtf8(graphics, view.badge, {308, 139, 50, 22, 12, mutedColor});
    putUtf8(graphics, view.usedText, {23, 178, 150, 65, 48, textColor});
    putUtf8(graphics, view.limitText, {130, 201, 200, 33, 22, mutedColor});
    fillRoundRect(graphics, RectF(24, 252, kQuotaBarWidth, 5), kTrackColor, 3);
    if (view.showFill) fillRoundRect(graphics, RectF(24, 252, view.fillWidth, 5), lightColor, 3);
    putUtf8(graphics, view.caption, {24, 273, 332, 40, 13, mutedColor});
    drawBoxedText(graphics, L"14 дней в облаке · локально без лимита", {24, 318, 332, 23, 12, mutedColor});
}

WeekView currentWeek() {
    std::array<int, 7> counts{};
    std::array<std::string, 7> keys;
    for (int day = 0; day < 7; ++day) {
        counts[day] = countOnDay(day - 6);
        keys[day] = dayKey(day - 6);
    }
    return weekView(counts, keys);
}

void drawWeekPage(Graphics& graphics) {
    WeekView view = currentWeek();
    drawBoxedText(graphics, L"За эту неделю", {42, 138, 210, 25, 13, mutedColor});
    putUtf8(graphics, view.totalText, {258, 139, 100, 25, 13, kWeekTotalColor});
    for (int day = 0; day < 7; ++day) {
        float height = view.barHeights[day];
        fillRoundRect(graphics, RectF(24.0f + 48 * day, 296 - height, 36, height), textColor, 5);
        putUtf8(graphics, view.dayLabels[day], {31.0f + 48 * day, 305, 40, 22, 11, mutedColor});
    }
    drawBoxedText(graphics, L"Снимки на этом компьютере, включая локальные", {24, 333, 332, 22, 11, mutedColor});
}

void drawComingSoonPage(Graphics& graphics) {
    drawBoxedText(graphics, L"Новые возможности", {42, 138, 300, 25, 13, mutedColor});
    drawBoxedText(graphics, L"\u2726", {167, 182, 70, 60, 36, mutedColor});
    drawBoxedText(graphics, L"В разработке", {99, 252, 240, 36, 24, textColor});
    drawBoxedText(graphics, L"Следите за новостями на соседней вкладке.", {24, 304, 332, 40, 12, mutedColor});
}

void drawNewsPage(Graphics& graphics) {
    NewsView view = newsView(app.news);
    drawBoxedText(graphics, L"Обновления", {42, 138, 300, 25, 13, mutedColor});
    if (view.empty) {
        drawBoxedText(graphics, L"Пока без новостей", {24, 193, 332, 36, 22, textColor});
        drawBoxedText(graphics, L"Нажмите ↻, чтобы проверить обновления.", {24, 246, 332, 44, 13, mutedColor});
        return;
    }
    putUtf8(graphics, view.title, {24, 177, 332, 52, 20, textColor});
    putUtf8(graphics, view.body, {24, 232, 332, 64, 13, mutedColor});
}

void drawProfilePage(Graphics& graphics) {
    putUtf8(graphics, profileHeading(app.profile), {42, 138, 300, 25, 13, mutedColor});
    drawBoxedText(graphics, L"Адрес сайта", {24, 164, 332, 20, 11, mutedColor});
    fillRoundRect(graphics, RectF(24, 182, 332, 30), kFieldColor, 6);
    drawBoxedText(graphics, L"Код из личного кабинета", {24, 218, 332, 20, 11, mutedColor});
    fillRoundRect(graphics, RectF(24, 238, 204, 30), kFieldColor, 6);
}

}  // namespace

void drawBoxedText(Graphics& graphics, const std::wstring& text, const TextBox& box) {
    Gdiplus::GraphicsState saved = graphics.Save();
    graphics.IntersectClip(RectF(box.x, box.y, box.width, box.height));
    drawText(graphics, text, box.x, box.y, box.width, box.height, box.size, box.color, box.style);
    graphics.Restore(saved);
}

void drawPageLayer(Graphics& layer, int page) {
    using PageDrawer = void (*)(Graphics&);
    static constexpr PageDrawer pages[PAGE_COUNT] = {drawQuotaPage, drawWeekPage, drawComingSoonPage,
                                                     drawNewsPage, drawProfilePage};
    int index = pageIndex(page);
    drawAccentDot(layer, index);
    pages[index](layer);
}
