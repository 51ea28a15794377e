#include "subject/SubjectWindow.h"

#include "subject/WindowGeometry.h"

#include <QCloseEvent>
#include <QEvent>
#include <QGridLayout>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QSizePolicy>
#include <QSlider>
#include <QSpinBox>

namespace {

const char *const hoverStyle =
    "QPushButton:hover {background-color: rgb(0, 255, 255); border: 1px solid blue;}";

// Large grey step buttons with plain black triangles: stepping is the listener's main way to tune.
const char *const spinBoxStyle =
    "QSpinBox::up-arrow { border-left: 17px solid none; border-right: 17px solid none; "
    "border-bottom: 17px solid black; width: 0px; height: 0px; }"
    "QSpinBox::up-arrow:hover { border-left: 17px solid none; border-right: 17px solid none; "
    "border-bottom: 17px solid black; width: 0px; height: 0px; }"
    "QSpinBox::up-button { width: 60px; height: 100px; background-color: rgb(190, 190, 190); }"
    "QSpinBox::up-button:hover { width: 60px; height: 100px; background-color: rgb(0, 255, 255); }"
    "QSpinBox::down-arrow { border-left: 17px solid none; border-right: 17px solid none; "
    "border-top: 17px solid black; width: 0px; height: 0px; }"
    "QSpinBox::down-arrow:hover { border-left: 17px solid none; border-right: 17px solid none; "
    "border-top: 17px solid black; width: 0px; height: 0px; }"
    "QSpinBox::down-button { width: 60px; height: 100px; background-color: rgb(190, 190, 190); }"
    "QSpinBox::down-button:hover { width: 60px; height: 100px; background-color: rgb(0, 255, 255); }";

} // namespace

SubjectWindow::SubjectWindow(QWidget *parent)
    : QMainWindow(parent)
{
    pushButtonPlayTarget = new QPushButton(QStringLiteral("Play target"));
    labelCurrentValue = new QLabel(QStringLiteral("Current Value"));
    labelCurrentValue->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    spinBoxFrequency = new QSpinBox;
    pushButtonPlaySinusoid = new QPushButton(QStringLiteral("Play sinusoid"));
    sliderFrequency = new QSlider(Qt::Vertical);
    pushButtonIAmReady = new QPushButton(QStringLiteral("I am ready"));
    pushButtonDone = new QPushButton(QStringLiteral("Done"));
    labelProgress = new QLabel;
    labelProgress->setAlignment(Qt::AlignCenter);
    layoutCurrentValue = new QHBoxLayout;
    layoutMain = new QGridLayout;
    widgetCentral = new QWidget;

    frequencyMin = 10;
    frequencyMax = 1000;
    frequencyCurrent = 500;
    frequencyStepSize = 1;
    centreWindow = true;
    widthFraction = 0.7;
    heightFraction = 0.8;
    applyFrequencyRange();

    connect(pushButtonIAmReady, SIGNAL(clicked(bool)), this, SLOT(on_pushButtonIAmReady_clicked()));
    connect(pushButtonDone, SIGNAL(clicked(bool)), this, SLOT(on_pushButtonDone_clicked()));
    connect(pushButtonPlayTarget, SIGNAL(clicked(bool)), this, SLOT(on_pushButtonPlayTarget_clicked()));
    connect(pushButtonPlaySinusoid, SIGNAL(clicked(bool)), this, SLOT(on_pushButtonPlaySinusoid_clicked()));
    // Each control follows the other; setting the value it already has emits nothing, which ends
    // the exchange.
    connect(spinBoxFrequency, SIGNAL(valueChanged(qint32)), sliderFrequency, SLOT(setValue(qint32)));
    connect(sliderFrequency, SIGNAL(valueChanged(qint32)), spinBoxFrequency, SLOT(setValue(qint32)));

    createLayout();
}

