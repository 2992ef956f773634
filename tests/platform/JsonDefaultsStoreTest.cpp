#include "platform/JsonDefaultsStore.h"

#include "testkit/support/EventLoop.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

class JsonDefaultsStoreTest : public ::testing::Test {
protected:
    QString path() const { return dir.filePath("beamwick/settings.json"); }

    void writeFile(const QByteArray& bytes)
    {
        QDir(dir.path()).mkpath("beamwick");
        QFile file(path());
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(bytes);
    }

    QByteArray readFile(const QString& name) const
    {
        QFile file(name);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

    QStringList damagedCopies() const
    {
        return QDir(dir.filePath("beamwick")).entryList({"settings.json.damaged-*"});
    }

    QTemporaryDir dir;
};

} // namespace

TEST_F(JsonDefaultsStoreTest, MissingFileIsAFirstStartAndChangesRoundTrip)
{
    {
        JsonDefaultsStore store(path());
        EXPECT_FALSE(store.object("mode"));
        store.setObject("mode", QStringLiteral("Music"));
        store.setObject("baseMap", QJsonArray{QJsonArray{1, 2}});
        store.flush();
    }
    JsonDefaultsStore reopened(path());
    EXPECT_EQ(reopened.object("mode"), QJsonValue("Music"));
    EXPECT_EQ(reopened.object("baseMap"), QJsonValue(QJsonArray{QJsonArray{1, 2}}));
    const auto others = QFileDevice::ReadOther | QFileDevice::ReadGroup | QFileDevice::WriteOther |
                        QFileDevice::WriteGroup;
    EXPECT_EQ(QFile::permissions(path()) & others, QFileDevice::Permissions());
    EXPECT_EQ(QFile::permissions(dir.filePath("beamwick")) & others, QFileDevice::Permissions());
}

TEST_F(JsonDefaultsStoreTest, BurstsOfChangesAreSavedOnceAfterAQuietPeriod)
{
    JsonDefaultsStore store(path(), 50);
    for (int i = 0; i < 100; ++i)
        store.setObject("brightness", i / 100.0);
    EXPECT_FALSE(QFile::exists(path())) << "a slider drag must not write at every step";
    ASSERT_TRUE(spinUntil([&] { return QFile::exists(path()); }));
    EXPECT_EQ(QJsonDocument::fromJson(readFile(path())).object().value("brightness"), 0.99);
}

TEST_F(JsonDefaultsStoreTest, DamagedFileIsKeptAsideOnlyWhenReplaced)
{
    const QByteArray damaged = "{\"mode\": \"Steady\", \"brightness\": 2.";
    for (const QByteArray& bytes : {damaged, QByteArray("[1, 2]"), QByteArray("")}) {
        SCOPED_TRACE(bytes.toStdString());
        for (const auto& name : damagedCopies())
            QFile::remove(dir.filePath("beamwick/" + name));
        writeFile(bytes);
        JsonDefaultsStore store(path());
        EXPECT_FALSE(store.object("mode"));
        store.flush();
        EXPECT_EQ(readFile(path()), bytes) << "nothing changed, so nothing is overwritten";

        store.setObject("mode", QStringLiteral("Breathe"));
        store.flush();
        const auto copies = damagedCopies();
        ASSERT_EQ(copies.size(), 1);
        EXPECT_EQ(readFile(dir.filePath("beamwick/" + copies[0])), bytes);
        EXPECT_EQ(QJsonDocument::fromJson(readFile(path())).object().value("mode"), "Breathe");

        store.setObject("mode", QStringLiteral("Music"));
        store.flush();
        EXPECT_EQ(damagedCopies().size(), 1) << "the user's file is moved aside once";
    }
}

TEST_F(JsonDefaultsStoreTest, FailedSaveKeepsTheValuesAndTriesAgain)
{
    // A plain file where the settings folder should be: no one, not even root, can save.
    QFile blocker(dir.filePath("beamwick"));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    JsonDefaultsStore store(path());
    store.setObject("mode", QStringLiteral("Music"));
    store.flush();
    EXPECT_EQ(store.object("mode"), QJsonValue("Music"));
    EXPECT_EQ(readFile(dir.filePath("beamwick")), QByteArray()) << "the blocker is left alone";

    // Once the folder can be made, the next flush saves what the failed one could not.
    ASSERT_TRUE(QFile::remove(dir.filePath("beamwick")));
    store.flush();
    EXPECT_EQ(QJsonDocument::fromJson(readFile(path())).object().value("mode"), "Music");
}
