#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>

class MainWindow;

// What a detached search worker may reach of its window. The window closes the gate when it
// goes away, so a worker that finishes later delivers nothing, and then waits for running
// workers, so none of them outlives the objects it uses.
class SearchGate
{
public:
    explicit SearchGate(MainWindow *window) : m_window(window) {}

    // Runs fn(window) under the gate's lock while the window exists; false when it is gone.
    template <typename Fn> bool withWindow(Fn &&fn)
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (!m_window)
            return false;
        fn(*m_window);
        return true;
    }
    void close()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_window = nullptr;
    }

    // Counting running workers, process-wide.
    static void workerStarted();
    static void workerFinished();
    // Waits until no worker runs, at most timeout; true when none runs.
    static bool waitForWorkers(std::chrono::milliseconds timeout);

private:
    std::mutex m_mutex;
    MainWindow *m_window;
};
