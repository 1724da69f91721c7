#include "workerPriority.h"

#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace morvant {

// On Linux the nice value is each thread's own, and a thread starts with its
// creator's: the hashing threads of a Verify take the worker's. A nice value
// that cannot be set leaves the thread as it was.
void lowerThisThreadsPriority()
{
    static_cast<void>(setpriority(PRIO_PROCESS, static_cast<id_t>(syscall(SYS_gettid)), 5));
}

} // namespace morvant
