#include "platform/JsonDefaultsStore.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonParseError>
#include <QSaveFile>
#include <QStandardPaths>

namespace {

// Larger files are not settings this program wrote; refuse to read them into memory.
constexpr qint64 kMaxFileSize = 1 << 20;

} // namespace

JsonDefaultsStore::JsonDefaultsStore(QString filePath, int coalesceMs) : m_path(std::move(filePath))
{
    m_saveTimer.setSingleShot(true);
    m_saveTimer.setInterval(coalesceMs);
    connect(&m_saveTimer, &QTimer::timeout, this, [this] { save(); });
    load();
}

JsonDefaultsStore::~JsonDefaultsStore()
{
    flush();
}

QString JsonDefaultsStore::standardPath()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
           QStringLiteral("/beamwick/settings.json");
}

void JsonDefaultsStore::load()
{
    QFile file(m_path);
    if (!file.exists())
        return;
    if (!file.open(QIODevice::ReadOnly) || file.size() > kMaxFileSize) {
        m_damaged = true;
        return;
    }
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(file.readAll(), &error);
    if (error.error != QJsonParseError::NoError || !document.isObject()) {
        m_damaged = true;
        return;
    }
    m_values = document.object();
}

std::optional<QJsonValue> JsonDefaultsStore::object(const QString& key) const
{
    const auto it = m_values.constFind(key);
    if (it == m_values.constEnd())
        return std::nullopt;
    return *it;
}

void JsonDefaultsStore::setObject(const QString& key, const QJsonValue& value)
{
    m_values.insert(key, value);
    m_dirty = true;
    if (!m_saveTimer.isActive())
        m_saveTimer.start();
}

bool JsonDefaultsStore::flush()
{
    m_saveTimer.stop();
    return !m_dirty || save();
}

bool JsonDefaultsStore::save()
{
    const QString folder = QFileInfo(m_path).absolutePath();
    if (!QFileInfo::exists(folder) && QDir().mkpath(folder)) {
        // Only the owner has any business in the settings folder.
        QFile::setPermissions(folder, QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                          QFileDevice::ExeOwner);
    }
    if (m_damaged && m_damagedCopy.isEmpty() && QFile::exists(m_path)) {
        const QString aside =
            m_path + QStringLiteral(".damaged-") +
            QDateTime::currentDateTimeUtc().toString(QStringLiteral("yyyyMMdd-hhmmss-zzz"));
        if (!QFile::rename(m_path, aside)) {
            // Keeping the user's damaged file matters more than saving: try again next time.
            m_saveError = QStringLiteral("%1 is damaged and could not be moved aside to %2.")
                              .arg(m_path, aside);
            return false;
        }
        m_damagedCopy = aside;
    }
    QSaveFile file(m_path);
    const auto failed = [&] {
        m_saveError = QStringLiteral("%1 could not be written: %2").arg(m_path, file.errorString());
        return false;
    };
    if (!file.open(QIODevice::WriteOnly))
        return failed();
    file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    file.write(QJsonDocument(m_values).toJson(QJsonDocument::Indented));
    if (!file.commit())
        return failed();
    m_dirty = false;
    m_saveError.clear();
    return true;
}
