#pragma once

#include <QRect>

class QWidget;

// Layouts are designed in twips: 1440 to the inch, so 15 to a pixel at 96 DPI. Pixels follow
// the screen's logical DPI.
class Twips {
public:
    static int px(double twips);
    static QRect rect(int left, int top, int width, int height);
    static void place(QWidget *w, int left, int top, int width, int height);
    static double dpi();
};
