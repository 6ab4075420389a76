#pragma once
// Long steps of work off the window's thread, one event at a time.
//
// Reading, scanning and fitting a table of millions of rows take a second or
// more. Run on the window's thread they freeze it: nothing repaints, not even
// what a closed dialog left behind. Run(threaded = true, step) runs the step
// on a worker thread while the window's thread runs a local event loop that
// paints (exposes, status bar, cursor) but holds back the user: mouse, keys,
// wheel, drops and shortcuts are dropped while a step runs, and a request to
// close the window is noted and carried out after the whole job (a Stretch)
// is over. Nothing else the user does can start while a step runs, so events
// still happen one at a time and each step gives what it gives in place; its
// exceptions are rethrown on the calling thread.
//
// With `threaded` false a step simply runs in place, with no event loop at
// all: small tables keep exactly the synchronous behaviour.
//
// A step must not touch widgets or the chart: only its own data, which the
// window's thread leaves alone while the step runs.

#include <QObject>
#include <QPointer>

#include <functional>
#include <optional>
#include <type_traits>
#include <utility>

class QWidget;

class WindowWait : public QObject {
public:
    // `window` is the top-level widget whose close requests are deferred; the
    // object is its child.
    explicit WindowWait(QWidget* window);
    ~WindowWait() override;

    template <class Step>
    std::invoke_result_t<Step&> Run(bool threaded, Step&& step)
    {
        using Result = std::invoke_result_t<Step&>;
        if (!threaded || m_waiting)
            return step();
        if constexpr (std::is_void_v<Result>) {
            Wait([&] { step(); });
        } else {
            std::optional<Result> result;
            Wait([&] { result.emplace(step()); });
            return std::move(*result);
        }
    }

    // Marks one handler's job from its start to its end (message boxes
    // included). When the outermost one ends, a close asked for during any
    // of its steps is carried out, as the next event.
    class Stretch {
    public:
        explicit Stretch(WindowWait& wait) : m_wait(wait) { ++m_wait.m_stretches; }
        ~Stretch();
        Stretch(const Stretch&) = delete;
        Stretch& operator=(const Stretch&) = delete;

    private:
        WindowWait& m_wait;
    };

    // Whether a step is running on a worker thread now.
    bool Waiting() const { return m_waiting; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void Wait(const std::function<void()>& step);
    // Carries out a close held back during a job, once no modal box is up.
    void CloseAfterMessages();
    static constexpr int kModalRecheckMs = 50;

    QPointer<QWidget> m_window;
    bool m_waiting = false;
    bool m_closeAsked = false;
    int m_stretches = 0;
};

namespace windowwait_detail {
// Called on the worker thread before each threaded step (tests use it to
// hold a step while they send events to the waiting window).
void SetStepHook(std::function<void()> hook);
} // namespace windowwait_detail
