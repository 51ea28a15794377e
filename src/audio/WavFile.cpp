#include "audio/WavFile.h"

WavFile::WavFile() = default;
bool WavFile::readWavFile(const QByteArray &) { return false; }
void WavFile::decodeSamples() {}
bool WavFile::writeWavFile(const QByteArray &) const { return false; }
void WavFile::printHeader() const {}
void WavFile::printSamples() const {}
