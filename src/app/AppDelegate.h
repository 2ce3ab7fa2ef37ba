#pragma once
// The application's own delegate object: a reference to a window and a launch hook. The
// program's behaviour lives in ShrinkerController, the main window's controller.

#include <atomic>

class QWidget;

class AppDelegate {
public:
    std::atomic<QWidget *> window{nullptr}; // not owned

    void applicationDidFinishLaunching() {}
};
