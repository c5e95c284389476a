#pragma once

#include "ui/appcontext.h"

#include <QDialog>

// TEMPORARY SKELETON: to be built out.
class frmAbout : public QDialog {
    Q_OBJECT
public:
    explicit frmAbout(AppContext &ctx, QWidget *parent = nullptr);

private:
    AppContext &m_ctx;
};
