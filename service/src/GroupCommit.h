#pragma once
// Writers that arrive together share one transaction and one commit (one
// fsync), each still all or nothing: every writer runs its own work, on its
// own thread, inside a savepoint of the shared transaction, and a work that
// fails is rolled back to its savepoint alone. The writer that finds nobody
// waiting behind it commits for all; every writer, refused or not, returns
// only once that commit is known, so no answer is given for work that might
// still be undone. A transaction lost as a whole (a serialization failure,
// a broken connection, a failed commit) makes every writer of it run again.
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <stdexcept>

class StoreTx;

// Thrown by an engine's member() when the shared transaction is lost, not just the member's work.
struct GroupLost : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// Thrown by an engine's member() when the shared transaction is lost through the work's own failure (part of
// it ran outside a savepoint): the others run again, this writer fails with error.
struct GroupSpoiled {
    std::exception_ptr error;
};

class GroupCommit {
public:
    enum class Closed { Committed, Lost };

    // Writers that ever joined one transaction: at most this many; the one that fills it commits.
    static constexpr int MaxMembers = 128;
    // A transaction lost this often in a row for one writer fails it.
    static constexpr int MaxRounds = 200;

    virtual ~GroupCommit() = default;

    void write(const std::function<void(StoreTx&)>& work);

    // Committed transactions and the writers they held, for the operators' view.
    std::uint64_t commits() const { return m_commits.load(std::memory_order_relaxed); }
    std::uint64_t committedMembers() const { return m_members.load(std::memory_order_relaxed); }
    std::uint64_t lostRounds() const { return m_lost.load(std::memory_order_relaxed); }
    // How many transactions held n writers, by power-of-two bucket: [0] 1, [1] 2, [2] 3-4, ... [7] 65-128.
    static constexpr int SizeBuckets = 8;
    std::uint64_t batchesUpTo(int bucket) const { return m_sizes[bucket].load(std::memory_order_relaxed); }
    static int SizeBucketLimit(int bucket) { return 1 << bucket; }

protected:
    // The engine's side; open, member and close are never called at the same time.
    // Begins the shared transaction.
    virtual void open() = 0;
    // Runs work in a savepoint of it: on an exception of the work, rolls back to the savepoint and passes
    // the exception on; throws GroupLost when the whole transaction is gone.
    virtual void member(const std::function<void(StoreTx&)>& work) = 0;
    // Commits. Lost: nothing of it stays (the writers run again). An exception: outcome unknown, every
    // writer of it fails with it.
    virtual Closed close() = 0;
    // Undoes the transaction after GroupLost.
    virtual void abandon() = 0;
    // Before a writer runs again after a lost transaction (rounds so far).
    virtual void pauseBeforeRetry(int) {}

private:
    struct Batch {
        int members = 0;
        enum class State { Open, Committed, Lost, Failed } state = State::Open;
        std::exception_ptr error;
    };
    void closeBatch(const std::shared_ptr<Batch>& b, std::unique_lock<std::mutex>& lock);

    std::mutex m_mutex;
    std::condition_variable m_cv;
    bool m_busy = false; // a writer uses the transaction (its work, the commit)
    int m_waiting = 0;   // writers waiting for their turn
    std::shared_ptr<Batch> m_open;
    std::atomic<std::uint64_t> m_commits{0}, m_members{0}, m_lost{0};
    std::atomic<std::uint64_t> m_sizes[SizeBuckets] = {};
};
