// Timing of the real program against the test sound server; a report, not a test. Run inside
// scripts/audio-server, and under xvfb-run for the start-up part (make timing).
//
// 1. Onsets. The real MainWindow and SubjectWindow go through a whole run as a listener would:
//    a session start with a target chosen in the real file dialog, Go, "I am ready", then
//    alternating "Play target" and "Play sinusoid" requests, each after the previous sound ended.
//    parec records the null sink's monitor throughout; every stimulus is found in the capture by
//    its first 10 ms (bit for bit where the server does not convert, to within its conversion
//    where it does), its capture index is compared with the moment of the request (the button's
//    mouse release), and the samples missing at its ends and the gaps inside it are counted.
//
//    The request is a wall-clock moment, the onset a capture index. A mark taken at the request
//    (samples received so far) is only as good as parec's delivery, one chunk per latency period,
//    so each chunk is also timestamped on arrival (CLOCK_MONOTONIC, on a reader thread that does
//    nothing else) and a least-squares line through (arrival time, samples received) over the
//    whole run maps any moment to a capture index: thousands of chunks pin it down far below a
//    millisecond. The line stands for "the sample reaches the reader", so the absolute pause
//    carries the sink's render-ahead and the delivery delay as a constant; the spread of the onset
//    error across requests does not depend on it.
//
//    The null sink renders in blocks of the smallest latency any reader of its monitor asks for,
//    and a stream that becomes ready joins at the next block: the onset is quantised to that
//    block. One run is made per parec latency given (10 ms as the tests' recorder, and 2 ms).
//
//    Per request it also timestamps soundPlaying(1) and soundPlaying(-1); the last line per run
//    (SUMMARY) gives the figures make timing compares between servers.
//
// 2. Start-up of the real binary to its first shown window: tonvara is started several times on
//    the X display; the benchmark watches the root window for the map of the window whose title
//    ends in "Main Window", and closes it with WM_DELETE_WINDOW. Also the in-process time from
//    main() to the MainWindow being exposed.
//
// 3. Peak memory: ru_maxrss of this process after the first run (the capture included), and the
//    VmHWM of each started tonvara once its window has been shown.

#include "app/MainWindow.h"
#include "audio/Sinusoid.h"
#include "subject/SubjectWindow.h"
#include "support/ModalDriver.h"
#include "support/SinkRecorder.h"
#include "support/TemporaryDesktop.h"
#include "support/WavBuilder.h"

#include <QApplication>
#include <QCheckBox>
#include <QCommandLineParser>
#include <QEvent>
#include <QFileInfo>
#include <QPushButton>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QtEndian>

#include <xcb/xcb.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <mutex>
#include <poll.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <thread>
#include <time.h>
#include <unistd.h>
#include <vector>

extern char **environ;

namespace {

const int sampleRate = SinkRecorder::sampleRate;

qint64 nowNs()
{
    timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return qint64(ts.tv_sec) * 1000000000 + ts.tv_nsec;
}

double msBetween(qint64 fromNs, qint64 toNs)
{
    return (toNs - fromNs) / 1e6;
}

// Starts a program with its standard output on a pipe (or inherited when outFd is null).
pid_t spawn(const QStringList &arguments, char **environment, int *outFd, QString *error)
{
    int fds[2] = {-1, -1};
    if (outFd && pipe2(fds, O_CLOEXEC) != 0) {
        *error = QStringLiteral("pipe: %1").arg(QString::fromLocal8Bit(std::strerror(errno)));
        return -1;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (outFd)
        posix_spawn_file_actions_adddup2(&actions, fds[1], STDOUT_FILENO);
    std::vector<QByteArray> bytes;
    for (const QString &argument : arguments)
        bytes.push_back(QFile::encodeName(argument));
    std::vector<char *> argv;
    for (QByteArray &argument : bytes)
        argv.push_back(argument.data());
    argv.push_back(nullptr);
    pid_t pid = -1;
    const int failed = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environment);
    posix_spawn_file_actions_destroy(&actions);
    if (outFd)
        close(fds[1]);
    if (failed != 0) {
        if (outFd)
            close(fds[0]);
        *error = QStringLiteral("cannot start %1: %2").arg(arguments.first(), QString::fromLocal8Bit(std::strerror(failed)));
        return -1;
    }
    if (outFd)
        *outFd = fds[0];
    return pid;
}

// The null sink's monitor, recorded by parec; every chunk is timestamped when read() returns it.
class MonitorCapture
{
public:
    struct Arrival {
        qint64 ns;      // CLOCK_MONOTONIC when the chunk was read
        qint64 samples; // samples received up to and including the chunk
    };

