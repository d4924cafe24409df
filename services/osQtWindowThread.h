// Joins the window thread's call queue to Qt's event loop: calls that worker threads hand to the
// window thread (Synchronize) run from the event loop, promptly, without polling.
#pragma once

// Makes the calling thread (the one running QApplication) the window thread and installs the
// wake-up. Call once, right after the QApplication is created.
void InstallWindowThreadHook();
