// A Qt generic plugin (QT_QPA_GENERIC_PLUGINS=tonvarawindowprobe) the install test loads into the
// installed program: it writes "window probe: exposed: TITLE" to standard error when the first
// top-level window is exposed, then "window probe: event loop running" once the loop goes on.

#include <QEvent>
#include <QGenericPlugin>
#include <QGuiApplication>
#include <QTimer>
#include <QWindow>

#include <cstdio>

class WindowProbe : public QObject
{
public:
    // No parent: the application keeps and deletes the objects its generic plugins create.
    explicit WindowProbe(QObject *application) { application->installEventFilter(this); }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        auto *window = qobject_cast<QWindow *>(watched);
        if (event->type() == QEvent::Expose && window && window->isTopLevel() && window->isExposed()) {
            QGuiApplication::instance()->removeEventFilter(this);
            std::fprintf(stderr, "window probe: exposed: %s\n", window->title().toUtf8().constData());
            QTimer::singleShot(0, this, [] { std::fprintf(stderr, "window probe: event loop running\n"); });
        }
        return false;
    }
};

class WindowProbePlugin : public QGenericPlugin
{
    Q_OBJECT
    Q_PLUGIN_METADATA(IID QGenericPluginFactoryInterface_iid FILE "windowprobe.json")
public:
    QObject *create(const QString &, const QString &) override { return new WindowProbe(QGuiApplication::instance()); }
};

#include "WindowProbe.moc"
