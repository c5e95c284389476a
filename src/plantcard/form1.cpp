#include "plantcard/form1.h"

#include "mainwindow/mdiform1.h"

Form1::Form1(AppContext &ctx, MDIForm1 &main, QWidget *parent)
    : QDialog(parent), m_ctx(ctx), m_main(main) {
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(QStringLiteral("Inserimento dati Pianta"));
}