SubjectWindow::~SubjectWindow()
{
    delete pushButtonPlayTarget;
    pushButtonPlayTarget = nullptr;
    delete labelCurrentValue;
    labelCurrentValue = nullptr;
    delete spinBoxFrequency;
    spinBoxFrequency = nullptr;
    delete pushButtonPlaySinusoid;
    pushButtonPlaySinusoid = nullptr;
    delete sliderFrequency;
    sliderFrequency = nullptr;
    delete pushButtonIAmReady;
    pushButtonIAmReady = nullptr;
    delete pushButtonDone;
    pushButtonDone = nullptr;
    delete labelProgress;
    labelProgress = nullptr;
    delete layoutCurrentValue;
    layoutCurrentValue = nullptr;
    delete layoutMain;
    layoutMain = nullptr;
    delete widgetCentral;
    widgetCentral = nullptr;
}

void SubjectWindow::createLayout()
{
    setWindowGeometry(centreWindow, widthFraction, heightFraction);
    setWindowTitle(QStringLiteral("Varnel Lab | Tonvara (v014) | Subject Window"));

    layoutCurrentValue->addWidget(labelCurrentValue);
    layoutCurrentValue->addWidget(spinBoxFrequency);
    layoutMain->addWidget(pushButtonPlayTarget, 0, 0, 2, 1);
    layoutMain->addLayout(layoutCurrentValue, 0, 1, 1, 1);
    layoutMain->addWidget(pushButtonPlaySinusoid, 1, 1, 1, 1);
    layoutMain->addWidget(sliderFrequency, 0, 2, 2, 1);
    // Shares its cells with the value row and the slider; only one of them is ever visible.
    layoutMain->addWidget(pushButtonIAmReady, 0, 1, 1, 2);
    layoutMain->addWidget(pushButtonDone, 2, 0, 1, 4);
    layoutMain->addWidget(labelProgress, 3, 0, 1, 4);

    widgetCentral->setLayout(layoutMain);
    setCentralWidget(widgetCentral);

    pushButtonPlayTarget->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    pushButtonPlaySinusoid->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    pushButtonIAmReady->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    spinBoxFrequency->setMinimumHeight(200);
    spinBoxFrequency->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    sliderFrequency->setMinimumWidth(100);
    sliderFrequency->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Expanding);
    pushButtonDone->setMinimumHeight(100);
    pushButtonDone->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);

    spinBoxFrequency->setStyleSheet(QString::fromLatin1(spinBoxStyle));

    pushButtonPlayTarget->hide();
    labelCurrentValue->hide();
    spinBoxFrequency->hide();
    pushButtonPlaySinusoid->hide();
    sliderFrequency->hide();
    pushButtonDone->hide();
    labelProgress->hide();
}

void SubjectWindow::startPresentation(int number, int count)
{
    presentationNumber = number;
    presentationCount = count;
    labelProgress->setText(QStringLiteral("Sound %1 of %2").arg(number).arg(count));
    labelProgress->setVisible(count > 1);
    QWidget *const choosing[] = {pushButtonPlayTarget, labelCurrentValue, spinBoxFrequency,
                                 pushButtonPlaySinusoid, sliderFrequency, pushButtonDone};
    for (QWidget *widget : choosing)
        widget->hide();
    pushButtonIAmReady->show();
    setEnabled(true);
}

void SubjectWindow::setWindowGeometry(bool centre, double widthFraction, double heightFraction)
{
    const QScreen *screen = QGuiApplication::primaryScreen();
    if (!screen)
        return; // nothing to measure against: keep the platform's placement
    setGeometry(WindowGeometry::fromScreenFraction(screen->availableSize(), widthFraction,
                                                   heightFraction, centre, geometry().topLeft()));
}

void SubjectWindow::applyFrequencyRange()
{
    spinBoxFrequency->setRange(frequencyMin, frequencyMax);
    spinBoxFrequency->setValue(frequencyCurrent);
    spinBoxFrequency->setSingleStep(frequencyStepSize);
    sliderFrequency->setRange(frequencyMin, frequencyMax);
    sliderFrequency->setValue(frequencyCurrent);
    sliderFrequency->setSingleStep(frequencyStepSize);
}

