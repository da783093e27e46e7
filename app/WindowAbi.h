// The C interface of the window module.
//
// The progress dialog, its message boxes, its icon and everything else that
// needs FLTK or X11 live in a shared module, tamble-window.so beside the
// executable, that the program loads with dlopen only when a window is to be
// shown.  The program itself links no display library, so it runs on a server
// that has none installed, and a run without a window never pays for them.
//
// The module exports, with C linkage:
//
//   unsigned TambleWindowVersion(void)
//       TAMBLE_WINDOW_ABI_VERSION of the module's build; the program uses no
//       module of another version.
//
//   int TambleWindowOpenDisplay(void)
//       1 when the X display opened (it stays open for the window), else 0.
//
//   int TambleWindowRun(const TambleWindowJob* job)
//       Builds the dialog, shows it unless the job is hidden, calls job->run
//       on the first timer tick with the dialog as the job's view, and returns
//       the dialog's result once the job has ended it; -1 when there is no
//       display or the job's version is not the module's.
//
// The job's view is the table TambleWindowView: the calls of IJobView
// (jobs/JobView.h) as plain functions of the dialog.  Everything runs on the
// calling thread; no exception crosses the interface in either direction.
#pragma once

#include <cstdint>

#define TAMBLE_WINDOW_EXPORT extern "C" __attribute__((visibility("default")))

// Raised whenever a field is added to or changed in the two tables.
constexpr unsigned TAMBLE_WINDOW_ABI_VERSION = 1;

extern "C" {

struct TambleWindowView {
    void* dialog;
    void (*setWaitText)(void* dialog, const char* text);
    void (*setSourceName)(void* dialog, const char* text);
    void (*setTargetName)(void* dialog, const char* text);
    void (*transferTexts)(void* dialog);
    void (*setFileRange)(void* dialog, std::uint32_t upper);
    void (*setFilePos)(void* dialog, std::uint32_t pos);
    void (*repaintFileBar)(void* dialog);
    void (*setOverallRange)(void* dialog, std::uint16_t upper);
    void (*setOverallPos)(void* dialog, int pos);
    void (*repaintOverallBar)(void* dialog);
    void (*message)(void* dialog, const char* text);
    void (*log)(void* dialog, const char* text);
    void (*endJob)(void* dialog, int result);
};

struct TambleWindowJob {
    unsigned version;   // TAMBLE_WINDOW_ABI_VERSION
    unsigned size;      // sizeof(TambleWindowJob)
    int zipMode;        // chooses the wait text with fileType
    int fileType;
    int hidden;        // the window is never shown
    void* resources;   // the language library the texts come from, or the program (English)
    void* context;     // handed back to run
    // Runs the job, reporting to the view; the job ends the dialog through
    // view->endJob.  Errors are reported through view->message, never thrown.
    void (*run)(void* context, const TambleWindowView* view);
};

using TambleWindowVersionProc = unsigned (*)();
using TambleWindowOpenDisplayProc = int (*)();
using TambleWindowRunProc = int (*)(const TambleWindowJob* job);
}

constexpr const char TAMBLE_WINDOW_MODULE_NAME[] = "tamble-window.so";
constexpr const char TAMBLE_WINDOW_VERSION_PROC[] = "TambleWindowVersion";
constexpr const char TAMBLE_WINDOW_OPEN_DISPLAY_PROC[] = "TambleWindowOpenDisplay";
constexpr const char TAMBLE_WINDOW_RUN_PROC[] = "TambleWindowRun";