    ~MonitorCapture() { stop(); }

    bool start(int latencyMs, QString *error)
    {
        const QString sink = qEnvironmentVariable("TONVARA_TEST_SINK");
        if (sink.isEmpty()) {
            *error = QStringLiteral("TONVARA_TEST_SINK is not set: run inside scripts/audio-server run -- ...");
            return false;
        }
        pid = spawn({QStringLiteral("parec"), QStringLiteral("--device=%1.monitor").arg(sink),
                     QStringLiteral("--format=float32le"), QStringLiteral("--rate=%1").arg(sampleRate),
                     QStringLiteral("--channels=1"), QStringLiteral("--raw"),
                     QStringLiteral("--latency-msec=%1").arg(latencyMs)},
                    environ, &fd, error);
        if (pid < 0)
            return false;
        reader = std::thread([this] { readAll(); });
        const qint64 deadline = nowNs() + 5000000000LL;
        while (received() == 0) {
            if (nowNs() > deadline || finished) {
                *error = QStringLiteral("parec delivered nothing within 5 s");
                return false;
            }
            QTest::qWait(5);
        }
        return true;
    }

    void stop()
    {
        if (pid > 0) {
            kill(pid, SIGTERM);
            if (reader.joinable())
                reader.join();
            waitpid(pid, nullptr, 0);
            pid = -1;
        }
        if (fd >= 0) {
            close(fd);
            fd = -1;
        }
    }

    // Samples received so far: what a mark taken now would say.
    qint64 received() const { return count.load(); }
    // After stop(): the whole capture and every chunk's arrival.
    const std::vector<float> &samples() const { return captured; }
    const std::vector<Arrival> &arrivals() const { return chunks; }

private:
    void readAll()
    {
        std::vector<char> buffer(1 << 16);
        size_t left = 0; // bytes of an incomplete float kept from the last read
        for (;;) {
            const ssize_t n = read(fd, buffer.data() + left, buffer.size() - left);
            const qint64 arrival = nowNs();
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                break;
            const size_t total = left + size_t(n);
            const size_t whole = total / 4;
            {
                std::lock_guard<std::mutex> lock(mutex);
                for (size_t i = 0; i < whole; ++i)
                    captured.push_back(qFromLittleEndian<float>(buffer.data() + 4 * i));
                chunks.push_back({arrival, qint64(captured.size())});
            }
            count.store(qint64(captured.size()));
            left = total % 4;
            std::memmove(buffer.data(), buffer.data() + whole * 4, left);
        }
        finished = true;
    }

    pid_t pid = -1;
    int fd = -1;
    std::thread reader;
    std::mutex mutex;
    std::vector<float> captured;
    std::vector<Arrival> chunks;
    std::atomic<qint64> count{0};
    std::atomic<bool> finished{false};
};

// Capture index as a linear function of CLOCK_MONOTONIC, fitted to the chunk arrivals.
struct CaptureClock {
    qint64 originNs = 0;
    double intercept = 0; // samples at originNs
    double rate = 0;      // samples per second
    double residualStdMs = 0;
    double residualMinMs = 0;
    double residualMaxMs = 0;

