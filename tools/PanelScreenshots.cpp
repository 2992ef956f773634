// Renders the control panel in each of its states to PNG files, in a light and a dark palette and
// at 1x and 2x, so the panel can be looked at without a desktop. The controller runs over the
// recording service module and fakes, as in the tests.
//
//   build/bin/beamwick-panel-screenshots [output-directory]   (default: ./screenshots)
#include "control/LogoController.h"
#include "panel/MenuView.h"
#include "serviceabi/ServiceContract.h"
#include "testkit/fakes/ControllerRig.h"

#include <QApplication>
#include <QDir>
#include <QPainter>
#include <QPixmap>
#include <QStyleFactory>
#include <cstdio>
#include <functional>
#include <memory>

namespace {

struct Scene {
    const char* name;
    bool ruleFile;
    std::function<void(LogoController&, FakeService&, FakeAudioMeter&)> arrange;
};

QPalette darkPalette()
{
    QPalette p;
    const QColor window(0x2b, 0x2b, 0x2e), text(0xea, 0xea, 0xea), base(0x1e, 0x1e, 0x20);
    p.setColor(QPalette::Window, window);
    p.setColor(QPalette::WindowText, text);
    p.setColor(QPalette::Base, base);
    p.setColor(QPalette::AlternateBase, window);
    p.setColor(QPalette::Text, text);
    p.setColor(QPalette::Button, QColor(0x3a, 0x3a, 0x3e));
    p.setColor(QPalette::ButtonText, text);
    p.setColor(QPalette::Mid, QColor(0x55, 0x55, 0x5a));
    p.setColor(QPalette::Highlight, QColor(0x2f, 0x80, 0xed));
    p.setColor(QPalette::HighlightedText, Qt::white);
    p.setColor(QPalette::Disabled, QPalette::WindowText, QColor(0x80, 0x80, 0x80));
    p.setColor(QPalette::Disabled, QPalette::ButtonText, QColor(0x80, 0x80, 0x80));
    return p;
}

bool save(MenuView& panel, const QString& path, qreal scale)
{
    QPixmap pixmap(panel.size() * scale);
    pixmap.setDevicePixelRatio(scale);
    pixmap.fill(panel.palette().color(QPalette::Window));
    panel.render(&pixmap);
    return pixmap.save(path);
}

} // namespace

int main(int argc, char* argv[])
{
    // Nothing is shown on screen, so no display is needed.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
    const QString outDir =
        argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("screenshots");
    if (!QDir().mkpath(outDir)) {
        std::fprintf(stderr, "cannot create %s\n", qPrintable(outDir));
        return 1;
    }

    const Scene scenes[] = {
        {"steady", false,
         [](LogoController& l, FakeService&, FakeAudioMeter&) { l.setMode(LightMode::steady); }},
        {"breathe", false,
         [](LogoController& l, FakeService&, FakeAudioMeter&) {
             l.setMode(LightMode::breathe);
             l.setBreatheSeconds(4.0);
         }},
        {"music", false,
         [](LogoController& l, FakeService&, FakeAudioMeter&) { l.setMode(LightMode::music); }},
        {"music-heard", false,
         [](LogoController& l, FakeService&, FakeAudioMeter& m) {
             l.setMode(LightMode::music);
             m.report({.output = "bluez_output.00_1B_66_A1_B2_C3.1",
                       .outputLatency = std::chrono::milliseconds(42)});
             l.setNumber(number_settings::lightDelay, 180.0);
         }},
        {"music-failed", false,
         [](LogoController& l, FakeService&, FakeAudioMeter& m) {
             m.failure = MeterError("Connecting to the sound server", 6, "Connection refused");
             l.setMode(LightMode::music);
         }},
        // The session is locked in every scene; only this one asked for the light dark then.
        {"locked", false,
         [](LogoController& l, FakeService&, FakeAudioMeter&) {
             l.setMode(LightMode::music);
             l.setDarkWhenLocked(true);
         }},
        {"off", false, [](LogoController& l, FakeService&, FakeAudioMeter&) { l.setOn(false); }},
        {"error", false,
         [](LogoController& l, FakeService& s, FakeAudioMeter&) {
             s.setRefusing(ServiceContract::backlightModeKey, true);
             l.setOn(false);
         }},
        {"rule-button", true, [](LogoController&, FakeService&, FakeAudioMeter&) {}},
    };

    int written = 0;
    for (const auto& scene : scenes) {
        for (const bool dark : {false, true}) {
            ControllerRig rig;
            if (scene.ruleFile)
                rig.files.insert(ControllerRig::oldSudoRule);
            rig.dark.post({false, true, false});
            auto owned = rig.make();
            LogoController& logo = *owned;
            scene.arrange(logo, rig.service, *rig.meter);

            MenuView panel(logo);
            if (dark)
                panel.setPalette(darkPalette());
            panel.refresh();
            for (const qreal scale : {1.0, 2.0}) {
                const QString path = QStringLiteral("%1/panel-%2-%3-%4x.png")
                                         .arg(outDir, QLatin1String(scene.name),
                                              QLatin1String(dark ? "dark" : "light"))
                                         .arg(int(scale));
                if (!save(panel, path, scale)) {
                    std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
                    return 1;
                }
                ++written;
            }
        }
    }
    std::printf("wrote %d screenshots to %s\n", written, qPrintable(outDir));
    return 0;
}
