#include "support/ModalDriver.h"

#include <QAbstractButton>
#include <QApplication>
#include <QFileDialog>
#include <QLineEdit>
#include <QTest>

ModalDriver::ModalDriver(QObject *parent)
    : QObject(parent)
{
    connect(&timer, &QTimer::timeout, this, &ModalDriver::poll);
    timer.start(10);
}

void ModalDriver::answerMessageBox(QMessageBox::StandardButton button)
{
    answers.append({"QMessageBox", [button](QWidget *dialog) {
        if (QAbstractButton *target = static_cast<QMessageBox *>(dialog)->button(button))
            QTest::mouseClick(target, Qt::LeftButton);
    }});
}

void ModalDriver::chooseFile(const QString &path)
{
    answers.append({"QFileDialog", [path](QWidget *dialog) {
        // Typed into the name field as a person would: selectFile() would wait for the folder model.
        if (auto *nameEdit = dialog->findChild<QLineEdit *>("fileNameEdit"))
            nameEdit->setText(path);
        static_cast<QDialog *>(dialog)->accept();
    }});
}

bool ModalDriver::waitUntilDone(int timeoutMs)
{
    if (QTest::qWaitFor([this] { return answers.isEmpty() && !QApplication::activeModalWidget(); }, timeoutMs))
        return unexpectedDialogs.isEmpty();
    while (QWidget *dialog = QApplication::activeModalWidget()) {
        unexpectedDialogs << "still open at the end: " + dialog->windowTitle();
        dismiss(dialog);
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    return false;
}

void ModalDriver::poll()
{
    QWidget *dialog = QApplication::activeModalWidget();
    if (!dialog || (dialog == current && currentSince.elapsed() <= 3000))
        return;
    if (dialog == current) {
        // Its answer did not close it: give up on it rather than hang the test.
        unexpectedDialogs << "did not close after its answer: " + dialog->windowTitle();
        currentSince.restart();
        QTimer::singleShot(0, dialog, [dialog] { dismiss(dialog); });
        return;
    }
    current = dialog;
    currentSince.start();

    const auto *box = qobject_cast<QMessageBox *>(dialog);
    const auto *fileDialog = qobject_cast<QFileDialog *>(dialog);
    seenDialogs << Seen{dialog->windowTitle(), box ? box->text() : fileDialog ? fileDialog->directory().absolutePath() : QString()};
    const bool expected = !answers.isEmpty() && dialog->inherits(qPrintable(answers.first().first));
    if (!expected)
        unexpectedDialogs << QString("%1: %2: %3").arg(dialog->metaObject()->className(), seenDialogs.last().title, seenDialogs.last().text);
    // Run later, not here: the answer may open a nested dialog (an overwrite question).
    const std::function<void(QWidget *)> act = expected ? answers.takeFirst().second : &ModalDriver::dismiss;
    QTimer::singleShot(0, dialog, [dialog, act] { act(dialog); });
}

void ModalDriver::dismiss(QWidget *dialog)
{
    auto *box = qobject_cast<QMessageBox *>(dialog);
    if (box && !box->buttons().isEmpty())
        (box->escapeButton() ? box->escapeButton() : box->buttons().last())->click();
    else
        dialog->close(); // a dialog rejects itself when closed
}
