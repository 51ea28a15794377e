#ifndef WIDGETFINDER_H
#define WIDGETFINDER_H

#include <QString>

class QPushButton;
class QWidget;

// The push button below root that shows text, as a person finds it; null when there is none.
QPushButton *buttonWithText(QWidget *root, const QString &text);

#endif
