#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "platform/event_loop.hpp"
#include "platform/manual_main_queue.hpp"

namespace plimsy {
namespace {

TEST(manual_main_queue, posted_work_runs_in_order_only_when_pumped) {
    manual_clock_t clock;
    manual_main_queue_t queue(clock);
    std::string order;
    queue.post([&] { order += 'a'; });
    queue.post([&] {
        order += 'b';
        // Work posted while pumping runs in the same pump, after what was queued.
        queue.post([&] { order += 'd'; });
    });
    queue.post([&] { order += 'c'; });
    EXPECT_EQ(order, "");
    EXPECT_EQ(queue.pending(), 3u);
    EXPECT_EQ(queue.run_pending(), 4u);
    EXPECT_EQ(order, "abcd");
    EXPECT_EQ(queue.run_pending(), 0u);

    // On the main thread a waiting hand-over runs at once instead of deadlocking.
    queue.post_and_wait([&] { order += 'e'; });
    EXPECT_EQ(order, "abcde");
    EXPECT_EQ(queue.pending(), 0u);
}

TEST(manual_main_queue, worker_waits_until_the_test_pumps) {
    manual_clock_t clock;
    manual_main_queue_t queue(clock);
    std::atomic<bool> returned{false};
    std::thread::id ran_on;
    std::thread worker([&] {
        EXPECT_FALSE(queue.on_main_thread());
        queue.post_and_wait([&] { ran_on = std::this_thread::get_id(); });
        returned = true;
    });
    ASSERT_TRUE(queue.wait_for_work(10.0));
    EXPECT_FALSE(returned);
    EXPECT_EQ(queue.run_pending(), 1u);
    worker.join();
    EXPECT_TRUE(returned);
    EXPECT_EQ(ran_on, std::this_thread::get_id());
    EXPECT_TRUE(queue.on_main_thread());
}

TEST(manual_main_queue, timers_follow_the_manual_clock) {
    manual_clock_t clock;
    manual_main_queue_t queue(clock);
    std::vector<int> fired;
    queue.post_after(4.0, [&] { fired.push_back(4); });
    queue.post_after(1.0, [&] { fired.push_back(1); });
    queue.post_after(1.0, [&] { fired.push_back(11); });  // same deadline: in the order set
    EXPECT_EQ(queue.next_due(), clock.now() + 1.0);

    EXPECT_EQ(queue.run_pending(), 0u);
    clock.advance(0.999);
    EXPECT_EQ(queue.run_due(), 0u);
    clock.advance(0.001);
    EXPECT_EQ(queue.run_due(), 2u);
    EXPECT_EQ(fired, (std::vector<int>{1, 11}));

    // A timer that re-arms itself is measured from the time it ran.
    clock.advance(3.0);
    queue.post_after(0.0, [&] {
        fired.push_back(0);
        queue.post_after(2.0, [&] { fired.push_back(2); });
    });
    EXPECT_EQ(queue.run_pending(), 2u);
    EXPECT_EQ(fired, (std::vector<int>{1, 11, 4, 0}));
    EXPECT_EQ(queue.timers(), 1u);
    clock.advance(2.0);
    EXPECT_EQ(queue.run_pending(), 1u);
    EXPECT_EQ(fired.back(), 2);
    EXPECT_EQ(queue.timers(), 0u);
    EXPECT_FALSE(queue.wait_for_work(0.0));
}

TEST(event_loop, runs_posted_work_hand_overs_and_timers_until_quit) {
    event_loop_t loop;
    std::vector<std::string> seen;  // touched on the loop thread only
    std::thread::id loop_thread;
    std::thread worker;

    loop.post([&] {
        loop_thread = std::this_thread::get_id();
        EXPECT_TRUE(loop.on_main_thread());
        seen.push_back("first");
        loop.post_and_wait([&] { seen.push_back("inline"); });
        worker = std::thread([&] {
            static const char* const names[] = {"w0", "w1", "w2"};
            for (const char* name : names) loop.post_and_wait([&, name] { seen.emplace_back(name); });
            loop.post([&] {
                seen.push_back("after worker");
                // Timers set out of order fire by deadline.
                loop.post_after(0.02, [&] {
                    seen.push_back("t2");
                    loop.quit();
                });
                loop.post_after(0.01, [&] { seen.push_back("t1"); });
            });
        });
    });
    loop.run();
    worker.join();

    EXPECT_EQ(seen, (std::vector<std::string>{"first", "inline", "w0", "w1", "w2", "after worker", "t1", "t2"}));
    EXPECT_EQ(loop_thread, std::this_thread::get_id());

    // quit from another thread ends a loop that is idle in its wait.
    std::thread stopper([&] { loop.post([&] { loop.quit(); }); });
    loop.run();
    stopper.join();
}

}  // namespace
}  // namespace plimsy
