#include "subject/WindowGeometry.h"

#include <QtGlobal>

QRect WindowGeometry::fromScreenFraction(const QSize &available, double widthFraction,
                                         double heightFraction, bool centre, const QPoint &current)
{
    // qBound also turns a NaN fraction into 0, so the casts below always stay within the screen.
    const double widthShare = qBound(0.0, widthFraction, 1.0);
    const double heightShare = qBound(0.0, heightFraction, 1.0);
    const int screenWidth = qMax(available.width(), 0);
    const int screenHeight = qMax(available.height(), 0);
    const int width = static_cast<int>(screenWidth * widthShare);
    const int height = static_cast<int>(screenHeight * heightShare);

    int x = 0;
    int y = 0;
    if (centre) {
        x = (screenWidth - width) / 2;
        y = (screenHeight - height) / 2;
    } else {
        x = qMax(current.x(), minimumLeft);
        y = qMax(current.y(), minimumTop);
    }
    return QRect(x, y, width, height);
}
