#pragma once
// A window of known pixels over the whole virtual screen, so a test knows
// what a screen copy must hold.

#include <windows.h>

#include <cstdint>
#include <thread>

namespace capturetest {

// Every pixel differs from its neighbours and tells its own place: red is
// x, green is y (low bytes), blue carries the high bits of both. Opaque.
std::uint32_t patternColour(int x, int y);

// A topmost popup over the virtual screen painting patternColour at every
// point (x, y) relative to the virtual screen's top-left corner. It runs on
// a thread of its own, like another program's window: it repaints what a
// hidden window uncovers while the test's thread waits in the capture.
class PatternWindow {
public:
    PatternWindow();
    ~PatternWindow();
    PatternWindow(const PatternWindow&) = delete;
    PatternWindow& operator=(const PatternWindow&) = delete;

private:
    void run(HANDLE ready);
    std::thread thread_;
    HWND window_ = nullptr;
};

}  // namespace capturetest
