#pragma once

#include <asio/executor_work_guard.hpp>
#include <asio/io_context.hpp>
#include <functional>
#include <thread>

namespace kavro::boardlib {

// The one I/O thread of a library, shared by all its open cards.
class IoThread
{
public:
    static IoThread &instance();
    ~IoThread();

    asio::io_context &context() { return m_context; }
    bool onThisThread() const { return std::this_thread::get_id() == m_thread.get_id(); }
    // Runs fn on the I/O thread and waits for it; runs it at once when already there or when
    // the thread has ended (process exit).
    void run(const std::function<void()> &fn);

private:
    IoThread();

    asio::io_context m_context;
    asio::executor_work_guard<asio::io_context::executor_type> m_guard;
    std::thread m_thread;
    bool m_stopped = false;
};

} // namespace kavro::boardlib
