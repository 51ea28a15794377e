#ifndef WIDGETFINDER_H
#define WIDGETFINDER_H

#include <QPushButton>

// The push button below root that shows text, as a person finds it; null when there is none.
inline QPushButton *buttonWithText(QWidget *root, const QString &text)
{
    for (QPushButton *button : root ? root->findChildren<QPushButton *>() : QList<QPushButton *>())
        if (button->text() == text)
            return button;
    return nullptr;
}

#endif
