#include "cli/StateJson.h"

#include <QDBusArgument>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonValue>
#include <QStringList>

namespace {

QJsonValue jsonOf(const QVariant& value)
{
    // An array inside a{sv} may arrive still marshalled.
    if (value.canConvert<QDBusArgument>())
        return QJsonValue::fromVariant(qdbus_cast<QStringList>(value.value<QDBusArgument>()));
    return QJsonValue::fromVariant(value);
}

} // namespace

QByteArray StateJson::line(const QVariantMap& properties)
{
    QJsonObject object;
    for (auto it = properties.begin(); it != properties.end(); ++it) {
        QString key = it.key();
        if (!key.isEmpty())
            key[0] = key.at(0).toLower();
        object.insert(key, jsonOf(it.value()));
    }
    return QJsonDocument(object).toJson(QJsonDocument::Compact) + '\n';
}
