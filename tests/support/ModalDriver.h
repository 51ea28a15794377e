#ifndef MODALDRIVER_H
#define MODALDRIVER_H

#include <QElapsedTimer>
#include <QMessageBox>
#include <QPointer>
#include <QTimer>
#include <functional>

// Answers the real modal dialogs that the code under test opens: queue the answers, then trigger the code; the
// driver polls from inside the dialog's own event loop. A dialog active again after a nested one closed (the save
// dialog after a declined overwrite) takes the next answer. A dialog with no answer left, of the wrong kind, or that
// its answer does not close, is rejected and recorded, so a failing test ends instead of hanging.
class ModalDriver : public QObject
{
    Q_OBJECT
public:
    struct Seen {
        QString title;
        QString text; // the message box text, or the file dialog's start folder
    };

    explicit ModalDriver(QObject *parent = nullptr);

    void answerMessageBox(QMessageBox::StandardButton button);
    void chooseFile(const QString &path);
    void cancelFileDialog() { answers.append({"QFileDialog", [](QWidget *dialog) { static_cast<QDialog *>(dialog)->reject(); }}); }
    // Presses the dialog's accept button on what it proposes, as a person pressing Save does.
    void acceptFileDialog() { answers.append({"QFileDialog", [](QWidget *dialog) { static_cast<QDialog *>(dialog)->accept(); }}); }

    // Runs the event loop until every answer is used and no dialog is open; false on timeout or an unexpected dialog.
    bool waitUntilDone(int timeoutMs = 10000);

    const QVector<Seen> &seen() const { return seenDialogs; }
    // Dialogs nobody expected, or that stayed open after their answer: "kind: title: text".
    const QStringList &unexpected() const { return unexpectedDialogs; }

private:
    void poll();
    static void dismiss(QWidget *dialog);

    QTimer timer;
    QList<QPair<QString, std::function<void(QWidget *)>>> answers; // kind, action, in the order queued
    QVector<Seen> seenDialogs;
    QStringList unexpectedDialogs;
    QPointer<QWidget> current;
    QElapsedTimer currentSince;
};

#endif
