#pragma once

namespace morvant {

/** Lowers the priority of the calling thread, and of the threads that it
    starts after, below that of the window's: the disc list's reading and
    hashing then never keep the window from answering, however many cores
    they take. */
void lowerThisThreadsPriority();

} // namespace morvant
