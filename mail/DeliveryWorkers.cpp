#include "mail/DeliveryWorkers.h"

#include <algorithm>
#include <system_error>

CDeliveryWorkers::~CDeliveryWorkers()
{
    JoinAll();
}

bool CDeliveryWorkers::Start(std::function<void()> job)
{
    auto pWorker = std::make_unique<SWorker>();
    SWorker *pMarks = pWorker.get(); // stays put while the worker is in m_workers
    try {
        pWorker->thread = std::thread([this, pMarks, job = std::move(job)] {
            job();
            {
                std::lock_guard lock(m_lock);
                pMarks->bFinished = true;
            }
            m_finished.notify_all();
        });
    } catch (const std::system_error &) {
        return false; // out of threads, or of memory for a stack
    }
    m_workers.push_back(std::move(pWorker));
    m_nPeak = std::max(m_nPeak, m_workers.size());
    return true;
}

size_t CDeliveryWorkers::Reap()
{
    std::vector<std::unique_ptr<SWorker>> finished;
    {
        std::lock_guard lock(m_lock);
        const auto firstRunning = std::stable_partition(m_workers.begin(), m_workers.end(),
            [](const std::unique_ptr<SWorker> &pWorker) { return pWorker->bFinished; });
        finished.assign(
            std::make_move_iterator(m_workers.begin()), std::make_move_iterator(firstRunning));
        m_workers.erase(m_workers.begin(), firstRunning);
    }
    // A finished worker has only its return left to do, so these joins are immediate.
    for (const std::unique_ptr<SWorker> &pWorker : finished)
        pWorker->thread.join();
    return finished.size();
}

bool CDeliveryWorkers::WaitForNewest(Clock::duration timeout)
{
    return m_workers.empty() || WaitForWorker(*m_workers.back(), timeout);
}

bool CDeliveryWorkers::WaitForOldest(Clock::duration timeout)
{
    return m_workers.empty() || WaitForWorker(*m_workers.front(), timeout);
}

bool CDeliveryWorkers::WaitForWorker(const SWorker &worker, Clock::duration timeout)
{
    std::unique_lock lock(m_lock);
    return m_finished.wait_for(lock, timeout, [&worker] { return worker.bFinished; });
}

bool CDeliveryWorkers::WaitForAny(Clock::duration timeout)
{
    std::unique_lock lock(m_lock);
    return m_finished.wait_for(lock, timeout, [this] {
        return std::any_of(m_workers.begin(), m_workers.end(),
            [](const std::unique_ptr<SWorker> &pWorker) { return pWorker->bFinished; });
    });
}

void CDeliveryWorkers::JoinAll()
{
    for (const std::unique_ptr<SWorker> &pWorker : m_workers)
        pWorker->thread.join();
    m_workers.clear();
}
