#include "support/ModalDriver.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QFileDialog>
#include <QLineEdit>
#include <QTest>

namespace {
const char *handledProperty = "modalDriverHandled";
const int stuckMs = 3000;
}

ModalDriver::ModalDriver(QObject *parent)
    : QObject(parent)
{
    timer.setInterval(10);
    connect(&timer, &QTimer::timeout, this, &ModalDriver::poll);
    timer.start();
}

ModalDriver::~ModalDriver()
{
    timer.stop();
}

void ModalDriver::answerMessageBox(QMessageBox::StandardButton button)
{
    answers.enqueue({QStringLiteral("QMessageBox"), [button](QWidget *dialog) {
        auto *box = qobject_cast<QMessageBox *>(dialog);
        QAbstractButton *target = box ? box->button(button) : nullptr;
        if (target)
            QTest::mouseClick(target, Qt::LeftButton);
    }});
}

void ModalDriver::chooseFile(const QString &path)
{
    answers.enqueue({QStringLiteral("QFileDialog"), [path](QWidget *dialog) {
        if (auto *fileDialog = qobject_cast<QFileDialog *>(dialog)) {
            // Typed as a person would: selectFile() waits for the folder model to load.
            if (auto *nameEdit = fileDialog->findChild<QLineEdit *>(QStringLiteral("fileNameEdit")))
                nameEdit->setText(path);
            else
                fileDialog->selectFile(path);
            static_cast<QDialog *>(fileDialog)->accept();
        }
    }});
}

void ModalDriver::acceptFileDialog()
{
    answers.enqueue({QStringLiteral("QFileDialog"), [](QWidget *dialog) {
        if (auto *fileDialog = qobject_cast<QFileDialog *>(dialog))
            static_cast<QDialog *>(fileDialog)->accept();
    }});
}

void ModalDriver::cancelFileDialog()
{
    answers.enqueue({QStringLiteral("QFileDialog"), [](QWidget *dialog) {
        if (auto *fileDialog = qobject_cast<QFileDialog *>(dialog))
            fileDialog->reject();
    }});
}

bool ModalDriver::waitUntilDone(int timeoutMs)
{
    QDeadlineTimer deadline(timeoutMs);
    while (!deadline.hasExpired()) {
        if (answers.isEmpty() && !QApplication::activeModalWidget())
            return unexpectedDialogs.isEmpty();
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        QTest::qWait(5);
    }
    while (QWidget *dialog = QApplication::activeModalWidget()) {
        unexpectedDialogs << QStringLiteral("still open at the end: %1").arg(dialog->windowTitle());
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
    const bool resurfaced = dialog->property(handledProperty).toBool() && dialog != current;
    if (dialog->property(handledProperty).toBool() && !resurfaced) {
        // Its answer did not close it: give up on it rather than hang the test.
        if (currentSince.elapsed() > stuckMs) {
            unexpectedDialogs << QStringLiteral("did not close after its answer: %1").arg(dialog->windowTitle());
            currentSince.restart();
            QTimer::singleShot(0, dialog, [dialog] { dismiss(dialog); });
        }
        return;
    }
    // A dialog that is active again after a nested one closed asks anew (a declined overwrite).
    dialog->setProperty(handledProperty, true);
    current = dialog;
    currentSince.start();
    handle(dialog);
}

void ModalDriver::handle(QWidget *dialog)
{
    Seen seen;
    seen.title = dialog->windowTitle();
    if (auto *box = qobject_cast<QMessageBox *>(dialog)) {
        seen.kind = QStringLiteral("QMessageBox");
        seen.text = box->text();
    } else if (auto *fileDialog = qobject_cast<QFileDialog *>(dialog)) {
        seen.kind = QStringLiteral("QFileDialog");
        seen.text = fileDialog->directory().absolutePath();
        seen.detail = fileDialog->nameFilters().join(QStringLiteral(";;"));
    } else {
        seen.kind = QString::fromLatin1(dialog->metaObject()->className());
    }
    seenDialogs << seen;

    if (answers.isEmpty() || answers.head().kind != seen.kind) {
        unexpectedDialogs << QStringLiteral("%1: %2: %3").arg(seen.kind, seen.title, seen.text);
        QTimer::singleShot(0, dialog, [dialog] { dismiss(dialog); });
        return;
    }
    Answer answer = answers.dequeue();
    // Queued, not run here: the answer may open a nested dialog (an overwrite question).
    QTimer::singleShot(0, dialog, [dialog, answer] { answer.act(dialog); });
}

void ModalDriver::dismiss(QWidget *dialog)
{
    if (auto *box = qobject_cast<QMessageBox *>(dialog)) {
        if (QAbstractButton *escape = box->escapeButton()) {
            escape->click();
            return;
        }
        if (!box->buttons().isEmpty()) {
            box->buttons().last()->click();
            return;
        }
    }
    if (auto *plain = qobject_cast<QDialog *>(dialog))
        plain->reject();
    else
        dialog->close();
}
