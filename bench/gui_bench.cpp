// Times what a user waits for on a real display: from dropping a table file
// on the main window (or picking it in the open dialog) to the first frame
// that shows it on the screen, then a repaint of the unchanged window (an
// expose) and a resize. Run it on an X server (Xvfb) with the xcb platform;
// bench/gui_bench.sh runs it with the accessibility bridge off and on.
//
//   gui_bench <table-file> [drop|open]
//
// Prints one line: gui_first_frame_s=<s> first_repaint_s=<s>
// drop_return_s=<s> expose_s=<s> resize_s=<s> rows=<n>
// accessibility=<on|off> platform=<name>. first_repaint_s (open only) is the
// time from the click to the window's answer to the expose that the closing
// open dialog leaves: a window standing for the dialog covers the chart and
// is hidden just before the click, and the X server then asks the main
// window to paint what it uncovered.

#include "Chart.h"
#include "Controls.h"
#include "Unit1.h"
#include "../tests/FakeServices.h"

#include <QAccessible>
#include <QApplication>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QExposeEvent>
#include <QMimeData>
#include <QTimer>
#include <QToolButton>
#include <QUrl>
#include <QWindow>

#if defined(PLOTMERE_BENCH_XCB)
#include <QGuiApplication>
#include <xcb/xcb.h>
#endif

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

// Waits until the X server has dealt with every request sent so far, so a
// frame counts as shown only once the server has it.
void SyncWithServer()
{
#if defined(PLOTMERE_BENCH_XCB)
    if (auto* x11 = qApp->nativeInterface<QNativeInterface::QX11Application>()) {
        xcb_connection_t* c = x11->connection();
        std::free(xcb_get_input_focus_reply(c, xcb_get_input_focus(c), nullptr));
    }
#endif
}

// Handles the window's update requests itself (painting and flushing to the
// screen happen inside) and notes when a frame with the chart in it is done.
class FrameWatch : public QObject {
public:
    // Update requests come to the top-level widget or to its window,
    // depending on the platform.
    FrameWatch(QWidget* top, QWidget* chart) : m_chart(chart)
    {
        top->installEventFilter(this);
        top->windowHandle()->installEventFilter(this);
        chart->installEventFilter(this);
    }
    // Runs the event loop until a frame in which the chart was painted has
    // reached the server; false after `timeoutMs`.
    bool WaitForChartFrame(int timeoutMs = 60000)
    {
        m_chartPainted = false;
        m_done = false;
        QEventLoop loop;
        m_loop = &loop;
        QTimer::singleShot(timeoutMs, &loop, &QEventLoop::quit);
        if (!m_done)
            loop.exec();
        m_loop = nullptr;
        return m_done;
    }
    bool Done() const { return m_done; }
    // From now on, notes the time on `clock` when the next frame is out.
    void ArmFirstFrame(const QElapsedTimer* clock)
    {
        m_clock = clock;
        m_firstFrame = -1;
    }
    double FirstFrame() const { return m_firstFrame; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Expose && m_clock && m_firstFrame < 0
            && static_cast<QExposeEvent*>(event)->region().isEmpty() == false) {
            // The window paints the uncovered part from what it last drew, at once.
            watched->event(event);
            SyncWithServer();
            m_firstFrame = double(m_clock->nsecsElapsed()) * 1e-9;
            return true;
        }
        if (watched == m_chart && event->type() == QEvent::Paint) {
            m_chartPainted = true;
            return false;
        }
        if (event->type() == QEvent::UpdateRequest && !m_inside) {
            m_inside = true;
            watched->event(event);
            m_inside = false;
            if (m_chartPainted && !m_done) {
                SyncWithServer();
                m_done = true;
                if (m_loop)
                    m_loop->quit();
            }
            return true;
        }
        return false;
    }

private:
    QWidget* m_chart;
    QEventLoop* m_loop = nullptr;
    bool m_chartPainted = false;
    bool m_done = false;
    bool m_inside = false;
    const QElapsedTimer* m_clock = nullptr;
    double m_firstFrame = -1;
};

} // namespace

int main(int argc, char** argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: gui_bench <table-file> [drop|open]\n");
        return 2;
    }
    const bool open = argc > 2 && std::strcmp(argv[2], "open") == 0;
    QApplication app(argc, argv);
    const QString path = QString::fromLocal8Bit(argv[1]);

    auto dialogs = std::make_shared<FakeDialogs>();
    auto messages = std::make_shared<FakeMessages>();
    TForm1 form(FormServices{dialogs, messages, std::make_shared<FakeClipboard>()});
    form.show();
    QElapsedTimer wait;
    wait.start();
    while (!(form.windowHandle() && form.windowHandle()->isExposed()) && wait.elapsed() < 10000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    // Let the first frame of the empty window settle.
    FrameWatch watch(&form, form.Chart1);
    form.Chart1->update();
    watch.WaitForChartFrame(5000);

    QElapsedTimer t;
    double dropReturn = 0;
    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(path)});
    // The open dialog, over the chart until the user picks the file.
    QWidget dialog;
    if (open) {
        dialog.setGeometry(QRect(form.mapToGlobal(form.Chart1->geometry().topLeft()), QSize(500, 350)));
        dialog.show();
        QElapsedTimer shown;
        shown.start();
        while (!(dialog.windowHandle() && dialog.windowHandle()->isExposed()) && shown.elapsed() < 10000)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
        QCoreApplication::processEvents();
        SyncWithServer();
        watch.ArmFirstFrame(&t);
        dialog.hide();
        SyncWithServer();
    }
    if (open) {
        dialogs->openAnswers << path;
        t.start();
        form.OpenBtn->click();
    } else {
        // As the file manager does it: the drag enters the chart and drops.
        const QPoint at = form.Chart1->rect().center();
        t.start();
        QDragEnterEvent enter(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(form.Chart1, &enter);
        QDropEvent drop(QPointF(at), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(form.Chart1, &drop);
        dropReturn = double(t.nsecsElapsed()) * 1e-9;
    }
    // The frame that shows the table: the chart painted after the plot.
    bool shown = false;
    while (!shown && t.elapsed() < 120000) {
        shown = watch.WaitForChartFrame() && form.Series1->Count() > 0;
    }
    const double firstFrame = double(t.nsecsElapsed()) * 1e-9;

    // An expose: the unchanged chart painted again and shown.
    t.start();
    form.Chart1->repaint();
    SyncWithServer();
    const double expose = double(t.nsecsElapsed()) * 1e-9;

    // A resize of the window, to the next frame.
    t.start();
    form.resize(form.width() + 40, form.height() + 30);
    watch.WaitForChartFrame();
    const double resize = double(t.nsecsElapsed()) * 1e-9;

    const double firstRepaint = watch.FirstFrame();
    std::printf("gui_first_frame_s=%.3f first_repaint_s=%.3f drop_return_s=%.4f expose_s=%.4f resize_s=%.4f rows=%lld mode=%s "
                "accessibility=%s platform=%s errors=%lld\n",
                firstFrame, firstRepaint, dropReturn, expose, resize, (long long)form.Series1->Count(), open ? "open" : "drop",
                QAccessible::isActive() ? "on" : "off", qPrintable(QGuiApplication::platformName()),
                (long long)messages->shown.size());
    return shown ? 0 : 1;
}
