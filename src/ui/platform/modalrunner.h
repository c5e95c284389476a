#pragma once

class QDialog;

// Opens a window modally. The program waits until the window closes; a test's runner may
// show it and return at once, then drive it. Windows handed here delete themselves on close.
class ModalRunner {
public:
    virtual ~ModalRunner() = default;
    virtual void run(QDialog *window);
};
