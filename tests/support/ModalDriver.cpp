#include "support/ModalDriver.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDeadlineTimer>
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
    answers.enqueue({"QMessageBox", [button](QWidget *dialog) {
        if (QAbstractButton *target = static_cast<QMessageBox *>(dialog)->button(button))
            QTest::mouseClick(target, Qt::LeftButton);
    }});
}

void ModalDriver::chooseFile(const QString &path)
{
    answers.enqueue({"QFileDialog", [path](QWidget *dialog) {
        auto *fileDialog = static_cast<QFileDialog *>(dialog);
        // Typed as a person would: selectFile() waits for the folder model to load.
        if (auto *nameEdit = fileDialog->findChild<QLineEdit *>("fileNameEdit"))
            nameEdit->setText(path);
        else
            fileDialog->selectFile(path);
        static_cast<QDialog *>(fileDialog)->accept();
    }});
}

void ModalDriver::acceptFileDialog()
{
    answers.enqueue({"QFileDialog", [](QWidget *dialog) { static_cast<QDialog *>(dialog)->accept(); }});
}

void ModalDriver::cancelFileDialog()
{
    answers.enqueue({"QFileDialog", [](QWidget *dialog) { static_cast<QDialog *>(dialog)->reject(); }});
}

bool ModalDriver::waitUntilDone(int timeoutMs)
{
    const QDeadlineTimer deadline(timeoutMs);
    while (!deadline.hasExpired()) {
        if (answers.isEmpty() && !QApplication::activeModalWidget())
            return unexpectedDialogs.isEmpty();
        QTest::qWait(5);
    }
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
    if (!dialog)
        return;
    if (dialog->property("modalDriverHandled").toBool() && dialog == current) {
        // Its answer did not close it: give up on it rather than hang the test.
        if (currentSince.elapsed() > 3000) {
            unexpectedDialogs << "did not close after its answer: " + dialog->windowTitle();
            currentSince.restart();
            QTimer::singleShot(0, dialog, [dialog] { dismiss(dialog); });
        }
        return;
    }
    dialog->setProperty("modalDriverHandled", true);
    current = dialog;
    currentSince.start();

    Seen seen{QString::fromLatin1(dialog->metaObject()->className()), dialog->windowTitle(), {}, {}};
    if (auto *box = qobject_cast<QMessageBox *>(dialog)) {
        seen.text = box->text();
    } else if (auto *fileDialog = qobject_cast<QFileDialog *>(dialog)) {
        seen.text = fileDialog->directory().absolutePath();
        seen.detail = fileDialog->nameFilters().join(";;");
    }
    seenDialogs << seen;
    if (answers.isEmpty() || !dialog->inherits(qPrintable(answers.head().first))) {
        unexpectedDialogs << QString("%1: %2: %3").arg(seen.kind, seen.title, seen.text);
        QTimer::singleShot(0, dialog, [dialog] { dismiss(dialog); });
        return;
    }
    // Run later, not here: the answer may open a nested dialog (an overwrite question).
    QTimer::singleShot(0, dialog, [dialog, act = answers.dequeue().second] { act(dialog); });
}

void ModalDriver::dismiss(QWidget *dialog)
{
    auto *box = qobject_cast<QMessageBox *>(dialog);
    QAbstractButton *button = box ? box->escapeButton() : nullptr;
    if (box && !button && !box->buttons().isEmpty())
        button = box->buttons().last();
    if (button)
        button->click();
    else if (auto *plain = qobject_cast<QDialog *>(dialog))
        plain->reject();
    else
        dialog->close();
}
