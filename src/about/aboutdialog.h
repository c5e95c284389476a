#pragma once

#include "ui/appcontext.h"

#include <QDialog>

class QLabel;
class QPushButton;

// The about box: title, version, a short description, and a button that starts the
// system-information tool when the registry names one.
class AboutDialog : public QDialog {
    Q_OBJECT
public:
    explicit AboutDialog(AppContext &ctx, QWidget *parent = nullptr);

    static QString versionText(int major, int minor, int revision);

    QLabel *seedlingPicture;
    QLabel *leafIcon;
    QLabel *titleLabel;
    QLabel *versionLabel;
    QLabel *descriptionLabel;
    QPushButton *okButton;
    QPushButton *systemInfoButton;

    void startSystemInfo();

protected:
    void paintEvent(QPaintEvent *e) override;

private:
    AppContext &m_ctx;
};
