#include "NotificationCenter.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

TEST(NotificationCenterTest, DeliversByNameInOrderUntilRemovedOrTheContextGoesEvenFromWithinACall)
{
    NotificationCenter center;
    QStringList calls;
    const NotificationCenter::Token first = center.addObserver("A", [&](const QString &, const QVariantMap &info) {
        calls << "first " + info.value("k").toString();
        center.removeObserver(first); // from within its own call, which then posts
        center.postNotificationName("B");
    });
    center.addObserver("B", [&](const QString &name, const QVariantMap &) { calls << name; });
    auto *context = new QObject;
    center.addObserver("A", [&](const QString &name, const QVariantMap &) { calls << name; }, context);
    center.postNotificationName("A", {{"k", "v"}});
    EXPECT_EQ(calls, QStringList({"first v", "B", "A"}));
    delete context;
    center.postNotificationName("A");
    EXPECT_EQ(calls.size(), 3);
}

TEST(NotificationCenterTest, PostsFromSeveralThreadsWhileObserversComeAndGo)
{
    NotificationCenter center;
    std::atomic<int> calls{0};
    center.addObserver("N", [&](const QString &, const QVariantMap &) { ++calls; });
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&] {
            for (int i = 0; i < 500; ++i) {
                const auto token = center.addObserver("other", [](const QString &, const QVariantMap &) {});
                center.postNotificationName("N");
                center.removeObserver(token);
            }
        });
    for (auto &thread : threads)
        thread.join();
    EXPECT_EQ(calls.load(), 2000);
    EXPECT_EQ(center.observerCount("other"), 0);
}
