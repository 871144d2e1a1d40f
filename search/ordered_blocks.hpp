// Evaluating a catalogue on several threads with its results in catalogue
// order: the catalogue is read in blocks, one block at a time, by whichever
// thread is free; each block is evaluated on that thread; its result is
// handed on when every block before it has been handed on. What is handed on
// is therefore the same, in the same order, for any number of threads, and
// at most a few blocks per thread are held at once, whatever the size of the
// catalogue.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <exception>
#include <map>
#include <mutex>
#include <thread>
#include <vector>

namespace fieldsearch {

// The number of threads to use when none is asked for: one per hardware
// thread (at least one).
inline int default_thread_count()
{
    const unsigned n = std::thread::hardware_concurrency();
    return n == 0 ? 1 : static_cast<int>(n);
}

// Runs the pipeline on `threads` threads (1: all on the calling thread).
// read(Block&) fills the next block and returns false at the end of the
// catalogue (called under a lock, in order: it may keep state);
// evaluate(const Block&, Result&) works on one block (called concurrently:
// it must not touch shared state); emit(Result&) takes the results in
// catalogue order (called under a lock). Blocks and results are reused.
template <typename Block, typename Result, typename Read, typename Evaluate, typename Emit>
void run_ordered_blocks(int threads, Read read, Evaluate evaluate, Emit emit)
{
    if (threads <= 1) {
        Block block;
        Result result;
        while (read(block)) {
            evaluate(static_cast<const Block&>(block), result);
            emit(result);
        }
        return;
    }

    // Blocks read but not yet handed on are at most this many.
    const std::size_t window = static_cast<std::size_t>(threads) * 3;
    std::mutex mutex;
    std::condition_variable changed;
    std::size_t next_to_read = 0;
    std::size_t next_to_emit = 0;
    bool end_of_catalogue = false;
    std::exception_ptr failure;
    std::map<std::size_t, Result> finished;  // results waiting for their turn
    std::vector<Result> spare;               // results to reuse

    auto work = [&]() {
        Block block;
        for (;;) {
            std::size_t sequence = 0;
            Result result;
            {
                std::unique_lock<std::mutex> lock(mutex);
                changed.wait(lock, [&] {
                    return end_of_catalogue || failure || next_to_read - next_to_emit < window;
                });
                if (end_of_catalogue || failure) {
                    return;
                }
                try {
                    if (!read(block)) {
                        end_of_catalogue = true;
                        changed.notify_all();
                        return;
                    }
                } catch (...) {
                    failure = std::current_exception();
                    changed.notify_all();
                    return;
                }
                sequence = next_to_read++;
                if (!spare.empty()) {
                    result = std::move(spare.back());
                    spare.pop_back();
                }
            }
            try {
                evaluate(static_cast<const Block&>(block), result);
            } catch (...) {
                std::lock_guard<std::mutex> lock(mutex);
                failure = std::current_exception();
                changed.notify_all();
                return;
            }
            std::lock_guard<std::mutex> lock(mutex);
            finished.emplace(sequence, std::move(result));
            // Hand on every result whose turn has come.
            for (auto it = finished.find(next_to_emit); it != finished.end(); it = finished.find(next_to_emit)) {
                try {
                    emit(it->second);
                } catch (...) {
                    failure = std::current_exception();
                }
                spare.push_back(std::move(it->second));
                finished.erase(it);
                ++next_to_emit;
            }
            changed.notify_all();
        }
    };

    std::vector<std::thread> pool;
    pool.reserve(static_cast<std::size_t>(threads));
    for (int i = 0; i < threads; ++i) {
        pool.emplace_back(work);
    }
    for (std::thread& thread : pool) {
        thread.join();
    }
    if (failure) {
        std::rethrow_exception(failure);
    }
}

}  // namespace fieldsearch
