#ifndef TERMIOSSPY_H
#define TERMIOSSPY_H

#include <QVector>
#include <termios.h>

// Linked into a test executable, this takes the place of tcsetattr()/tcgetattr() and records
// the line settings Qt asks the system for. Pseudo-terminals keep 8 data bits and no parity
// whatever they are asked, so what the pty holds cannot tell whether a setting reached it.
namespace TermiosSpy {

void reset();
// Every set of attributes Qt asked for since the last reset, oldest first.
QVector<termios> requests();

} // namespace TermiosSpy

#endif // TERMIOSSPY_H
