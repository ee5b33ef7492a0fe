#include "system/NotificationCenter.h"

namespace palaverly {

NotificationCenter::NotificationCenter(QObject* parent)
    : QObject(parent)
{
}

void NotificationCenter::post(const QString& name, const QVariantMap& userInfo)
{
    emit posted(name, userInfo);
}

QMetaObject::Connection NotificationCenter::addObserver(const QString& name, const QObject* context, Observer observer)
{
    return connect(this, &NotificationCenter::posted, context,
        [name, observer = std::move(observer)](const QString& posted, const QVariantMap& userInfo) {
            if (posted == name)
                observer(userInfo);
        });
}

void NotificationCenter::removeObserver(const QMetaObject::Connection& token)
{
    QObject::disconnect(token);
}

} // namespace palaverly
