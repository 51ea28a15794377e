#include "subject/WindowGeometry.h"

#include <QtGlobal>

QRect WindowGeometry::fromScreenFraction(const QSize &available, double widthFraction,
                                         double heightFraction, bool centre, const QPoint &current)
{
    const QSize size(static_cast<int>(available.width() * qBound(0.0, widthFraction, 1.0)),
                     static_cast<int>(available.height() * qBound(0.0, heightFraction, 1.0)));
    if (centre)
        return QRect(QPoint((available.width() - size.width()) / 2, (available.height() - size.height()) / 2), size);
    return QRect(QPoint(qMax(current.x(), minimumLeft), qMax(current.y(), minimumTop)), size);
}
