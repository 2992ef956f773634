// Start-up over settings files that a crash, a disk error or a careless edit could leave.
#include "platform/JsonDefaultsStore.h"
#include "tests/control/ControllerFixture.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <cmath>

class HostileSettingsTest : public ControllerTest {};

namespace {

struct Hostile {
    const char* name;
    QByteArray bytes;
    bool damaged; // the file cannot be read as settings at all
};

QByteArray deepNesting(int depth)
{
    return QByteArray("{\"mode\": ") + QByteArray(depth, '[') + QByteArray(depth, ']') + "}";
}

} // namespace

TEST_F(HostileSettingsTest, HostileSettingsFilesFallBackAndAreKeptAside)
{
    const Hostile cases[] = {
        {"empty", "", true},
        {"truncated", R"({"mode": "Breathe", "brightness": 2.)", true},
        {"not an object", "[1, 2, 3]", true},
        {"NaN literal", R"({"brightness": NaN})", true},
        {"deep nesting", deepNesting(100000), true},
        {"ten megabytes", QByteArray("{\"pad\": \"") + QByteArray(10 << 20, 'x') + "\"}", true},
        {"wrong types",
         R"({"mode": 7, "brightness": "x", "breatheSeconds": [], "sensitivity": {}, "baseMap": "no",
             "baseMaps": [1], "light": 3})",
         false},
        {"huge numbers",
         R"({"brightness": 1e308, "breatheSeconds": -1e308, "sensitivity": 1e-308})", false},
    };
    for (const auto& hostile : cases) {
        SCOPED_TRACE(hostile.name);
        service.reset();
        QTemporaryDir dir;
        const QString path = dir.filePath("beamwick/settings.json");
        QDir(dir.path()).mkpath("beamwick");
        {
            QFile file(path);
            ASSERT_TRUE(file.open(QIODevice::WriteOnly));
            file.write(hostile.bytes);
        }
        JsonDefaultsStore store(path);

        LogoController logo(environment({.defaults = &store}));

        // The factory table is captured afresh, whatever stood in the file.
        EXPECT_EQ(store.object("baseMap").value_or(QJsonValue()),
                  QJsonValue(jsonTable({{10, 100}, {20, 400}})));
        logo.setMode(LightMode::breathe);
        tick(30);
        for (const auto& table : tableWrites()) {
            const auto rows = table.asTable();
            ASSERT_TRUE(rows);
            for (const auto& row : *rows)
                EXPECT_TRUE(std::isfinite(row[1]) && row[1] <= 8 * 400);
        }
        store.flush();
        const QDir folder(dir.filePath("beamwick"));
        const QStringList aside = folder.entryList({"settings.json.damaged-*"});
        ASSERT_EQ(aside.size(), hostile.damaged ? 1 : 0) << "only a damaged file is kept aside";
        if (hostile.damaged) {
            QFile kept(folder.filePath(aside[0]));
            ASSERT_TRUE(kept.open(QIODevice::ReadOnly));
            EXPECT_EQ(kept.readAll(), hostile.bytes) << "the user's file is kept, byte for byte";
        }
        JsonDefaultsStore reread(path);
        EXPECT_EQ(reread.object("mode"), QJsonValue("Breathe"));
    }
}
