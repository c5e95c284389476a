#include "ui/widgets/workprogress.h"

#include "ui/platform/messages.h"

WorkProgress::WorkProgress(const QString &text, const QString &cancelText, int steps,
                           QWidget *parent)
    : QProgressDialog(text, cancelText, 0, steps, parent) {
    setObjectName(QStringLiteral("progresso"));
    setWindowTitle(Messages::title);
    setWindowModality(parent ? Qt::WindowModal : Qt::ApplicationModal);
    setMinimumDuration(500);
    setAutoClose(false);
    setAutoReset(false);
    setValue(0);
}
