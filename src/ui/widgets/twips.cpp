#include "ui/widgets/twips.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>
#include <cmath>

double Twips::dpi() {
    const QScreen *s = QGuiApplication::primaryScreen();
    return s ? s->logicalDotsPerInch() : 96.0;
}

int Twips::px(double twips) { return static_cast<int>(std::lround(twips * dpi() / 1440.0)); }

QRect Twips::rect(int left, int top, int width, int height) {
    return QRect(px(left), px(top), px(width), px(height));
}

void Twips::place(QWidget *w, int left, int top, int width, int height) {
    w->setGeometry(rect(left, top, width, height));
}
