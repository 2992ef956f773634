#include "platform/PkexecRunner.h"

#include <QProcess>
#include <QStringList>

void PkexecRunner::run(const std::vector<std::string>& argv)
{
    if (argv.empty() || argv.front().empty() || argv.front().front() != '/')
        return;
    QStringList arguments;
    for (const auto& arg : argv)
        arguments << QString::fromStdString(arg);
    QProcess::execute(QString::fromStdString(m_pkexec), arguments);
}
