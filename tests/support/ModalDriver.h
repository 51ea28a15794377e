#ifndef MODALDRIVER_H
#define MODALDRIVER_H

#include <QElapsedTimer>
#include <QMessageBox>
#include <QObject>
#include <QPointer>
#include <QQueue>
#include <QString>
#include <QTimer>
#include <QVector>
#include <functional>

// Answers the real modal dialogs (message boxes, file dialogs) that the code under test opens,
// in the order the test expects them. Queue the answers, then trigger the code: the driver
// polls for the active modal widget from inside the dialog's own event loop.
//
// A dialog that becomes active again after a nested dialog closed (the save dialog after a
// declined overwrite) counts as asking anew and takes the next answer.
// A dialog that arrives with no answer left, or that an answer fails to close, is rejected
// (repeatedly, until none is left) and recorded, so a failing test ends instead of hanging.
class ModalDriver : public QObject
{
    Q_OBJECT
public:
    struct Seen {
        QString kind;   // "QMessageBox" or "QFileDialog"
        QString title;
        QString text;   // the message box text, or the file dialog's start folder
        QString detail; // the file dialog's name filters, joined with ";;"
    };

    explicit ModalDriver(QObject *parent = nullptr);
    ~ModalDriver() override;

    void answerMessageBox(QMessageBox::StandardButton button);
    void chooseFile(const QString &path);
    void cancelFileDialog();
    // Presses the dialog's accept button on what it proposes, as a person pressing Save does.
    void acceptFileDialog();

    // Processes events until every queued answer is used and no modal dialog is left open.
    bool waitUntilDone(int timeoutMs = 10000);

    int pending() const { return answers.size(); }
    const QVector<Seen> &seen() const { return seenDialogs; }
    // Dialogs nobody expected, or that stayed open after their answer: "kind: title: text".
    const QStringList &unexpected() const { return unexpectedDialogs; }

private slots:
    void poll();

private:
    struct Answer {
        QString kind;
        std::function<void(QWidget *)> act;
    };

    void handle(QWidget *dialog);
    static void dismiss(QWidget *dialog);

    QTimer timer;
    QQueue<Answer> answers;
    QVector<Seen> seenDialogs;
    QStringList unexpectedDialogs;
    QPointer<QWidget> current;
    QElapsedTimer currentSince;
};

#endif
