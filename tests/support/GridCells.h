#ifndef GRIDCELLS_H
#define GRIDCELLS_H

#include <QGridLayout>
#include <QList>

// Row, column, row span and column span of each item of a grid, in the order they were placed.
inline QList<QList<int>> gridCells(const QGridLayout *grid)
{
    QList<QList<int>> cells;
    for (int i = 0, row, column, rowSpan, columnSpan; i < grid->count(); ++i) {
        grid->getItemPosition(i, &row, &column, &rowSpan, &columnSpan);
        cells << QList<int>{row, column, rowSpan, columnSpan};
    }
    return cells;
}

#endif
