#pragma once
// Application-wide notifications by name, delivered synchronously on the posting thread
// to every observer of that name. Used where a sender must not know its receivers: the
// image well announces drops and pastes, the main window takes the pictures in.

#include <QObject>
#include <QString>
#include <QVariantMap>

#include <functional>
#include <memory>
#include <mutex>
#include <vector>

namespace Notification {
inline const QString imageDropped = QStringLiteral("QPImageDroppedNotification");
inline const QString imagePasted = QStringLiteral("QPImagePastedNotification");
// User-info key of imageDropped: a QStringList of file paths in drag order.
inline const QString imageFileNames = QStringLiteral("imageFileNames");
} // namespace Notification

class NotificationCenter {
public:
    using Observer = std::function<void(const QString &name, const QVariantMap &userInfo)>;
    using Token = quint64;

    static NotificationCenter &defaultCenter();

    NotificationCenter() = default;
    ~NotificationCenter();
    NotificationCenter(const NotificationCenter &) = delete;
    NotificationCenter &operator=(const NotificationCenter &) = delete;

    // Calls `observer` for every later post of `name`. With a context object the
    // observation ends by itself when that object is destroyed.
    Token addObserver(const QString &name, Observer observer, QObject *context = nullptr);
    // Ends an observation. When this returns, no call to it is running on another thread
    // and none starts later, so the observer's captures may be destroyed. (An observer
    // must therefore not wait for a thread that removes it.) Unknown tokens are ignored.
    void removeObserver(Token token);

    // Delivers to the observers of `name` in the order they were added. Observers may
    // add or remove observers, and post, while being called.
    void postNotificationName(const QString &name, const QVariantMap &userInfo = {});

    qsizetype observerCount(const QString &name) const;

private:
    struct Entry {
        Token token;
        QString name;
        Observer observer;
        QMetaObject::Connection contextConnection;
        std::recursive_mutex callMutex; // held while the observer runs, so removal can wait
        bool active = true;             // guarded by callMutex
    };
    mutable std::mutex mutex_;
    std::vector<std::shared_ptr<Entry>> entries_;
    Token nextToken_ = 1;
};
