// Saves the settings file over and over, alternating between two contents, until killed.
// Usage: save_probe <settings file>
#include "platform/JsonDefaultsStore.h"

#include <QCoreApplication>
#include <QJsonArray>
#include <cstdio>

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    if (argc != 2)
        return 2;
    JsonDefaultsStore store(QString::fromLocal8Bit(argv[1]));
    // A table large enough that a save takes more than one write call.
    QJsonArray table;
    for (int i = 0; i < 2000; ++i)
        table.append(QJsonArray{i, i * 10});
    store.setObject("baseMap", table);
    std::printf("ready\n");
    std::fflush(stdout);
    for (long i = 0;; ++i) {
        store.setObject("mode", i % 2 ? QStringLiteral("Music") : QStringLiteral("Breathe"));
        store.flush();
    }
}
