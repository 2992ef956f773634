// Any bytes as the settings file: start-up must not crash, must fall back as documented, must
// never write a table that is not finite or out of range, and must keep a damaged file aside
// byte for byte once it replaces it.
#include "platform/JsonDefaultsStore.h"
#include "testkit/fakes/ControllerRig.h"
#include "testkit/fuzz/FuzzApplication.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonParseError>
#include <QTemporaryDir>
#include <cmath>
#include <cstdint>
#include <cstdlib>

// The store reads no settings file larger than this.
constexpr qsizetype kMaxSettingsBytes = 1 << 20;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    ensureFuzzApplication();
    static QTemporaryDir dir;
    static ControllerRig rig;

    const QString path = dir.filePath("settings.json");
    for (const auto& entry : QDir(dir.path()).entryList(QDir::Files))
        QFile::remove(dir.filePath(entry));
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    {
        QFile file(path);
        require(file.open(QIODevice::WriteOnly));
        file.write(bytes);
    }
    rig.service.reset();

    {
        JsonDefaultsStore store(path, 1000000);
        LogoController logo(rig.environment({.defaults = &store}));

        for (LightMode mode : allLightModes) {
            logo.setMode(mode);
            for (int i = 0; i < 5; ++i) {
                rig.clock.advance(std::chrono::milliseconds(50));
                rig.ticker->tick();
                rig.meter->deliver(0.5, 0.01);
            }
        }
        // Whatever the file held, there is a factory table to hand back.
        const auto before = rig.service.writeCount();
        rig.willTerminate.post();
        require(rig.service.writeCount() == before + 1);
        requireFiniteTables(rig.service);
        store.flush();

        // A file that reads as a JSON object is the user's settings and is never kept aside;
        // anything else is kept once, byte for byte.
        const QStringList aside =
            QDir(dir.path()).entryList({QStringLiteral("settings.json.damaged-*")}, QDir::Files);
        QJsonParseError error{};
        const bool readable = bytes.size() <= kMaxSettingsBytes &&
                              QJsonDocument::fromJson(bytes, &error).isObject() &&
                              error.error == QJsonParseError::NoError;
        require(aside.size() == (readable ? 0 : 1));
        if (!aside.isEmpty()) {
            QFile kept(dir.filePath(aside[0]));
            require(kept.open(QIODevice::ReadOnly));
            require(kept.readAll() == bytes);
        }
    }
    return 0;
}
