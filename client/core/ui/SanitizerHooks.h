// What the thread sanitizer is told in a sanitizer build of a program that
// uses Qt (MAVO and its widget tests). Qt is not built with the sanitizer:
// its own locks and atomics are invisible to it, so the copies, allocations
// and frees it makes (seen through the sanitizer's interceptors) would look
// like races between its threads. Calls from Qt's libraries (and from the
// GLib allocator its event loop uses) are left out;
// everything our code does is still checked (the main window hands its
// events over with its own release and acquire, so they need no help from
// Qt's queue). A process that forks (a test starting a second MAVO) may go
// on starting threads.
//
// Include in exactly one file of a program; without the sanitizer the
// functions are never called.
#pragma once

extern "C" __attribute__((used, visibility("default"))) const char* __tsan_default_suppressions()
{
    return "called_from_lib:libQt6Core.so.6\n"
           "called_from_lib:libQt6Gui.so.6\n"
           "called_from_lib:libQt6Widgets.so.6\n"
           "called_from_lib:libQt6Network.so.6\n"
           "called_from_lib:libQt6Test.so.6\n"
           "called_from_lib:libglib-2.0.so.0\n"
           // An application-wide event filter reads the type of every event,
           // also of one posted from another thread before anything of ours
           // could order the hand-over.
           "race_top:QEvent::type\n";
}

extern "C" __attribute__((used, visibility("default"))) const char* __tsan_default_options()
{
    return "die_after_fork=0";
}
