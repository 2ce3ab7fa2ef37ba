#include "NotificationCenter.h"

#include <QObject>
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

TEST(NotificationCenterTest, DeliversByNameInOrderUntilRemovedOrTheContextGoes)
{
    NotificationCenter center;
    QStringList calls;
    const auto first = center.addObserver(QStringLiteral("A"), [&](const QString &, const QVariantMap &info) {
        calls << QStringLiteral("first ") + info.value(QStringLiteral("k")).toString();
    });
    center.addObserver(QStringLiteral("B"), [&](const QString &, const QVariantMap &) { calls << QStringLiteral("B"); });
    auto *context = new QObject;
    center.addObserver(QStringLiteral("A"), [&](const QString &name, const QVariantMap &) { calls << name; }, context);
    center.postNotificationName(QStringLiteral("A"), {{QStringLiteral("k"), QStringLiteral("v")}});
    center.postNotificationName(QStringLiteral("nobody"));
    EXPECT_EQ(calls, (QStringList{QStringLiteral("first v"), QStringLiteral("A")}));

    center.removeObserver(first);
    delete context;
    EXPECT_EQ(center.observerCount(QStringLiteral("A")), 0);
    center.postNotificationName(QStringLiteral("A"));
    EXPECT_EQ(calls.size(), 2);
}

TEST(NotificationCenterTest, ObserversMayRemoveThemselvesAndPostWhileCalled)
{
    NotificationCenter center;
    int once = 0, echoes = 0;
    NotificationCenter::Token token = 0;
    token = center.addObserver(QStringLiteral("N"), [&](const QString &, const QVariantMap &) {
        ++once;
        center.removeObserver(token);
        center.postNotificationName(QStringLiteral("echo"));
    });
    center.addObserver(QStringLiteral("echo"), [&](const QString &, const QVariantMap &) { ++echoes; });
    center.postNotificationName(QStringLiteral("N"));
    center.postNotificationName(QStringLiteral("N"));
    EXPECT_EQ(once, 1);
    EXPECT_EQ(echoes, 1);
}

TEST(NotificationCenterTest, PostsFromSeveralThreadsWhileObserversComeAndGo)
{
    NotificationCenter center;
    std::atomic<int> calls{0};
    center.addObserver(QStringLiteral("N"), [&](const QString &, const QVariantMap &) { ++calls; });
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&] {
            for (int i = 0; i < 500; ++i) {
                const auto token = center.addObserver(QStringLiteral("other"), [](const QString &, const QVariantMap &) {});
                center.postNotificationName(QStringLiteral("N"));
                center.removeObserver(token);
            }
        });
    for (auto &thread : threads)
        thread.join();
    EXPECT_EQ(calls.load(), 2000);
    EXPECT_EQ(center.observerCount(QStringLiteral("other")), 0);
}
