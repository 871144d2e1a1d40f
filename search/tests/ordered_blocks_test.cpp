#include "ordered_blocks.hpp"

#include <atomic>
#include <chrono>
#include <stdexcept>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

using namespace fieldsearch;

namespace {

struct Block {
    int first = 0;
    int count = 0;
};

struct Result {
    std::vector<int> squares;
};

// Runs the pipeline over `blocks` blocks of 7 numbers on `threads`
// threads, with the evaluation of every third block slowed down so that
// later blocks finish first; gives what emit saw, in its order.
std::vector<int> run(int threads, int blocks, int* most_held = nullptr)
{
    int next = 0;
    std::vector<int> emitted;
    std::atomic<int> held{0};
    int largest = 0;
    run_ordered_blocks<Block, Result>(
        threads,
        [&](Block& block) {
            if (next == blocks) {
                return false;
            }
            block.first = 7 * next++;
            block.count = 7;
            largest = std::max(largest, ++held);
            return true;
        },
        [&](const Block& block, Result& result) {
            result.squares.clear();
            if (block.first / 7 % 3 == 0) {
                std::this_thread::sleep_for(std::chrono::milliseconds(2));
            }
            for (int k = 0; k < block.count; ++k) {
                result.squares.push_back((block.first + k) * (block.first + k));
            }
        },
        [&](Result& result) {
            --held;
            emitted.insert(emitted.end(), result.squares.begin(), result.squares.end());
        });
    if (most_held != nullptr) {
        *most_held = largest;
    }
    return emitted;
}

}  // namespace

// Whatever the number of threads, the results come out complete and in
// catalogue order, and no more than three blocks per thread are held at
// once: a result emitted out of turn, lost or doubled, or a reader running
// ahead without bound, fails here.
TEST(OrderedBlocks, ResultsKeepCatalogueOrderAndBoundedMemory)
{
    std::vector<int> expected;
    for (int k = 0; k < 7 * 60; ++k) {
        expected.push_back(k * k);
    }
    for (int threads : {1, 2, 3, 8}) {
        int held = 0;
        EXPECT_EQ(run(threads, 60, &held), expected) << threads;
        EXPECT_LE(held, threads == 1 ? 1 : 3 * threads) << threads;
    }
    EXPECT_TRUE(run(4, 0).empty());
}

// An exception thrown while evaluating a block stops the pipeline and
// reaches the caller, on one thread as on several, rather than ending the
// process or leaving threads behind.
TEST(OrderedBlocks, AnEvaluationErrorReachesTheCaller)
{
    for (int threads : {1, 3}) {
        int next = 0;
        auto pipeline = [&] {
            run_ordered_blocks<Block, Result>(
                threads,
                [&](Block& block) {
                    block.first = next;
                    return next++ < 50;
                },
                [](const Block& block, Result&) {
                    if (block.first == 17) {
                        throw std::runtime_error("bad block");
                    }
                },
                [](Result&) {});
        };
        EXPECT_THROW(pipeline(), std::runtime_error) << threads;
    }
}