    double indexAt(qint64 ns) const { return intercept + rate * (ns - originNs) / 1e9; }
    qint64 nsAt(double index) const { return originNs + qint64((index - intercept) / rate * 1e9); }

    static CaptureClock fit(const std::vector<MonitorCapture::Arrival> &arrivals)
    {
        CaptureClock clock;
        const size_t n = arrivals.size();
        if (n < 2)
            return clock;
        clock.originNs = arrivals.front().ns;
        double meanT = 0, meanN = 0;
        for (const auto &a : arrivals) {
            meanT += (a.ns - clock.originNs) / 1e9;
            meanN += double(a.samples);
        }
        meanT /= n;
        meanN /= n;
        double stt = 0, stn = 0;
        for (const auto &a : arrivals) {
            const double t = (a.ns - clock.originNs) / 1e9 - meanT;
            stt += t * t;
            stn += t * (double(a.samples) - meanN);
        }
        clock.rate = stn / stt;
        clock.intercept = meanN - clock.rate * meanT;
        double sum2 = 0;
        clock.residualMinMs = 1e9;
        clock.residualMaxMs = -1e9;
        for (const auto &a : arrivals) {
            // Positive: the chunk came later than the line says.
            const double lateMs = ((a.ns - clock.originNs) / 1e9 - (a.samples - clock.intercept) / clock.rate) * 1e3;
            sum2 += lateMs * lateMs;
            clock.residualMinMs = std::min(clock.residualMinMs, lateMs);
            clock.residualMaxMs = std::max(clock.residualMaxMs, lateMs);
        }
        clock.residualStdMs = std::sqrt(sum2 / (n - 2));
        return clock;
    }
};

struct Stats {
    double median = 0, mean = 0, std = 0, min = 0, max = 0;
};

Stats statsOf(std::vector<double> values)
{
    Stats s;
    if (values.empty())
        return s;
    std::sort(values.begin(), values.end());
    const size_t n = values.size();
    s.median = n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
    s.min = values.front();
    s.max = values.back();
    for (double v : values)
        s.mean += v;
    s.mean /= n;
    double sum2 = 0;
    for (double v : values)
        sum2 += (v - s.mean) * (v - s.mean);
    s.std = n > 1 ? std::sqrt(sum2 / (n - 1)) : 0;
    return s;
}

void printStats(const char *name, const std::vector<double> &values)
{
    const Stats s = statsOf(values);
    std::printf("  %-38s median %8.3f  mean %8.3f  std %6.3f  min %8.3f  max %8.3f\n", name, s.median, s.mean, s.std,
                s.min, s.max);
}

// Timestamps one kind of event on the objects it watches, before they handle it.
class EventStamp : public QObject
{
public:
    explicit EventStamp(QEvent::Type type)
        : type(type)
    {
    }
    qint64 last = 0;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == type)
            last = nowNs();
        return QObject::eventFilter(watched, event);
    }

private:
    QEvent::Type type;
};

struct Request {
    bool sinusoid = false;
    int frequency = 0;
    qint64 markSamples = 0;  // samples received just before the click
    qint64 requestNs = 0;    // the button's release reaches it
    qint64 handledNs = 0;    // the click has been handled (timer started, trend drawn)
    qint64 startedNs = 0;    // soundPlaying(1): the sound is handed to the output
    qint64 endedNs = 0;      // soundPlaying(-1)
    int intervalMs = 0;      // the sound timer's interval
    QVector<float> stimulus; // the samples played
    qint64 onset = -1;       // capture index
};

QVector<double> harmonicComplex(int count)
{
    QVector<double> signal(count);
    for (int i = 0; i < count; ++i) {
        double value = 0;
        for (int h = 1; h <= 5; ++h)
            value += std::sin(2.0 * M_PI * 220.0 * h * i / sampleRate) / h;
        signal[i] = 0.3 * value;
    }
    return signal;
}

// Runs the event loop for ms milliseconds. Unlike QTest::qWait, which sleeps between passes, a
// real event loop lets timers fire on time.
void spinEventLoop(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, Qt::PreciseTimer, &loop, SLOT(quit()));
    loop.exec();
}

