#include "iothread.h"

#include <asio/post.hpp>
#include <future>

namespace kavro::boardlib {

IoThread &IoThread::instance()
{
    static IoThread thread;
    return thread;
}

IoThread::IoThread() : m_guard(asio::make_work_guard(m_context))
{
    m_thread = std::thread([this] { m_context.run(); });
}

IoThread::~IoThread()
{
    m_guard.reset();
    m_context.stop();
    if (m_thread.joinable())
        m_thread.join();
    m_stopped = true;
}

void IoThread::run(const std::function<void()> &fn)
{
    if (m_stopped || onThisThread() || m_context.stopped()) {
        fn();
        return;
    }
    std::promise<void> done;
    auto finished = done.get_future();
    asio::post(m_context, [&] {
        fn();
        done.set_value();
    });
    finished.wait();
}

} // namespace kavro::boardlib
