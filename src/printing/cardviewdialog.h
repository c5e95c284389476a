#pragma once

#include "ui/appcontext.h"

#include <QDialog>

class MainList;
class QPushButton;
class RichTextBox;

// The card view: shows the selected plant's card, with its picture, composed when the
// window opens. Prints nothing and writes nothing.
class CardViewDialog : public QDialog {
    Q_OBJECT
public:
    CardViewDialog(AppContext &ctx, MainList &main, QWidget *parent = nullptr);

    RichTextBox *cardBox;
    QPushButton *closeButton;

protected:
    void showEvent(QShowEvent *e) override;

private:
    void activate();

    AppContext &m_ctx;
    MainList &m_main;
    // Composed once per opening: a message box taking the focus must not recompose it.
    bool m_activated = false;
};
