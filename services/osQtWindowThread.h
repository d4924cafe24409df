// Joins the window thread's call queue to Qt's event loop: calls that worker threads hand to the
// window thread (Synchronize) run from the event loop, promptly, without polling.
#pragma once

// Makes the calling thread (the one running QApplication) the window thread and installs the
// wake-up, and tells the protocol's guard how deep in Qt's event loops the thread is. Call once,
// right after the QApplication is created.
void InstallWindowThreadHook();
