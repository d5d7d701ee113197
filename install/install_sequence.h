// The install job, run on its own worker thread: every step of a first
// installation, an update or a repair, in a fixed order, reporting only
// through the progress sink.
#pragma once

#include <memory>

class ProgressSink;
struct InstallContext;

// Runs the job of context. On success the assistant is started and the
// process ends with code 0 (the call does not return). On a failure it
// returns 0, leaving the last texts on the sink; the worker-finished flag
// is set, except when the running assistant could not be stopped.
int InstallSequence(ProgressSink* sink, std::unique_ptr<InstallContext> context);
