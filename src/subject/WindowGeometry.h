#ifndef WINDOWGEOMETRY_H
#define WINDOWGEOMETRY_H

#include <QPoint>
#include <QRect>
#include <QSize>

// Placement of a top-level window as fractions of a screen's available size, in pixels.
// Each fraction is clamped to [0, 1] and the size is truncated to whole pixels. A centred window
// sits in the middle of the available size (integer halves, rounded down); otherwise the window
// keeps its current top-left corner, but no closer than 5 px to the left and 40 px to the top,
// so that its title bar stays reachable.
class WindowGeometry
{
public:
    static QRect fromScreenFraction(const QSize &available, double widthFraction,
                                    double heightFraction, bool centre, const QPoint &current);

    static constexpr int minimumLeft = 5;
    static constexpr int minimumTop = 40;
};

#endif
