#ifndef SUBJECTWINDOW_H
#define SUBJECTWINDOW_H

#include <QMainWindow>

class QCloseEvent;
class QEvent;
class QGridLayout;
class QHBoxLayout;
class QLabel;
class QPushButton;
class QSlider;
class QSpinBox;
class QWidget;

// The listener's window. It never plays sound: each request leaves as subjectResponded
// (2 = the target, frequency 0; 4 = the sinusoid at the spin box's frequency in Hz), and the
// window stays disabled until updateSubjectWindow(-1) reports that the sound has finished.
//
// The window is a child of the experimenter window, which disables itself while the listener
// works. Its enabled state belongs to the listener's procedure alone: it never takes over a
// disabled state from its parent (see changeEvent), yet it is still destroyed with the parent.
// Closing it (after a Yes to the confirmation question) only hides it.
// The state is public so that tests can read it; the slots stay private.
class SubjectWindow : public QMainWindow
{
    Q_OBJECT

public:
    explicit SubjectWindow(QWidget *parent);
    ~SubjectWindow() override;

    QPushButton *pushButtonPlayTarget;
    QLabel *labelCurrentValue;
    QSpinBox *spinBoxFrequency;
    QPushButton *pushButtonPlaySinusoid;
    QSlider *sliderFrequency;
    QPushButton *pushButtonIAmReady;
    QPushButton *pushButtonDone;
    QLabel *labelProgress; // "Sound 3 of 12"; hidden for a single presentation
    QHBoxLayout *layoutCurrentValue;
    QGridLayout *layoutMain;
    QWidget *widgetCentral;

    qint32 frequencyMin;       // Hz
    qint32 frequencyMax;       // Hz
    qint32 frequencyCurrent;   // Hz; the last frequency requested as a sinusoid
    qint32 frequencyStepSize;  // Hz
    bool centreWindow;
    double widthFraction;
    double heightFraction;
    int presentationNumber = 1; // of presentationCount, from 1
    int presentationCount = 1;

    // Back to "I am ready" for presentation number of count; the frequency controls keep what
    // receiveParameters gave them.
    void startPresentation(int number, int count);

signals:
    void subjectResponded(qint32 response, qint32 frequency);
    void subjectWindowClosed();
    void listenerReady();
    // "Done" confirmed; for any but the last presentation the window then stays open.
    void presentationDone();

private slots:
    void on_pushButtonIAmReady_clicked();
    void enableAllChoiceButtons();
    // All four in Hz; both frequency controls take the range, value and step at once.
    void receiveParameters(qint32 frequencyMin, qint32 frequencyMax, qint32 frequencyCurrent,
                           qint32 frequencyStepSize);
    // index -1: the sound has finished; any other value: a sound is playing.
    void updateSubjectWindow(int index);
    void on_pushButtonPlayTarget_clicked();
    void on_pushButtonPlaySinusoid_clicked();
    void on_pushButtonDone_clicked();

protected:
    void closeEvent(QCloseEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    void applyFrequencyRange();
    void disableAllChoiceButtons();
    // Fractions of the primary screen's available size, clamped to [0, 1].
    void setWindowGeometry(bool centre, double widthFraction, double heightFraction);
    void createLayout();

    bool doneClicked = false; // the close under way comes from "Done", not from the window frame
};

#endif
