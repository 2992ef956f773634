#pragma once

#include "testkit/support/EventLoop.h"
#include "testkit/support/PrivateSession.h"

#include <QProcess>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>

// One run of the real beamwick executable to its end, with the event loop kept turning so that
// an instance in the test process can still answer it.
struct BeamwickRun {
    int exitCode = -1;
    QString out;
    QString err;

    static BeamwickRun of(const QString& program, const QStringList& arguments,
                          const QProcessEnvironment& environment)
    {
        QProcess process;
        process.setProcessEnvironment(environment);
        process.start(program, arguments);
        BeamwickRun run;
        if (!process.waitForStarted(5000))
            return run;
        if (!spinUntil([&] { return process.state() == QProcess::NotRunning; },
                       std::chrono::seconds(20))) {
            process.kill();
            process.waitForFinished(2000);
            return run;
        }
        run.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
        run.out = QString::fromLocal8Bit(process.readAllStandardOutput());
        run.err = QString::fromLocal8Bit(process.readAllStandardError());
        return run;
    }
};
