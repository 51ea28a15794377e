// A Qt generic plugin (QT_QPA_GENERIC_PLUGINS=tonvarawindowprobe) that reports on standard error
//   "window probe: exposed: TITLE"       when a top-level window is first exposed, then
//   "window probe: event loop running"   once the event loop has handled a later event.
// The install test loads it into the installed program, which itself knows nothing of it.

#include <QEvent>
#include <QGenericPlugin>
#include <QGuiApplication>
#include <QSet>
#include <QTimer>
#include <QWindow>

#include <cstdio>

namespace {

void report(const QString &line)
{
    std::fprintf(stderr, "window probe: %s\n", line.toUtf8().constData());
    std::fflush(stderr);
}

class WindowProbe : public QObject
{
public:
    // No parent: the application keeps and deletes the objects its generic plugins create.
    explicit WindowProbe(QObject *application) { application->installEventFilter(this); }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() != QEvent::Expose)
            return false;
        auto *window = qobject_cast<QWindow *>(watched);
        if (window && window->isTopLevel() && window->isExposed() && !exposed.contains(window)) {
            exposed.insert(window);
            report(QStringLiteral("exposed: ") + window->title());
            QTimer::singleShot(0, this, [] { report(QStringLiteral("event loop running")); });
        }
        return false;
    }

private:
    QSet<QWindow *> exposed;
};

} // namespace

class WindowProbePlugin : public QGenericPlugin
{
    Q_OBJECT
    Q_PLUGIN_METADATA(IID QGenericPluginFactoryInterface_iid FILE "windowprobe.json")
public:
    QObject *create(const QString &, const QString &) override
    {
        return new WindowProbe(QGuiApplication::instance());
    }
};

#include "WindowProbe.moc"
