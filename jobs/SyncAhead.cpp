#include "jobs/SyncAhead.h"

#include "platform/SafeTarget.h"

#include <system_error>

CSyncAhead::CSyncAhead(std::size_t threads)
{
    try {
        while (m_threads.size() < threads)
            m_threads.emplace_back([this] { Serve(); });
    } catch (const std::system_error&) {
        // fewer threads: the awaiting thread syncs the rest
    }
}

CSyncAhead::~CSyncAhead()
{
    {
        std::lock_guard<std::mutex> hold(m_lock);
        m_bStop = true;
        m_queue.clear();
    }
    m_queued.notify_all();
    for (std::thread& thread : m_threads)
        thread.join();
}

void CSyncAhead::Submit(const std::shared_ptr<CSafeTarget>& target)
{
    {
        std::lock_guard<std::mutex> hold(m_lock);
        if (m_threads.empty() || target->m_nSyncStage != CSafeTarget::SYNC_NONE)
            return;
        target->m_nSyncStage = CSafeTarget::SYNC_QUEUED;
        m_queue.push_back(target);
    }
    m_queued.notify_one();
}

bool CSyncAhead::Await(CSafeTarget& target, std::string& cause)
{
    std::unique_lock<std::mutex> hold(m_lock);
    if (target.m_nSyncStage != CSafeTarget::SYNC_RUNNING)
        RunSync(target, hold);   // done already, or not begun: a sync of our own (a done one answers again)
    m_synced.wait(hold, [&] { return target.m_nSyncStage == CSafeTarget::SYNC_DONE; });
    hold.unlock();
    return target.Sync(cause);   // the recorded answer
}

// Runs target's sync with the lock released, unless it is done already.
void CSyncAhead::RunSync(CSafeTarget& target, std::unique_lock<std::mutex>& hold)
{
    if (target.m_nSyncStage == CSafeTarget::SYNC_DONE)
        return;
    target.m_nSyncStage = CSafeTarget::SYNC_RUNNING;
    hold.unlock();
    std::string ignored;   // recorded by the target
    target.Sync(ignored);
    hold.lock();
    target.m_nSyncStage = CSafeTarget::SYNC_DONE;
    m_synced.notify_all();
}

void CSyncAhead::Serve()
{
    std::unique_lock<std::mutex> hold(m_lock);
    for (;;) {
        m_queued.wait(hold, [&] { return m_bStop || !m_queue.empty(); });
        if (m_bStop)
            return;
        std::shared_ptr<CSafeTarget> target = m_queue.front().lock();
        m_queue.pop_front();
        if (target && target->m_nSyncStage == CSafeTarget::SYNC_QUEUED)
            RunSync(*target, hold);   // not dropped, nor taken by an awaiting thread
        hold.unlock();
        target.reset();   // the last owner may be this thread: the target and its temporary go unlocked
        hold.lock();
    }
}
