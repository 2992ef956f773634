#include "platform/PkexecRunner.h"

#include <QProcess>
#include <QStringList>

namespace {

// Fixed paths: a program looked up in the user's PATH could be anyone's, and it would run as
// root.
constexpr const char* kPkexec = "/usr/bin/pkexec";

} // namespace

void PkexecRunner::run(const std::vector<std::string>& argv)
{
    if (argv.empty() || argv.front().empty() || argv.front().front() != '/')
        return;
    QStringList arguments;
    for (const auto& arg : argv)
        arguments << QString::fromStdString(arg);
    QProcess::execute(QString::fromLatin1(kPkexec), arguments);
}
