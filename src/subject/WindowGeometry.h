#ifndef WINDOWGEOMETRY_H
#define WINDOWGEOMETRY_H
#include <QPoint>
#include <QRect>
#include <QSize>
QRect centredGeometry(QSize available, double widthFraction, double heightFraction, bool centre, QPoint current);
#endif
