#pragma once
// When the editor may draw its picture the quick way. While the user drags
// the window's frame, every size step would scale the whole base image
// again; a rough picture keeps up with the pointer instead, and the exact
// one is drawn once the size stops changing: when the system's size-and-move
// loop ends, or, for steps that came outside that loop while the mouse
// button was down, when the button is up again.

class LiveResize {
public:
    // The system's size-and-move loop begins.
    void loopEntered();
    // The loop ends; true when quick frames were shown and the exact picture
    // is due now.
    bool loopLeft();
    // The client size changed; `buttonHeld`: the primary mouse button is down.
    void sized(bool buttonHeld);
    // Whether the button must be watched: a step came outside the loop with
    // the button held, and the exact picture waits for its release.
    bool watchingButton() const;
    // The button looked at again; true when it is up and the exact picture
    // is due now.
    bool buttonSeen(bool buttonHeld);

    bool quick() const { return quick_; }

private:
    bool inLoop_ = false;
    bool quick_ = false;
};