bool fail(const QString &message)
{
    std::fprintf(stderr, "bench_timing: %s\n", qPrintable(message));
    return false;
}

struct Heard {
    qint64 missingHead = 0, missingTail = 0; // stimulus samples above -26 dBFS not heard before/after the rest
    int gaps = 0;                            // runs of 1 ms blocks far from the stimulus between them
};

// How much of the stimulus at onset was heard. Edges are the first and last samples above -26 dBFS,
// so a converting server's smearing counts for a sample or two at most.
Heard hear(const QVector<float> &captured, const QVector<float> &stimulus, qint64 onset)
{
    const qint64 n = stimulus.size();
    const auto edges = [](const float *v, qint64 count) {
        qint64 first = -1, last = -1;
        for (qint64 i = 0; i < count; ++i)
            if (std::abs(v[i]) > 0.05f) {
                first = first < 0 ? i : first;
                last = i;
            }
        return std::make_pair(first, last);
    };
    const auto given = edges(stimulus.constData(), n);
    const auto heard = edges(captured.constData() + onset, qMin<qint64>(n + 40, captured.size() - onset));
    Heard result;
    if (given.first < 0)
        return result;
    if (heard.first < 0) {
        result.missingHead = given.second - given.first + 1;
        return result;
    }
    result.missingHead = qMax<qint64>(0, heard.first - given.first);
    result.missingTail = qMax<qint64>(0, given.second - heard.second);
    bool inGap = false;
    for (qint64 begin = given.first + result.missingHead; begin + 40 <= given.second - result.missingTail; begin += 40) {
        double want = 0, miss = 0;
        for (qint64 i = begin; i < begin + 40; ++i) {
            want += double(stimulus[int(i)]) * stimulus[int(i)];
            miss += std::pow(double(captured[int(onset + i)]) - stimulus[int(i)], 2);
        }
        const bool bad = want > 1e-6 * 40 && miss > 0.25 * want;
        result.gaps += bad && !inGap;
        inGap = bad;
    }
    return result;
}

struct RunOptions {
    int requests = 20;
    int captureLatencyMs = 10;
    int targetMs = 250;
};

