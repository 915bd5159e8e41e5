#ifndef USAGE_H
#define USAGE_H

#include <QtGlobal>

// What this process uses, as the tests and the benchmark report it.
namespace Usage {

// CPU time, user and system, of the process.
double cpuSeconds();
#ifdef Q_OS_UNIX
// CPU time of the calling thread.
double threadCpuSeconds();
double residentMegabytes();
int openDescriptors();
#endif

} // namespace Usage

#endif // USAGE_H
