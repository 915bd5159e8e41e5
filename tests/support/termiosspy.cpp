#include "termiosspy.h"

#include <QHash>
#include <dlfcn.h>

namespace {

using SetAttr = int (*)(int, int, const termios *);
using GetAttr = int (*)(int, termios *);

QHash<int, termios> &requested()
{
    static QHash<int, termios> byDescriptor;
    return byDescriptor;
}

QVector<termios> &history()
{
    static QVector<termios> all;
    return all;
}

} // namespace

void TermiosSpy::reset()
{
    requested().clear();
    history().clear();
}

QVector<termios> TermiosSpy::requests()
{
    return history();
}

extern "C" int tcsetattr(int fd, int optionalActions, const termios *attributes)
{
    static const auto real = reinterpret_cast<SetAttr>(dlsym(RTLD_NEXT, "tcsetattr"));
    requested().insert(fd, *attributes);
    history().append(*attributes);
    // Qt reads the settings back and applies them again after opening; a pty handed
    // anything but 8 data bits without parity would refuse that second round.
    termios forwarded = *attributes;
    forwarded.c_cflag = (forwarded.c_cflag & ~(CSIZE | PARENB | PARODD)) | CS8;
    return real(fd, optionalActions, &forwarded);
}

extern "C" int tcgetattr(int fd, termios *attributes)
{
    static const auto real = reinterpret_cast<GetAttr>(dlsym(RTLD_NEXT, "tcgetattr"));
    const int result = real(fd, attributes);
    const auto recorded = requested().constFind(fd);
    if (result == 0 && recorded != requested().cend())
        *attributes = *recorded;
    return result;
}
