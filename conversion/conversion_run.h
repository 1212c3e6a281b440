// The conversion run: what "Start Converting" does, from the checks through
// every table of the folder (last list entry first) to "Done.". Each step is
// guarded by the error report with its own number, and the run goes on after a
// failure. Statements go to the server at once (direct mode) or into the preview.
#pragma once

#include "conversion/preview_handoff.h"
#include "conversion/regional_settings.h"
#include "conversion/run_options.h"
#include "conversion/run_result.h"
#include "conversion/run_summary.h"
#include "core/error_report.h"
#include "core/main_form.h"
#include "core/services.h"
#include "platform/stop_request.h"

#include <string>

namespace conversion {

struct Run {
    core::Services& services;
    core::MainForm& form;
    PreviewHandOff& handOff;
    RegionalSettings regional;
    bool& Converting;  // the main window's guard against a second start
    RunOptions options;
    // Asked to stop (a signal, the window closing): the run ends the table it
    // writes at the next statement boundary, rolls back what is not committed,
    // and goes no further.
    const platform::StopRequest* stop = nullptr;
};

// The run's closing message.
inline constexpr const char* kDoneMessage = "Done.";

inline const std::string kRunLocation = core::Location("Form1", "PushButton7_Click");

// The reason a window gives a stop request when it closes during a run.
inline constexpr int kWindowClosed = 1000;

// PushButton7_Click. Returns what the run did; a second start while a run
// goes on returns an empty result.
RunResult StartConverting(Run& run);

}  // namespace conversion
