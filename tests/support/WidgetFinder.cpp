#include "support/WidgetFinder.h"

#include <QPushButton>

QPushButton *buttonWithText(QWidget *root, const QString &text)
{
    if (!root)
        return nullptr;
    const auto buttons = root->findChildren<QPushButton *>();
    for (QPushButton *button : buttons)
        if (button->text() == text)
            return button;
    return nullptr;
}
