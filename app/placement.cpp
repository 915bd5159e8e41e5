#include "app/placement.h"

QRect initialGeometry(const QRect &available, const QRect &current, int titleBarHeight)
{
    int x = 0;
    int width = available.width();
    if (available.width() - current.width() > 0) {
        x = (available.width() - current.width()) / 2;
        width = current.width();
    }
    int y = titleBarHeight;
    int height = available.height();
    if (available.height() - current.height() > 0) {
        y = (available.height() - current.height()) / 2;
        height = current.height();
    }
    // Offsets count from the available area, so a task bar at the top or left, or a
    // primary screen away from the desktop origin, does not push the window off it.
    return QRect(available.x() + x, available.y() + y, width, height);
}
