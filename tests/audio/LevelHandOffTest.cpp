#include "audio/LevelHandOff.h"

#include "testkit/support/EventLoop.h"

#include <QThread>
#include <gtest/gtest.h>
#include <thread>
#include <vector>

TEST(LevelHandOffTest, DeliversEachPostOnTheMainThreadLaterAndInOrder)
{
    LevelHandOff handOff;
    std::vector<std::pair<double, double>> calls;
    bool onMainThread = true;
    QThread* const mainThread = QThread::currentThread();
    handOff.setCallback([&](double bass, double average) {
        onMainThread = onMainThread && QThread::currentThread() == mainThread;
        calls.emplace_back(bass, average);
    });

    std::thread audio([&] {
        for (int i = 1; i <= 100; ++i)
            handOff.post(0.1f * float(i), 0.25f);
    });
    audio.join();
    // Nothing runs until the main thread's event loop does.
    EXPECT_TRUE(calls.empty());

    ASSERT_TRUE(spinUntil([&] { return calls.size() == 100; }));
    EXPECT_TRUE(onMainThread);
    for (int i = 1; i <= 100; ++i) {
        // Widened from the very single that was measured.
        EXPECT_EQ(calls[i - 1].first, static_cast<double>(0.1f * float(i)));
        EXPECT_EQ(calls[i - 1].second, 0.25);
    }
}

TEST(LevelHandOffTest, ATaskKeepsTheCallbackThatWasCurrentWhenItWasPosted)
{
    LevelHandOff handOff;
    int first = 0;
    int second = 0;
    handOff.setCallback([&](double, double) { ++first; });
    handOff.post(1.0f, 0.0f);
    handOff.setCallback([&](double, double) { ++second; });
    handOff.post(1.0f, 0.0f);
    handOff.setCallback({});
    handOff.post(1.0f, 0.0f);

    ASSERT_TRUE(spinUntil([&] { return first + second == 2; }));
    QCoreApplication::processEvents();
    EXPECT_EQ(first, 1);
    EXPECT_EQ(second, 1);
}

TEST(LevelHandOffTest, TasksOfAGoneHandOffOrOfAnEndedRunAreDropped)
{
    int calls = 0;
    {
        LevelHandOff handOff;
        handOff.setCallback([&](double, double) { ++calls; });
        handOff.post(0.5f, 0.5f);
    }
    runPostedTasks();
    EXPECT_EQ(calls, 0);

    // A level queued before its run ended (Music left) must not light the logo in the next mode.
    LevelHandOff handOff;
    std::vector<double> delivered;
    handOff.setCallback([&](double bass, double) { delivered.push_back(bass); });
    handOff.post(1.0f, 0.0f, handOff.beginRun());
    handOff.post(2.0f, 0.0f, handOff.beginRun());
    ASSERT_TRUE(spinUntil([&] { return !delivered.empty(); }));
    EXPECT_EQ(delivered, std::vector<double>{2.0});
}

TEST(LevelHandOffTest, TheCallbackCanBeReplacedWhileAnotherThreadPosts)
{
    LevelHandOff handOff;
    int delivered = 0;
    bool sentinel = false;
    handOff.setCallback([&](double, double) { ++delivered; });
    constexpr int kPosts = 20000;
    std::thread audio([&] {
        for (int i = 0; i < kPosts; ++i)
            handOff.post(1.0f, 0.0f);
    });
    for (int i = 0; i < 2000; ++i)
        handOff.setCallback([&](double, double) { ++delivered; });
    audio.join();
    handOff.setCallback([&](double bass, double) {
        if (bass < 0)
            sentinel = true;
    });
    handOff.post(-1.0f, 0.0f);

    // Tasks arrive in order, so once the last one is in, every post has delivered exactly once.
    ASSERT_TRUE(spinUntil([&] { return sentinel; }));
    EXPECT_EQ(delivered, kPosts);
}
