#include "audio/SerialQueue.h"

#include <pthread.h>

#include <condition_variable>
#include <deque>
#include <future>
#include <mutex>

namespace palaverly {

struct SerialQueue::State {
    std::mutex mutex;
    std::condition_variable wake;
    std::deque<std::function<void()>> tasks;
    bool stopping = false;
    std::thread::id workerId;
};

SerialQueue::SerialQueue(std::string label)
    : m_label(std::move(label))
    , m_state(std::make_shared<State>())
{
    // Thread names are limited to 15 characters; the end of a dotted label is the telling part.
    std::string threadName = m_label.substr(m_label.size() > 15 ? m_label.size() - 15 : 0);
    std::promise<void> started;
    auto ready = started.get_future();
    m_worker = std::thread([state = m_state, threadName, &started] {
        pthread_setname_np(pthread_self(), threadName.c_str());
        {
            std::lock_guard lock(state->mutex);
            state->workerId = std::this_thread::get_id();
        }
        started.set_value();
        run(state);
    });
    ready.wait();
}

SerialQueue::~SerialQueue()
{
    {
        std::lock_guard lock(m_state->mutex);
        m_state->stopping = true;
    }
    m_state->wake.notify_one();
    if (isCurrent())
        m_worker.detach();
    else
        m_worker.join();
}

void SerialQueue::run(std::shared_ptr<State> state)
{
    std::unique_lock lock(state->mutex);
    for (;;) {
        state->wake.wait(lock, [&] { return state->stopping || !state->tasks.empty(); });
        if (state->tasks.empty())
            return; // stopping, and nothing left to run
        std::function<void()> task = std::move(state->tasks.front());
        state->tasks.pop_front();
        lock.unlock();
        task();
        task = nullptr; // captured state is released on the worker, before the next task
        lock.lock();
    }
}

void SerialQueue::async(std::function<void()> task)
{
    {
        std::lock_guard lock(m_state->mutex);
        m_state->tasks.push_back(std::move(task));
    }
    m_state->wake.notify_one();
}

void SerialQueue::sync(const std::function<void()>& task)
{
    if (isCurrent()) {
        task();
        return;
    }
    std::promise<void> done;
    auto finished = done.get_future();
    async([&] {
        task();
        done.set_value();
    });
    finished.wait();
}

bool SerialQueue::isCurrent() const
{
    std::lock_guard lock(m_state->mutex);
    return m_state->workerId == std::this_thread::get_id();
}

} // namespace palaverly
