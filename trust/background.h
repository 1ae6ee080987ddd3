// Work that runs on a thread of its own, one piece at a time, so that the
// window never waits for it.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

//! One thread, started with the first piece of work, that runs each piece it is
//! handed and then waits for the next. The caller polls Idle() or waits with a
//! limit; a piece that never returns holds this thread alone.
class Background {
  public:
    Background() = default;
    //! Ends the thread; one still inside its work is let go, to end with the process.
    ~Background();
    Background(const Background&) = delete;
    Background& operator=(const Background&) = delete;

    //! Hands `work` to the thread, starting the thread first; false when it cannot start.
    //! Only while Idle(). Whatever `work` throws ends the work, never the thread.
    bool Run(std::function<void()> work);
    //! True when the work last handed over is done.
    bool Idle() const { return !m_shared || m_shared->idle.load(std::memory_order_acquire); }
    //! Waits until Idle(), for `milliseconds` at most; true when it is.
    bool WaitIdle(unsigned milliseconds);

  private:
    // Shared with the thread, which may outlive this object.
    struct Shared {
        std::mutex mutex;
        std::condition_variable handed, finished;
        std::function<void()> work;
        bool stop = false;
        std::atomic<bool> idle{true};
    };
    static void Loop(std::shared_ptr<Shared> shared);

    std::shared_ptr<Shared> m_shared;
    std::thread m_thread;
};

inline Background::~Background() {
    if (!m_thread.joinable()) return;
    {
        std::lock_guard<std::mutex> lock(m_shared->mutex);
        m_shared->stop = true;
    }
    m_shared->handed.notify_one();
    if (Idle()) {
        m_thread.join();
    } else {
        m_thread.detach();
    }
}

inline bool Background::Run(std::function<void()> work) {
    try {
        if (!m_thread.joinable()) {
            m_shared = std::make_shared<Shared>();
            m_thread = std::thread(Loop, m_shared);
        }
        std::lock_guard<std::mutex> lock(m_shared->mutex);
        m_shared->work = std::move(work);
        m_shared->idle.store(false, std::memory_order_relaxed);
    } catch (...) {
        return false;  // no thread, or no memory for one
    }
    m_shared->handed.notify_one();
    return true;
}

inline bool Background::WaitIdle(unsigned milliseconds) {
    if (Idle()) return true;
    std::unique_lock<std::mutex> lock(m_shared->mutex);
    return m_shared->finished.wait_for(lock, std::chrono::milliseconds(milliseconds),
                                       [this] { return Idle(); });
}

inline void Background::Loop(std::shared_ptr<Shared> shared) {
    std::unique_lock<std::mutex> lock(shared->mutex);
    for (;;) {
        shared->handed.wait(lock, [&] { return shared->stop || shared->work; });
        if (!shared->work) return;
        std::function<void()> work = std::move(shared->work);
        shared->work = nullptr;
        lock.unlock();
        try {
            work();
        } catch (...) {
        }
        work = nullptr;
        lock.lock();
        shared->idle.store(true, std::memory_order_release);
        shared->finished.notify_all();
    }
}
