#include "app/MainWindow.h"
bool MainWindow::loadTargetSound() { return false; }
void MainWindow::buildSinusoid() {}
void MainWindow::computeAmplitudeSpectrum() {}