// One whole run on a shown window: session start, Go, "I am ready", then the requests; prints the
// onset figures. Peak memory is reported after the first run only (ru_maxrss is a high-water mark).
bool runSession(MainWindow &window, const RunOptions &options, bool reportMemory)
{
    TemporaryDesktop desktop;
    if (!desktop.isValid())
        return fail(QStringLiteral("no temporary desktop"));
    const QString target = desktop.filePath(QStringLiteral("harmonic-220.wav"));
    if (!WavBuilder::writeMono16(target, harmonicComplex(options.targetMs * sampleRate / 1000), sampleRate))
        return fail(QStringLiteral("cannot write %1").arg(target));

    {
        ModalDriver driver;
        driver.chooseFile(target);
        QTest::mouseClick(window.pushButtonPractice, Qt::LeftButton);
        if (!driver.waitUntilDone() || window.targetCount != 1)
            return fail(QStringLiteral("the session did not start with %1").arg(target));
    }
    window.checkBoxSaveData->setChecked(false);
    QTest::mouseClick(window.pushButtonGo, Qt::LeftButton);
    SubjectWindow *subject = window.subjectWindow;
    if (!subject || !QTest::qWaitForWindowExposed(subject))
        return fail(QStringLiteral("no subject window"));
    QTest::mouseClick(subject->pushButtonIAmReady, Qt::LeftButton);
    QPushButton *playTarget = subject->pushButtonPlayTarget;
    QPushButton *playSinusoid = subject->pushButtonPlaySinusoid;
    QSpinBox *frequencyBox = subject->spinBoxFrequency;

    EventStamp release(QEvent::MouseButtonRelease);
    playTarget->installEventFilter(&release);
    playSinusoid->installEventFilter(&release);

    MonitorCapture capture;
    QString error;
    if (!capture.start(options.captureLatencyMs, &error))
        return fail(error);

    std::vector<Request> requests(static_cast<size_t>(options.requests));
    Request *current = nullptr;
    QEventLoop soundLoop;
    QTimer soundGuard;
    soundGuard.setSingleShot(true);
    QObject::connect(&soundGuard, SIGNAL(timeout()), &soundLoop, SLOT(quit()));
    QObject listener;
    QObject::connect(&window, &MainWindow::soundPlaying, &listener, [&](int index) {
        if (!current)
            return;
        if (index == -1) {
            current->endedNs = nowNs();
            soundLoop.quit();
            return;
        }
        current->startedNs = nowNs();
        const int count = window.parameters.sampleCount;
        const QVector<double> played = window.sinusoidMode
                                           ? sinusoidSamples(count, window.parameters.frequencyCurrent, sampleRate)
                                           : window.targetSignal.mid(0, count);
        current->stimulus = QVector<float>(played.cbegin(), played.cend());
    });

    for (int i = 0; i < options.requests; ++i) {
        Request &r = requests[size_t(i)];
        current = &r;
        // The listener's thinking time, spread so that requests fall at every phase of the
        // server's render cycle.
        spinEventLoop(150 + (i * 37) % 100);
        r.sinusoid = i % 2 == 1;
        QPushButton *button = playTarget;
        if (r.sinusoid) {
            r.frequency = 250 + (i * 97) % 700;
            frequencyBox->setValue(r.frequency);
            button = playSinusoid;
        }
        if (!button->isEnabled())
            return fail(QStringLiteral("request %1: the button is disabled").arg(i + 1));
        r.markSamples = capture.received();
        QTest::mouseClick(button, Qt::LeftButton);
        r.handledNs = nowNs();
        r.requestNs = release.last;
        r.intervalMs = int((window.parameters.soundDuration + window.parameters.silentInterval) * 1000.0);
        if (r.endedNs == 0) {
            soundGuard.start(r.intervalMs + 5000);
            soundLoop.exec();
            soundGuard.stop();
        }
        if (r.endedNs == 0)
            return fail(QStringLiteral("request %1: the sound did not end").arg(i + 1));
    }
    current = nullptr;
    // The tail of the last sound is still on its way from the server.
    spinEventLoop(200);
    capture.stop();

    {
        ModalDriver driver;
        driver.answerMessageBox(QMessageBox::Yes);
        QTest::mouseClick(subject->pushButtonDone, Qt::LeftButton);
        if (!driver.waitUntilDone())
            return fail(QStringLiteral("the run did not end with Done"));
    }

    rusage usage;
    getrusage(RUSAGE_SELF, &usage);
    const double captureMiB = capture.samples().size() * 4.0 / (1 << 20);

    const CaptureClock clock = CaptureClock::fit(capture.arrivals());
    if (capture.arrivals().size() < 100 || clock.rate < sampleRate / 2)
        return fail(QStringLiteral("the capture is too short to fit its clock"));
    const QVector<float> captured(capture.samples().begin(), capture.samples().end());
    qint64 searchFrom = 0;
    std::vector<double> pauses, handled, toStart, backAfterEnd, missing, gaps;
    const QByteArray server = qgetenv("TONVARA_AUDIO_SERVER") + " at " + qgetenv("TONVARA_SINK_RATE") + " Hz";
    std::printf("\nRun on %s: %d requests, %d ms target, pause %d ms, parec latency %d ms\n", server.constData(),
                options.requests, options.targetMs, requests.front().intervalMs, options.captureLatencyMs);
    std::printf("  #  request   Hz   pause ms  error ms  missing head/tail  gaps  back after end ms\n");
    for (int i = 0; i < options.requests; ++i) {
        Request &r = requests[size_t(i)];
        if (r.stimulus.isEmpty())
            return fail(QStringLiteral("request %1: no sound was started").arg(i + 1));
        const double requestIndex = clock.indexAt(r.requestNs);
        r.onset = SinkRecorder::locate(captured, r.stimulus, qMax(searchFrom, qint64(requestIndex)));
        if (r.onset < 0)
            return fail(QStringLiteral("request %1: the stimulus's first 10 ms are not in the capture").arg(i + 1));
        const Heard heard = hear(captured, r.stimulus, r.onset);
        searchFrom = r.onset + r.stimulus.size() - heard.missingTail;
        const double pause = (r.onset - requestIndex) / clock.rate * 1e3;
        pauses.push_back(pause);
        handled.push_back(msBetween(r.requestNs, r.handledNs));
        toStart.push_back(msBetween(r.requestNs, r.startedNs));
        backAfterEnd.push_back(msBetween(clock.nsAt(double(r.onset + r.stimulus.size())), r.endedNs));
        missing.push_back(heard.missingHead + heard.missingTail);
        gaps.push_back(heard.gaps);
        std::printf("%3d  %-8s %4d %9.3f %9.3f  %8lld/%-8lld %5d  %17.3f\n", i + 1, r.sinusoid ? "sinusoid" : "target",
                    r.frequency, pause, pause - r.intervalMs, heard.missingHead, heard.missingTail, heard.gaps,
                    backAfterEnd.back());
    }

    std::vector<double> chunkMs;
    for (size_t j = 1; j < capture.arrivals().size(); ++j)
        chunkMs.push_back((capture.arrivals()[j].samples - capture.arrivals()[j - 1].samples) * 1e3 / sampleRate);
    std::printf("Capture clock: %zu chunks over %.1f s, median chunk %.2f ms; rate %.3f samples/s (%+.1f ppm); "
                "arrival residual std %.3f ms, range %.3f .. %.3f ms\n",
                capture.arrivals().size(), capture.samples().size() / double(sampleRate), statsOf(chunkMs).median,
                clock.rate, (clock.rate / sampleRate - 1.0) * 1e6, clock.residualStdMs, clock.residualMinMs,
                clock.residualMaxMs);
    std::printf("Figures in ms:\n");
    printStats("pause, request to onset", pauses);
    printStats("click handled, whole", handled);
    printStats("click to soundPlaying(1)", toStart);
    printStats("sound's end to soundPlaying(-1)", backAfterEnd);
    const Stats pause = statsOf(pauses);
    double missingTotal = 0, gapTotal = 0;
    for (size_t i = 0; i < missing.size(); ++i) {
        missingTotal += missing[i];
        gapTotal += gaps[i];
    }
    std::printf("SUMMARY %-26s median pause %7.2f ms  std %5.2f ms  latest onset %7.2f ms  samples missing at the "
                "ends %4.0f  gaps %2.0f\n",
                server.constData(), pause.median, pause.std, pause.max, missingTotal, gapTotal);
    if (reportMemory)
        std::printf("Peak memory of this process after the run: %.1f MiB (ru_maxrss; the capture holds %.1f MiB)\n",
                    usage.ru_maxrss / 1024.0, captureMiB);
    return true;
}

