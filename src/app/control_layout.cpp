#include "app/control_layout.h"

#include "app/command_ids.h"

namespace {

constexpr ControlSpec kCommonControls[] = {
    {ControlKind::Button, ID_CAPTURE_REGION, L"\uFF0B  Выделить область", 24, 72, 214, 38},
    {ControlKind::Button, ID_CAPTURE_FULL, L"Весь экран", 246, 72, 110, 38},
    {ControlKind::Button, ID_REFRESH, L"\u21BB", 274, 16, 26, 27},
    {ControlKind::Button, ID_MINIMIZE, L"\u2212", 306, 16, 23, 27},
    {ControlKind::Button, ID_HIDE, L"\u00D7", 333, 16, 23, 27},
    {ControlKind::Button, ID_PAGE_FIRST + 0, L"Лимиты", 26, 384, 64, 43},
    {ControlKind::Button, ID_PAGE_FIRST + 1, L"Неделя", 92, 384, 64, 43},
    {ControlKind::Button, ID_PAGE_FIRST + 2, L"Скоро", 158, 384, 64, 43},
    {ControlKind::Button, ID_PAGE_FIRST + 3, L"Новости", 224, 384, 64, 43},
    {ControlKind::Button, ID_PAGE_FIRST + 4, L"Профиль", 290, 384, 64, 43},
};

constexpr ControlSpec kNewsControls[] = {
    {ControlKind::Button, ID_OPEN_ACCOUNT, L"Все обновления \u2197", 24, 302, 180, 30},
};

constexpr ControlSpec kProfileControls[] = {
    {ControlKind::AddressEdit, 0, L"", 34, 185, 312, 24},
    {ControlKind::CodeEdit, 0, L"", 34, 241, 188, 24},
    {ControlKind::Button, ID_LINK, L"Привязать", 236, 237, 120, 34},
    {ControlKind::Button, ID_OPEN_ACCOUNT, L"Личный кабинет \u2197", 24, 291, 214, 34},
    {ControlKind::Button, ID_UNLINK, L"Отвязать", 246, 291, 110, 34},
};

constexpr int kDragBandUnits = 65;

}  // namespace

std::vector<ControlSpec> mainControlSpecs(int page) {
    std::vector<ControlSpec> specs(std::begin(kCommonControls), std::end(kCommonControls));
    if (page == 4) specs.insert(specs.end(), std::begin(kProfileControls), std::end(kProfileControls));
    if (page == 3) specs.insert(specs.end(), std::begin(kNewsControls), std::end(kNewsControls));
    return specs;
}

int scaleUnits(int units, unsigned dpi) {
    return static_cast<int>(static_cast<long long>(units) * dpi / 96);
}

bool inDragBand(int y, unsigned dpi) {
    // y < 65 * dpi / 96, compared without rounding either side.
    return static_cast<long long>(y) * 96 < static_cast<long long>(kDragBandUnits) * dpi;
}
