#pragma once

#include "ui/appcontext.h"

#include <QDialog>

class MainList;
class QLabel;
class RichTextBox;

// The printing window: shows only "Stampa in corso" while it composes the plant's card (or,
// in event mode, its cultivation card) out of sight, asks for a printer, prints the whole
// document and closes itself.
class CardPrintDialog : public QDialog {
    Q_OBJECT
public:
    CardPrintDialog(AppContext &ctx, MainList &main, QWidget *parent = nullptr);

    QLabel *progressLabel;
    RichTextBox *cardBox; // below the visible area

protected:
    void showEvent(QShowEvent *e) override;

private:
    void activate();
    void print();

    AppContext &m_ctx;
    MainList &m_main;
    // Composed and printed once per opening.
    bool m_activated = false;
};