QByteArray windowTitle(xcb_connection_t *connection, xcb_window_t window, xcb_atom_t property)
{
    xcb_get_property_reply_t *reply = xcb_get_property_reply(
        connection, xcb_get_property(connection, 0, window, property, XCB_GET_PROPERTY_TYPE_ANY, 0, 256), nullptr);
    if (!reply)
        return QByteArray();
    const QByteArray title(static_cast<const char *>(xcb_get_property_value(reply)), xcb_get_property_value_length(reply));
    free(reply);
    return title;
}

xcb_atom_t atom(xcb_connection_t *connection, const char *name)
{
    xcb_intern_atom_reply_t *reply =
        xcb_intern_atom_reply(connection, xcb_intern_atom(connection, 0, quint16(std::strlen(name)), name), nullptr);
    const xcb_atom_t result = reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
    free(reply);
    return result;
}

// VmHWM of a running process, in MiB; 0 when it cannot be read.
double peakResidentMiB(pid_t pid)
{
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray &line : status.readAll().split('\n'))
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').first().toDouble() / 1024.0;
    return 0;
}

// Starts the program runs times on the X display and measures each time to its main window's map.
bool measureStartUp(const QString &program, int runs)
{
    xcb_connection_t *connection = xcb_connect(nullptr, nullptr);
    if (xcb_connection_has_error(connection)) {
        xcb_disconnect(connection);
        std::printf("\nStart-up of the binary: not measured (no X display; run under xvfb-run)\n");
        return true;
    }
    const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(connection)).data->root;
    const uint32_t mask = XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;
    xcb_change_window_attributes(connection, root, XCB_CW_EVENT_MASK, &mask);
    const xcb_atom_t netWmName = atom(connection, "_NET_WM_NAME");
    const xcb_atom_t protocols = atom(connection, "WM_PROTOCOLS");
    const xcb_atom_t deleteWindow = atom(connection, "WM_DELETE_WINDOW");
    xcb_flush(connection);

    QTemporaryDir home;
    QByteArrayList variables;
    for (char **e = environ; *e; ++e) {
        const QByteArray variable(*e);
        if (!variable.startsWith("QT_QPA_PLATFORM=") && !variable.startsWith("HOME="))
            variables << variable;
    }
    variables << "QT_QPA_PLATFORM=xcb" << "HOME=" + QFile::encodeName(home.path());
    std::vector<char *> environment;
    for (QByteArray &variable : variables)
        environment.push_back(variable.data());
    environment.push_back(nullptr);

    std::vector<double> shown, peakMiB;
    bool ok = true;
    for (int run = 0; run < runs && ok; ++run) {
        QString error;
        const qint64 startNs = nowNs();
        const pid_t pid = spawn({program}, environment.data(), nullptr, &error);
        if (pid < 0)
            return fail(error);
        qint64 shownNs = 0;
        xcb_window_t mainWindow = XCB_WINDOW_NONE;
        const qint64 deadline = startNs + 30000000000LL;
        while (!shownNs && nowNs() < deadline) {
            pollfd descriptor = {xcb_get_file_descriptor(connection), POLLIN, 0};
            poll(&descriptor, 1, 100);
            while (xcb_generic_event_t *event = xcb_poll_for_event(connection)) {
                if ((event->response_type & 0x7f) == XCB_MAP_NOTIFY && !shownNs) {
                    const qint64 mappedNs = nowNs();
                    const xcb_window_t mapped = reinterpret_cast<xcb_map_notify_event_t *>(event)->window;
                    QByteArray title = windowTitle(connection, mapped, netWmName);
                    if (title.isEmpty())
                        title = windowTitle(connection, mapped, XCB_ATOM_WM_NAME);
                    if (title.endsWith("Main Window")) {
                        shownNs = mappedNs;
                        mainWindow = mapped;
                    }
                }
                free(event);
            }
        }
        if (shownNs) {
            // Let it paint, then read the high-water mark of the program's own memory (the value
            // wait4 reports would include this process, whose memory the child shared until exec).
            usleep(300000);
            peakMiB.push_back(peakResidentMiB(pid));
            xcb_client_message_event_t message;
            std::memset(&message, 0, sizeof message);
            message.response_type = XCB_CLIENT_MESSAGE;
            message.format = 32;
            message.window = mainWindow;
            message.type = protocols;
            message.data.data32[0] = deleteWindow;
            message.data.data32[1] = XCB_CURRENT_TIME;
            xcb_send_event(connection, 0, mainWindow, XCB_EVENT_MASK_NO_EVENT, reinterpret_cast<const char *>(&message));
            xcb_flush(connection);
        } else {
            kill(pid, SIGKILL);
            ok = fail(QStringLiteral("%1 showed no main window within 30 s").arg(program));
        }
        int status = 0;
        waitpid(pid, &status, 0);
        if (ok && !(WIFEXITED(status) && WEXITSTATUS(status) == 0))
            ok = fail(QStringLiteral("%1 did not exit cleanly when its window was closed").arg(program));
        shown.push_back(msBetween(startNs, shownNs));
    }
    xcb_disconnect(connection);
    if (!ok)
        return false;
    std::printf("\nStart-up of %s, %d runs (ms / MiB):\n", qPrintable(program), runs);
    printStats("process start to main window mapped", shown);
    printStats("peak memory, window shown (MiB)", peakMiB);
    return true;
}

} // namespace

