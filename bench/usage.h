#ifndef USAGE_H
#define USAGE_H

// What this process uses, as the benchmark reports it.
namespace Usage {

// CPU time, user and system, of the calling thread.
double threadCpuSeconds();
double residentMegabytes();
int openDescriptors();
// Qt Serial Port's lock files that name this process.
int portLocksHeld();

} // namespace Usage

#endif // USAGE_H
