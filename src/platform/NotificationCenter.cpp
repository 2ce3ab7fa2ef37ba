#include "NotificationCenter.h"

#include <algorithm>

NotificationCenter &NotificationCenter::defaultCenter()
{
    static NotificationCenter center;
    return center;
}

NotificationCenter::~NotificationCenter()
{
    std::lock_guard lock(mutex_);
    for (const auto &entry : entries_)
        QObject::disconnect(entry->contextConnection);
}

NotificationCenter::Token NotificationCenter::addObserver(const QString &name, Observer observer, QObject *context)
{
    auto entry = std::make_shared<Entry>();
    entry->name = name;
    entry->observer = std::move(observer);
    std::lock_guard lock(mutex_);
    entry->token = nextToken_++;
    if (context) {
        const Token token = entry->token;
        entry->contextConnection =
            QObject::connect(context, &QObject::destroyed, [this, token] { removeObserver(token); });
    }
    entries_.push_back(entry);
    return entry->token;
}

void NotificationCenter::removeObserver(Token token)
{
    std::shared_ptr<Entry> entry;
    {
        std::lock_guard lock(mutex_);
        auto it = std::find_if(entries_.begin(), entries_.end(), [token](const auto &e) { return e->token == token; });
        if (it == entries_.end())
            return;
        entry = *it;
        entries_.erase(it);
    }
    QObject::disconnect(entry->contextConnection);
    std::lock_guard callLock(entry->callMutex);
    entry->active = false;
}

void NotificationCenter::postNotificationName(const QString &name, const QVariantMap &userInfo)
{
    // Deliver from a snapshot: observers may change the list while they run.
    std::vector<std::shared_ptr<Entry>> receivers;
    {
        std::lock_guard lock(mutex_);
        for (const auto &entry : entries_)
            if (entry->name == name)
                receivers.push_back(entry);
    }
    for (const auto &entry : receivers) {
        std::lock_guard callLock(entry->callMutex);
        if (entry->active)
            entry->observer(name, userInfo);
    }
}

qsizetype NotificationCenter::observerCount(const QString &name) const
{
    std::lock_guard lock(mutex_);
    return std::count_if(entries_.begin(), entries_.end(), [&name](const auto &e) { return e->name == name; });
}