void SubjectWindow::receiveParameters(qint32 frequencyMin, qint32 frequencyMax,
                                      qint32 frequencyCurrent, qint32 frequencyStepSize)
{
    this->frequencyMin = frequencyMin;
    this->frequencyMax = frequencyMax;
    this->frequencyCurrent = frequencyCurrent;
    this->frequencyStepSize = frequencyStepSize;
    applyFrequencyRange();
}

void SubjectWindow::on_pushButtonIAmReady_clicked()
{
    setEnabled(false);

    pushButtonPlayTarget->setEnabled(true);
    labelCurrentValue->setEnabled(false);
    spinBoxFrequency->setEnabled(false);
    pushButtonPlaySinusoid->setEnabled(false);
    sliderFrequency->setEnabled(false);

    pushButtonPlayTarget->show();
    labelCurrentValue->show();
    spinBoxFrequency->show();
    pushButtonPlaySinusoid->show();
    sliderFrequency->show();
    pushButtonIAmReady->hide();
    pushButtonDone->hide();

    pushButtonPlayTarget->setStyleSheet(QString::fromLatin1(hoverStyle));

    setEnabled(true);
    emit listenerReady();
}

void SubjectWindow::on_pushButtonPlayTarget_clicked()
{
    setEnabled(false);
    emit subjectResponded(2, 0);
}

void SubjectWindow::on_pushButtonPlaySinusoid_clicked()
{
    setEnabled(false);

    pushButtonDone->setEnabled(true);
    pushButtonDone->show();
    pushButtonDone->setStyleSheet(QString::fromLatin1(hoverStyle));

    frequencyCurrent = spinBoxFrequency->value();
    emit subjectResponded(4, frequencyCurrent);
}

void SubjectWindow::on_pushButtonDone_clicked()
{
    doneClicked = true;
    close();
    doneClicked = false;
}

void SubjectWindow::updateSubjectWindow(int index)
{
    setEnabled(false);
    disableAllChoiceButtons();
    if (index != -1)
        return; // a sound is playing: no requests until it has finished

    pushButtonPlayTarget->setStyleSheet(QString::fromLatin1(hoverStyle));
    pushButtonPlaySinusoid->setStyleSheet(QString::fromLatin1(hoverStyle));
    pushButtonPlayTarget->setEnabled(true);
    spinBoxFrequency->setEnabled(true);
    pushButtonPlaySinusoid->setEnabled(true);
    sliderFrequency->setEnabled(true);
    setEnabled(true);
}

void SubjectWindow::enableAllChoiceButtons()
{
    pushButtonPlayTarget->setEnabled(true);
    pushButtonPlaySinusoid->setEnabled(true);
}

void SubjectWindow::disableAllChoiceButtons()
{
    pushButtonPlayTarget->setEnabled(false);
    pushButtonPlaySinusoid->setEnabled(false);
}

void SubjectWindow::closeEvent(QCloseEvent *event)
{
    const QMessageBox::StandardButton answer = QMessageBox::question(
        this, QStringLiteral("Confirmation MessageBox"), tr("Do you want to close this window?\n"),
        QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel, QMessageBox::Yes);
    if (answer != QMessageBox::Yes) {
        event->ignore();
        return;
    }
    if (doneClicked) {
        const bool last = presentationNumber >= presentationCount;
        emit presentationDone();
        if (!last) {
            event->ignore(); // the next presentation goes on in this window
            return;
        }
    }
    // The experimenter window saves the results before this window goes away.
    emit subjectWindowClosed();
    event->accept();
}

void SubjectWindow::changeEvent(QEvent *event)
{
    QMainWindow::changeEvent(event);
    if (event->type() != QEvent::EnabledChange)
        return;
    // Disabling a widget reaches its child windows too. A disabled state that this window did
    // not set itself (no WA_ForceDisabled) came from the experimenter window, which disables
    // itself while the listener works: drop it, or the listener would be locked out.
    if (!isEnabled() && !testAttribute(Qt::WA_ForceDisabled))
        setEnabled(true);
}
