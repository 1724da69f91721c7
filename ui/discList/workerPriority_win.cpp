#include "workerPriority.h"

#include <windows.h>

namespace morvant {

void lowerThisThreadsPriority()
{
    SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_BELOW_NORMAL);
}

} // namespace morvant
