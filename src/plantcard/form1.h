#pragma once

#include "ui/appcontext.h"

#include <QDialog>

class MDIForm1;

// TEMPORARY SKELETON: to be built out.
class Form1 : public QDialog {
    Q_OBJECT
public:
    Form1(AppContext &ctx, MDIForm1 &main, QWidget *parent = nullptr);

private:
    AppContext &m_ctx;
    MDIForm1 &m_main;
};
