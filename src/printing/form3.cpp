#include "printing/form3.h"

#include "mainwindow/mdiform1.h"

Form3::Form3(AppContext &ctx, MDIForm1 &main, QWidget *parent)
    : QDialog(parent), m_ctx(ctx), m_main(main) {
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(QStringLiteral("Scheda pianta"));
}
