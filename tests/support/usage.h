#ifndef USAGE_H
#define USAGE_H

#include <sys/resource.h>

// What this process uses, as the soak tests and the benchmark report it.
namespace Usage {

// CPU time, user and system, of the process (RUSAGE_SELF) or the calling thread (RUSAGE_THREAD).
double cpuSeconds(int who = RUSAGE_SELF);
double residentMegabytes();
int openDescriptors();

} // namespace Usage

#endif // USAGE_H
