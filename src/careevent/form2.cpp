#include "careevent/form2.h"

#include "mainwindow/mdiform1.h"

Form2::Form2(AppContext &ctx, MDIForm1 &main, QWidget *parent)
    : QDialog(parent), m_ctx(ctx), m_main(main) {
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(QStringLiteral("Scheda coltivazione Pianta"));
}
