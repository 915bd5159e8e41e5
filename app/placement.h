#ifndef PLACEMENT_H
#define PLACEMENT_H

#include <QRect>

// Where the main window opens: centred in the available area when it fits, otherwise
// pressed to the area's left edge, or just below a title bar's height from its top, and
// cut to the area's size.
QRect initialGeometry(const QRect &available, const QRect &current, int titleBarHeight);

#endif // PLACEMENT_H
