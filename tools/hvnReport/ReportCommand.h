#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "ReportOptions.h"

namespace hvn::report {

// Exit statuses of hvnReport.
inline constexpr int kExitOk = 0;
inline constexpr int kExitFailed = 1;     // a database error or an output that cannot be written
inline constexpr int kExitRefused = 2;    // bad arguments, unknown names, no lock, no database

// Runs one report as the console computes it, inside one lock bracket taken from the service
// named by the settings file ($HALVANE_REGISTRY), and writes it to options.output (replaced
// in one step, never created or truncated on failure) or to `out`. On failure returns the
// exit status and sets `error` to one line. Needs a Qt GUI application object (fonts, PDF).
int runReport(const ReportOptions &options, std::FILE *out, std::string &error);

// The whole program: parses args, runs, prints "hvnReport: <reason>" on `err` on failure.
int runReportProgram(const std::vector<std::string> &args, std::FILE *out, std::FILE *err);

} // namespace hvn::report
