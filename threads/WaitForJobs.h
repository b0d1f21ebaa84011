#pragma once

namespace pw {

class TOBThread;

// Runs the calling thread's event loop until no job of worker is counted any more: the end of a
// job is handed to this (the owner's) thread, so waiting without serving it would never end.
// For owners that must outlive their running jobs: their handlers use the owner.
void WaitForJobs(const TOBThread& worker);

} // namespace pw
