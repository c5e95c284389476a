#include "ui/platform/registry.h"

#include <QProcess>

bool Registry::launch(const QString &program) const {
    return !program.isEmpty() && QProcess::startDetached(program, {});
}
