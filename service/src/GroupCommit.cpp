#include "GroupCommit.h"

#include <algorithm>
#include <bit>

void GroupCommit::write(const std::function<void(StoreTx&)>& work)
{
    for (int round = 1;; ++round) {
        std::unique_lock lock(m_mutex);
        ++m_waiting;
        m_cv.wait(lock, [&] { return !m_busy; });
        --m_waiting;
        m_busy = true;
        std::shared_ptr<Batch> b = m_open;
        if (!b) {
            lock.unlock();
            try {
                open();
            } catch (...) {
                lock.lock();
                m_busy = false;
                m_cv.notify_all();
                throw;
            }
            lock.lock();
            b = m_open = std::make_shared<Batch>();
        }
        ++b->members;
        lock.unlock();

        std::exception_ptr mine, spoiled;
        bool lost = false;
        try {
            member(work);
        } catch (const GroupLost&) {
            lost = true;
        } catch (const GroupSpoiled& s) {
            lost = true;
            spoiled = s.error;
        } catch (...) {
            mine = std::current_exception();
        }

        lock.lock();
        if (lost) {
            m_open.reset();
            lock.unlock();
            abandon();
            lock.lock();
            b->state = Batch::State::Lost;
            m_lost.fetch_add(1, std::memory_order_relaxed);
            m_busy = false;
            m_cv.notify_all();
        } else if (m_waiting == 0 || b->members >= MaxMembers) {
            // Nobody behind this writer (or the transaction is full): commit for everyone in it.
            closeBatch(b, lock);
        } else {
            // The next writer joins the transaction; the last one commits.
            m_busy = false;
            m_cv.notify_all();
            m_cv.wait(lock, [&] { return b->state != Batch::State::Open; });
        }
        switch (b->state) {
        case Batch::State::Committed:
            if (mine) std::rethrow_exception(mine);
            return;
        case Batch::State::Failed:
            std::rethrow_exception(b->error);
        case Batch::State::Lost:
        case Batch::State::Open:
            break;
        }
        lock.unlock();
        if (spoiled) std::rethrow_exception(spoiled); // its own failure: nothing of it stays, it does not run again
        if (round >= MaxRounds) throw std::runtime_error("the write transaction was lost too often");
        pauseBeforeRetry(round);
    }
}

void GroupCommit::closeBatch(const std::shared_ptr<Batch>& b, std::unique_lock<std::mutex>& lock)
{
    m_open.reset();
    lock.unlock();
    Closed outcome = Closed::Lost;
    std::exception_ptr error;
    try {
        outcome = close();
    } catch (...) {
        error = std::current_exception();
    }
    lock.lock();
    if (error) {
        b->state = Batch::State::Failed;
        b->error = error;
    } else if (outcome == Closed::Committed) {
        b->state = Batch::State::Committed;
        m_commits.fetch_add(1, std::memory_order_relaxed);
        m_members.fetch_add(static_cast<std::uint64_t>(b->members), std::memory_order_relaxed);
        const auto n = static_cast<unsigned>(b->members);
        const int bucket = n <= 1 ? 0 : std::bit_width(n - 1);
        m_sizes[std::min(bucket, SizeBuckets - 1)].fetch_add(1, std::memory_order_relaxed);
    } else {
        b->state = Batch::State::Lost;
        m_lost.fetch_add(1, std::memory_order_relaxed);
    }
    m_busy = false;
    m_cv.notify_all();
}
