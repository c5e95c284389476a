#include "ui/platform/modalrunner.h"

#include <QDialog>

void ModalRunner::run(QDialog *window) {
    window->setModal(true);
    window->exec();
}
