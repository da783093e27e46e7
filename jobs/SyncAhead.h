// Forces a history job's finished targets to disk on threads of their own while
// the workers go on.  Each target is queued as soon as its worker is done with it,
// so the disk's flushes (one after the other on many disks) run beside the coding
// from the first file on, instead of starting when a group of files has gathered.
// The group that renames a target awaits its sync; one still queued then is synced
// by the awaiting thread itself.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

class CSafeTarget;

class CSyncAhead {
public:
    // Starts up to `threads` threads; with none, Await does each sync itself.
    explicit CSyncAhead(std::size_t threads);
    // Starts no further sync; waits for those under way.
    ~CSyncAhead();
    CSyncAhead(const CSyncAhead&) = delete;
    CSyncAhead& operator=(const CSyncAhead&) = delete;

    // Queues target's sync.  The queue does not keep it alive: a target dropped
    // before its turn (its file failed) is not synced.
    void Submit(const std::shared_ptr<CSafeTarget>& target);
    // Waits for target's sync, doing it here when no thread has begun it (also
    // when it was never queued); CSafeTarget::Sync's result and cause.
    bool Await(CSafeTarget& target, std::string& cause);

private:
    void Serve();
    void RunSync(CSafeTarget& target, std::unique_lock<std::mutex>& hold);

    std::mutex m_lock;
    std::condition_variable m_queued;   // a target queued, or the end
    std::condition_variable m_synced;   // a sync done
    std::deque<std::weak_ptr<CSafeTarget>> m_queue;
    bool m_bStop = false;
    std::vector<std::thread> m_threads;
};
