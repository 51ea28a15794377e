#include "subject/WindowGeometry.h"
#include <algorithm>
QRect centredGeometry(QSize available, double widthFraction, double heightFraction, bool centre, QPoint current)
{
    widthFraction = std::clamp(widthFraction, 0.0, 1.0);
    heightFraction = std::clamp(heightFraction, 0.0, 1.0);
    const int w = int(available.width() * widthFraction);
    const int h = int(available.height() * heightFraction);
    if (centre)
        return QRect((available.width() - w) / 2, (available.height() - h) / 2, w, h);
    return QRect(std::max(current.x(), 5), std::max(current.y(), 40), w, h);
}
