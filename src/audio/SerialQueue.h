#pragma once

#include <functional>
#include <memory>
#include <string>
#include <thread>

namespace palaverly {

// One worker thread that runs closures one at a time, in the order they were submitted.
// Everything a queue's closures touch belongs to that queue's thread, so that state needs no lock.
class SerialQueue {
public:
    // `label` names the queue in logs and, shortened, the worker thread.
    explicit SerialQueue(std::string label);
    // Runs what is still queued, then ends the worker. When the last owner lets go from inside
    // one of the queue's own closures, the worker finishes on its own after that closure.
    ~SerialQueue();
    SerialQueue(const SerialQueue&) = delete;
    SerialQueue& operator=(const SerialQueue&) = delete;

    // Any thread. Queues `task` and returns at once.
    void async(std::function<void()> task);
    // Any thread. Queues `task` and waits until it has run, so everything queued before it has
    // run too. Called on the queue's own thread it runs `task` in place.
    void sync(const std::function<void()>& task);

    // True on the queue's worker thread.
    bool isCurrent() const;
    const std::string& label() const { return m_label; }

private:
    struct State;
    static void run(std::shared_ptr<State> state);

    std::string m_label;
    std::shared_ptr<State> m_state;
    std::thread m_worker;
};

} // namespace palaverly
