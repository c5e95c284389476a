#pragma once

#include "ui/appcontext.h"

#include <QDialog>

class MDIForm1;

// TEMPORARY SKELETON: to be built out.
class Form3 : public QDialog {
    Q_OBJECT
public:
    Form3(AppContext &ctx, MDIForm1 &main, QWidget *parent = nullptr);

private:
    AppContext &m_ctx;
    MDIForm1 &m_main;
};
