#ifndef BOUNDEDPROBE_H
#define BOUNDEDPROBE_H

#include <QList>
#include <QString>
#include <QStringList>

#include <chrono>
#include <functional>

// Asks `isBusy` about every port at once, each on a thread of its own, and waits for the answers
// no longer than `bound`: a port that has not answered by then counts as busy. A late answer is
// dropped; its thread ends on its own, holding up neither the caller nor the program's exit.
QList<bool> boundedProbe(const QStringList &systemLocations,
                         const std::function<bool(const QString &)> &isBusy,
                         std::chrono::milliseconds bound);

#endif // BOUNDEDPROBE_H
