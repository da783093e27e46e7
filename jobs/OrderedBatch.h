// COrderedBatch: items run on worker threads and released in their order.
//
// Items are begun in order, on up to `workers` threads, at most `ahead` items
// past the earliest one not released yet.  An item that names a path an
// earlier item names (Dependencies) is begun only once that one is settled.
// The calling thread releases the items that are done, in order, and between
// shows the progress.  An item whose run says it stops the batch stops it
// there, as running the items one after the other would: no further item is
// begun, the items before it are released, and those after it that were begun
// already are never released (their results are dropped once they end).
//
// The batch knows nothing of what an item is: the caller's callbacks begin,
// run, release and show them.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <functional>
#include <limits>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

constexpr std::size_t NO_ITEM = std::numeric_limits<std::size_t>::max();

struct BatchCallbacks {
    // Under the batch's lock, when item i is taken by a worker (before it runs).
    std::function<void(std::size_t i)> begin;
    // On a worker thread: runs item i; true when its fault stops the batch.
    std::function<bool(std::size_t i)> run;
    // On the calling thread, in order: item i is done; awaited when a later
    // item waits for it to be settled (it is, once this returns).
    std::function<void(std::size_t i, bool awaited)> release;
    // On the calling thread, between releases: the earliest item not released
    // (started or not) and how many items are done.
    std::function<void(std::size_t earliest, bool started, std::size_t done)> show;
};

// For each item, the latest earlier item that names one of its paths, or NO_ITEM.
std::vector<std::size_t> Dependencies(const std::vector<std::vector<const std::string*>>& paths);

class COrderedBatch {
public:
    COrderedBatch(std::size_t count, std::vector<std::size_t> after, unsigned workers, std::size_t ahead);

    // Runs every item; false when an item stopped the batch.  The items not
    // released are returned by Dropped().
    bool Run(const BatchCallbacks& callbacks);
    // The first item not released (count when all were).
    std::size_t Released() const { return m_nReleased; }

private:
    struct Slot {
        bool started = false, done = false, settled = false, awaited = false, stopped = false;
        std::size_t after = NO_ITEM;
    };
    void Work(const BatchCallbacks& callbacks);
    // Takes the next item for a worker; NO_ITEM when there is none to take.
    std::size_t Take(const BatchCallbacks& callbacks);
    // Releases the items that are done; false when the batch is to end.
    bool ReleaseDone(const BatchCallbacks& callbacks, std::unique_lock<std::mutex>& hold);
    void StartWorkers(const BatchCallbacks& callbacks, std::vector<std::thread>& threads);

    std::vector<Slot> m_slots;
    unsigned m_nWorkers;
    std::size_t m_nAhead;
    std::mutex m_lock;
    std::condition_variable m_changed;
    std::size_t m_nNext = 0, m_nFinished = 0, m_nReleased = 0;
    std::size_t m_nDropFrom = NO_ITEM;   // items from here on are after the one that stopped the batch
    bool m_bStop = false;                // no further item is begun
    bool m_bStopped = false;             // an item stopped the batch
    bool m_bNoThreads = false;           // no worker thread: the items run here before any is released
};
