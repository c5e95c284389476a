#include "support/asnobody.h"

#include <QCoreApplication>
#include <QDir>
#include <QProcess>

#include <grp.h>
#include <unistd.h>

bool runAsNobody(const QString &testCase, QString *output) {
    QProcess child;
    child.setProgram(QCoreApplication::applicationFilePath());
    child.setArguments({testCase});
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("HOME", QDir::tempPath());
    env.remove("XDG_RUNTIME_DIR");
    child.setProcessEnvironment(env);
    child.setProcessChannelMode(QProcess::MergedChannels);
    child.setChildProcessModifier([] {
        if (::setgroups(0, nullptr) != 0 || ::setgid(65534) != 0 || ::setuid(65534) != 0)
            ::_exit(97);
    });
    child.start();
    if (!child.waitForStarted(30000)) {
        *output = QStringLiteral("cannot start %1: %2").arg(child.program(), child.errorString());
        return false;
    }
    child.waitForFinished(240000);
    *output = QString::fromLocal8Bit(child.readAll());
    if (child.exitStatus() != QProcess::NormalExit || child.exitCode() == 97) {
        output->prepend(
            QStringLiteral("could not run as nobody (exit %1)\n").arg(child.exitCode()));
        return false;
    }
    return true;
}
