#include "jobs/OrderedBatch.h"

#include <chrono>
#include <system_error>
#include <unordered_map>

namespace {

constexpr auto REPAINT_INTERVAL = std::chrono::milliseconds(100);

}   // namespace

std::vector<std::size_t> Dependencies(const std::vector<std::vector<const std::string*>>& paths)
{
    std::vector<std::size_t> after(paths.size(), NO_ITEM);
    std::unordered_map<std::string, std::size_t> lastUser;
    for (std::size_t i = 0; i < paths.size(); ++i) {
        for (const std::string* path : paths[i]) {
            auto [at, fresh] = lastUser.try_emplace(*path, i);
            if (!fresh) {
                if (after[i] == NO_ITEM || at->second > after[i])
                    after[i] = at->second;
                at->second = i;
            }
        }
    }
    return after;
}

COrderedBatch::COrderedBatch(std::size_t count, std::vector<std::size_t> after, unsigned workers, std::size_t ahead)
    : m_slots(count), m_nWorkers(workers), m_nAhead(ahead)
{
    for (std::size_t i = 0; i < count; ++i) {
        m_slots[i].after = after[i];
        if (after[i] != NO_ITEM)
            m_slots[after[i]].awaited = true;
    }
}

std::size_t COrderedBatch::Take(const BatchCallbacks& callbacks)
{
    const std::size_t count = m_slots.size();
    for (;;) {
        std::unique_lock<std::mutex> hold(m_lock);
        m_changed.wait(hold,
                       [&] { return m_bStop || m_nNext >= count || m_nNext < m_nReleased + m_nAhead || m_bNoThreads; });
        if (m_bStop || m_nNext >= count)
            return NO_ITEM;
        const std::size_t i = m_nNext++;
        m_slots[i].started = true;
        callbacks.begin(i);
        // The item it waits for is through only once it is settled, which this
        // thread cannot wait for when it runs the items itself.  An item after
        // the one that stopped the batch is not run (the item it waits for may
        // be dropped, never settled).
        m_changed.wait(hold, [&] {
            const std::size_t a = m_slots[i].after;
            return a == NO_ITEM || m_slots[a].settled || (m_bNoThreads && m_slots[a].done) || i >= m_nDropFrom;
        });
        if (i < m_nDropFrom)
            return i;
        m_slots[i].done = true;
        ++m_nFinished;
    }
}

void COrderedBatch::Work(const BatchCallbacks& callbacks)
{
    for (std::size_t i; (i = Take(callbacks)) != NO_ITEM;) {
        const bool stopped = callbacks.run(i);
        {
            std::lock_guard<std::mutex> hold(m_lock);
            m_slots[i].done = true;
            m_slots[i].stopped = stopped;
            ++m_nFinished;
            m_bStop = m_bStop || stopped;
            m_bStopped = m_bStopped || stopped;
        }
        m_changed.notify_all();
    }
}

void COrderedBatch::StartWorkers(const BatchCallbacks& callbacks, std::vector<std::thread>& threads)
{
    try {
        for (unsigned w = 0; w < m_nWorkers && w < m_slots.size(); ++w)
            threads.emplace_back([this, &callbacks] { Work(callbacks); });
    } catch (const std::system_error&) {
        if (threads.empty()) {
            m_bNoThreads = true;
            Work(callbacks);   // no thread to be had: the items one after the other here
        }
    }
}

bool COrderedBatch::ReleaseDone(const BatchCallbacks& callbacks, std::unique_lock<std::mutex>& hold)
{
    while (m_nReleased < m_slots.size()) {
        Slot& slot = m_slots[m_nReleased];
        if (slot.done) {
            const std::size_t i = m_nReleased++;
            hold.unlock();
            callbacks.release(i, slot.awaited);
            hold.lock();
            slot.settled = true;
            if (slot.stopped) {
                // The batch stops at this item: those after it are dropped, also
                // those a worker has run already.
                m_nDropFrom = m_nReleased;
                m_bStop = true;
                m_changed.notify_all();
                return false;
            }
            m_changed.notify_all();
            continue;
        }
        if (!slot.started && m_bStop)
            return false;   // this item and those after it are not touched
        // The earliest item in flight and the finished ones, then wait.
        const std::size_t done = m_nFinished;
        const bool started = slot.started;
        hold.unlock();
        callbacks.show(m_nReleased, started, done);
        hold.lock();
        m_changed.wait_for(hold, REPAINT_INTERVAL, [&] { return slot.done || m_nFinished != done; });
    }
    return true;
}

bool COrderedBatch::Run(const BatchCallbacks& callbacks)
{
    std::vector<std::thread> threads;
    // However the releasing ends (also by an exception), the workers are told
    // to begin nothing more and are joined.
    struct Joiner {
        COrderedBatch& batch;
        std::vector<std::thread>& threads;
        ~Joiner()
        {
            {
                std::lock_guard<std::mutex> hold(batch.m_lock);
                batch.m_bStop = true;
            }
            batch.m_changed.notify_all();
            for (std::thread& thread : threads)
                thread.join();
        }
    } joiner {*this, threads};
    StartWorkers(callbacks, threads);
    std::unique_lock<std::mutex> hold(m_lock);
    ReleaseDone(callbacks, hold);
    return !m_bStopped;
}
