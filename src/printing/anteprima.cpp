#include "printing/anteprima.h"

#include "mainwindow/mdiform1.h"

anteprima::anteprima(AppContext &ctx, MDIForm1 &main, QWidget *parent)
    : QDialog(parent), m_ctx(ctx), m_main(main) {
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(QStringLiteral("Stampa"));
}
