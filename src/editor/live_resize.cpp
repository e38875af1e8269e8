#include "editor/live_resize.h"

#include <utility>

void LiveResize::loopEntered() {
    inLoop_ = true;
}

bool LiveResize::loopLeft() {
    inLoop_ = false;
    return std::exchange(quick_, false);
}

void LiveResize::sized(bool buttonHeld) {
    if (inLoop_ || buttonHeld) quick_ = true;
}

bool LiveResize::watchingButton() const {
    return quick_ && !inLoop_;
}

bool LiveResize::buttonSeen(bool buttonHeld) {
    if (!watchingButton() || buttonHeld) return false;
    quick_ = false;
    return true;
}
