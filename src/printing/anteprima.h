#pragma once

#include "ui/appcontext.h"

#include <QDialog>

class MDIForm1;

// TEMPORARY SKELETON: to be built out.
class anteprima : public QDialog {
    Q_OBJECT
public:
    anteprima(AppContext &ctx, MDIForm1 &main, QWidget *parent = nullptr);

private:
    AppContext &m_ctx;
    MDIForm1 &m_main;
};
