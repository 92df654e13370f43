// Small helpers for windows laid out by pixel positions.
#pragma once

#include <QFont>
#include <QIcon>
#include <QLabel>
#include <QPushButton>
#include <QStyle>

class QDialog;

QFont PixelFont(const QString& family, int pixelSize, bool bold = false);
// The window font of the main window: MS Sans Serif where it exists, else its look-alikes.
QFont WindowFont();
QLabel* MakeLabel(QWidget* parent, const char* name, const QString& text, int x, int y, int w, int h);
QPushButton* MakeButton(QWidget* parent, const char* name, const QString& text, int x, int y, int w, int h,
                        QStyle::StandardPixmap glyph = QStyle::SP_CustomBase);
// A fixed dialog frame with a title and a close button only.
void SetDialogFrame(QDialog* d);
void CenterOnScreen(QWidget* w);
// The program's icon.
QIcon AppIcon();
