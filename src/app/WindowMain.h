#pragma once

// The door between the nixora program and its window. The window, with Qt Gui, Widgets and Svg
// behind it, lives in a module of its own (nixora-window.so) that nixora loads only when it is
// to open a window: the listings, --help and --version then start with Qt Core alone. Plain C
// on this side, so nothing but these few fields has to agree between the two.

extern "C" {

struct NixoraWindowRequest {
    const char* prefix;           // --prefix DIR in UTF-8; empty: the start-up choice
    int timings;                  // --timings: report the start-up time and quit
    long long startedNanoseconds; // when main() began, on std::chrono::steady_clock
};

// Opens the window, runs it and returns the exit status. Creates the QApplication from argc
// and argv, so no application object may exist when it is called.
__attribute__((visibility("default"))) int nixoraRunWindow(int argc, char** argv,
                                                           const NixoraWindowRequest* request);

// The symbol nixora looks up in the module.
#define NIXORA_WINDOW_ENTRY "nixoraRunWindow"

} // extern "C"