int main(int argc, char *argv[])
{
    const qint64 mainNs = nowNs();
    QApplication application(argc, argv);
    const qint64 applicationNs = nowNs();
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Onset timing, start-up time and peak memory of tonvara."));
    parser.addHelpOption();
    const QCommandLineOption requestsOption(QStringLiteral("requests"), QStringLiteral("Requests in a run."),
                                            QStringLiteral("n"), QStringLiteral("20"));
    const QCommandLineOption latencyOption(
        QStringLiteral("capture-latency"),
        QStringLiteral("parec latencies in ms, one run each (the tests' recorder uses 10; the null sink renders in "
                       "blocks of the smallest latency any reader asks for)."),
        QStringLiteral("ms,..."), QStringLiteral("10,2"));
    const QCommandLineOption targetOption(QStringLiteral("target-ms"), QStringLiteral("Length of the target sound."),
                                          QStringLiteral("ms"), QStringLiteral("250"));
    const QCommandLineOption runsOption(QStringLiteral("startup-runs"), QStringLiteral("Starts of the binary."),
                                        QStringLiteral("n"), QStringLiteral("10"));
    const QCommandLineOption programOption(QStringLiteral("program"), QStringLiteral("The tonvara binary."),
                                           QStringLiteral("path"), QStringLiteral(TONVARA_PROGRAM));
    parser.addOptions({requestsOption, latencyOption, targetOption, runsOption, programOption});
    parser.process(application);

    RunOptions options;
    options.requests = qMax(1, parser.value(requestsOption).toInt());
    options.targetMs = qBound(10, parser.value(targetOption).toInt(), 10000);
    QVector<int> latencies;
    for (const QString &value : parser.value(latencyOption).split(QLatin1Char(','), Qt::SkipEmptyParts))
        latencies << qMax(1, value.toInt());
    if (latencies.isEmpty())
        latencies << 10;

    bool ok = true;
    for (int run = 0; ok && run < latencies.size(); ++run) {
        const qint64 constructNs = nowNs();
        MainWindow window;
        const qint64 constructedNs = nowNs();
        window.show();
        const qint64 shownNs = nowNs();
        if (!QTest::qWaitForWindowExposed(&window)) {
            ok = fail(QStringLiteral("the main window was not exposed"));
            break;
        }
        const qint64 exposedNs = nowNs();
        if (run == 0)
            std::printf("In-process start-up on %s: main() to MainWindow exposed %.1f ms (QApplication %.1f, "
                        "MainWindow construction %.1f, show %.1f, to exposed %.1f)\n",
                        qPrintable(QGuiApplication::platformName()), msBetween(mainNs, exposedNs),
                        msBetween(mainNs, applicationNs), msBetween(constructNs, constructedNs),
                        msBetween(constructedNs, shownNs), msBetween(shownNs, exposedNs));
        options.captureLatencyMs = latencies[run];
        ok = runSession(window, options, run == 0);
    }
    const int runs = parser.value(runsOption).toInt();
    if (ok && runs > 0)
        ok = measureStartUp(QFileInfo(parser.value(programOption)).absoluteFilePath(), runs);
    std::fflush(stdout);
    return ok ? 0 : 1;
}
