#include "app/page_animation.h"

#include <algorithm>
#include <cmath>

int pageDirectionFor(int newPage, int currentPage) {
    return newPage > currentPage ? 1 : -1;
}

PageTick advancePageAnimation(PageMotion motion, int page) {
    float target = static_cast<float>(page);
    motion.indicatorPos += (target - motion.indicatorPos) * 0.22f;
    motion.pageProgress = std::min(motion.pageProgress + 0.055f, 1.0f);
    bool finished = std::fabs(target - motion.indicatorPos) < 0.02f && motion.pageProgress >= 1.0f;
    if (finished) motion.indicatorPos = target;
    return {motion, finished};
}
