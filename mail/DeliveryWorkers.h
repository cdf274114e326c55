#pragma once

#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

// The delivery workers of one run that have not been joined yet, oldest first. A worker marks
// itself finished when its job returns; Reap joins the finished ones, so the set holds only what
// is still delivering (plus those that just ended) and never grows with the length of the run.
// Used from one thread, the run's; only the finished marks are shared with the workers.
class CDeliveryWorkers final
{
public:
    using Clock = std::chrono::steady_clock;

    CDeliveryWorkers() = default;
    ~CDeliveryWorkers(); // joins every worker
    CDeliveryWorkers(const CDeliveryWorkers &) = delete;
    CDeliveryWorkers &operator=(const CDeliveryWorkers &) = delete;

    // Starts a worker running the job; false when the system cannot start another thread.
    bool Start(std::function<void()> job);

    // Joins the workers that have finished; returns how many.
    size_t Reap();
    // Waits until the newest worker has finished or the time is up; true when it has.
    bool WaitForNewest(Clock::duration timeout);
    // Waits until the oldest worker has finished or the time is up; true when it has (or when
    // there is none).
    bool WaitForOldest(Clock::duration timeout);
    // Waits until any worker has finished or the time is up; true when one has.
    bool WaitForAny(Clock::duration timeout);
    // Waits, without a time limit, for every worker, and joins them all.
    void JoinAll();

    // Workers started and not yet joined, finished or not.
    size_t Count() const { return m_workers.size(); }
    // The most workers that were ever unjoined at the same time.
    size_t Peak() const { return m_nPeak; }

private:
    struct SWorker
    {
        std::thread thread;
        bool bFinished = false; // guarded by m_lock
    };

    bool WaitForWorker(const SWorker &worker, Clock::duration timeout);

    std::vector<std::unique_ptr<SWorker>> m_workers;
    size_t m_nPeak = 0;
    std::mutex m_lock;
    std::condition_variable m_finished;
};
