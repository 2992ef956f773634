#include "platform/PrivilegedRunner.h"

#include <QProcess>
#include <QStandardPaths>
#include <QStringList>

void PkexecRunner::run(const std::vector<std::string>& argv)
{
    const QString pkexec = QStandardPaths::findExecutable(QStringLiteral("pkexec"));
    if (pkexec.isEmpty() || argv.empty())
        return;
    QStringList arguments;
    for (const auto& arg : argv)
        arguments << QString::fromStdString(arg);
    QProcess::execute(pkexec, arguments);
}
