#include "about/frmabout.h"

frmAbout::frmAbout(AppContext &ctx, QWidget *parent) : QDialog(parent), m_ctx(ctx) {
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(QStringLiteral("Informazioni su Silvaro"));
}
