#include "app/MainWindow.h"
void MainWindow::computeAmplitudeSpectrum() {}
