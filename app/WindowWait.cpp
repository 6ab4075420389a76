#include "WindowWait.h"

#include <QApplication>
#include <QEvent>
#include <QEventLoop>
#include <QTimer>
#include <QWidget>

#include <exception>
#include <mutex>
#include <system_error>
#include <thread>

namespace {
std::mutex g_hookMutex;
std::function<void()> g_stepHook;

// What the user does to the program, as opposed to what it asks of itself
// (paints, layouts, timers) or what the window system tells it (exposes,
// resizes, focus).
bool IsUserInput(QEvent::Type type)
{
    switch (type) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::MouseMove:
    case QEvent::NonClientAreaMouseButtonPress:
    case QEvent::NonClientAreaMouseButtonRelease:
    case QEvent::NonClientAreaMouseButtonDblClick:
    case QEvent::NonClientAreaMouseMove:
    case QEvent::Wheel:
    case QEvent::KeyPress:
    case QEvent::KeyRelease:
    case QEvent::ShortcutOverride:
    case QEvent::Shortcut:
    case QEvent::InputMethod:
    case QEvent::ContextMenu:
    case QEvent::TouchBegin:
    case QEvent::TouchUpdate:
    case QEvent::TouchEnd:
    case QEvent::TouchCancel:
    case QEvent::TabletPress:
    case QEvent::TabletMove:
    case QEvent::TabletRelease:
    case QEvent::DragEnter:
    case QEvent::DragMove:
    case QEvent::DragLeave:
    case QEvent::Drop:
        return true;
    default:
        return false;
    }
}
} // namespace

WindowWait::WindowWait(QWidget* window) : QObject(window), m_window(window) {}

WindowWait::~WindowWait()
{
    if (m_waiting)
        QCoreApplication::instance()->removeEventFilter(this);
}

WindowWait::Stretch::~Stretch()
{
    if (--m_wait.m_stretches > 0 || !m_wait.m_closeAsked)
        return;
    m_wait.m_closeAsked = false;
    // As the next event: the job is over.
    QMetaObject::invokeMethod(&m_wait, &WindowWait::CloseAfterMessages, Qt::QueuedConnection);
}

void WindowWait::CloseAfterMessages()
{
    if (!m_window)
        return;
    // A job that failed ends before its error box is shown, and the box's
    // own event loop runs this: the close waits until the box is answered,
    // so the user reads why the job failed before the window goes.
    if (QApplication::activeModalWidget()) {
        QTimer::singleShot(kModalRecheckMs, this, &WindowWait::CloseAfterMessages);
        return;
    }
    m_window->close();
}

void WindowWait::Wait(const std::function<void()>& step)
{
    QEventLoop loop;
    std::exception_ptr failure;
    auto work = [&] {
        try {
            std::function<void()> hook;
            {
                const std::lock_guard<std::mutex> lock(g_hookMutex);
                hook = g_stepHook;
            }
            if (hook)
                hook();
            step();
        } catch (...) {
            failure = std::current_exception();
        }
        // Posted, so it ends the loop however soon the step is done.
        QMetaObject::invokeMethod(&loop, [&loop] { loop.quit(); }, Qt::QueuedConnection);
    };
    std::thread worker;
    try {
        worker = std::thread(work);
    } catch (const std::system_error&) {
        // No thread to be had: the step runs in place, as a small one does.
        step();
        return;
    }
    m_waiting = true;
    QCoreApplication::instance()->installEventFilter(this);
    loop.exec();
    QCoreApplication::instance()->removeEventFilter(this);
    m_waiting = false;
    worker.join();
    if (failure)
        std::rethrow_exception(failure);
}

bool WindowWait::eventFilter(QObject* watched, QEvent* event)
{
    if (!m_waiting)
        return false;
    if (event->type() == QEvent::Close && watched == m_window) {
        m_closeAsked = true;
        event->ignore();
        return true;
    }
    if (IsUserInput(event->type())) {
        event->ignore(); // a drag is not taken
        return true;
    }
    return false;
}

namespace windowwait_detail {
void SetStepHook(std::function<void()> hook)
{
    const std::lock_guard<std::mutex> lock(g_hookMutex);
    g_stepHook = std::move(hook);
}
} // namespace windowwait_detail
