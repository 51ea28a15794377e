#ifndef SUBJECTWINDOW_H
#define SUBJECTWINDOW_H
#include <QMainWindow>
class SubjectWindow : public QMainWindow
{
    Q_OBJECT
public:
    explicit SubjectWindow(QWidget *parent = nullptr) : QMainWindow(parent) {}
};
#endif
