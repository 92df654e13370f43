#include "formutil.h"

#include <QApplication>

#include <algorithm>
#include <QDialog>
#include <QFontDatabase>
#include <QGuiApplication>
#include <QPainter>
#include <QScreen>

QFont PixelFont(const QString& family, int pixelSize, bool bold)
{
    QFont f(family);
    f.setPixelSize(pixelSize);
    f.setBold(bold);
    return f;
}

QFont WindowFont()
{
    QFont f;
    f.setFamilies({QStringLiteral("MS Sans Serif"), QStringLiteral("Microsoft Sans Serif"),
                   QStringLiteral("Liberation Sans"), QStringLiteral("Arial")});
    f.setPixelSize(11);
    return f;
}

QLabel* MakeLabel(QWidget* parent, const char* name, const QString& text, int x, int y, int w, int h)
{
    auto* l = new QLabel(text, parent);
    l->setObjectName(QString::fromLatin1(name));
    // Labels size themselves to their text, as the design's auto-sized labels do; a font
    // that renders a little wider here must not cut the last letter off.
    l->setGeometry(x, y, std::max(w, l->sizeHint().width()), h);
    return l;
}

QPushButton* MakeButton(QWidget* parent, const char* name, const QString& text, int x, int y, int w, int h,
                        QStyle::StandardPixmap glyph)
{
    auto* b = new QPushButton(text, parent);
    b->setObjectName(QString::fromLatin1(name));
    b->setGeometry(x, y, w, h);
    // Enter presses the focused button, in a dialog and in the main window alike; with the
    // focus elsewhere a dialog's Enter goes to its default button.
    b->setAutoDefault(true);
    if (glyph != QStyle::SP_CustomBase)
        b->setIcon(QApplication::style()->standardIcon(glyph));
    return b;
}

void SetDialogFrame(QDialog* d)
{
    d->setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    d->setModal(true);
}

void CenterOnScreen(QWidget* w)
{
    const QRect s = QGuiApplication::primaryScreen()->geometry();
    const QSize outer = w->frameGeometry().size();
    w->move(s.x() + (s.width() - outer.width()) / 2, s.y() + (s.height() - outer.height()) / 2);
}

QIcon AppIcon()
{
    // The same picture as the desktop icon (packaging/zenda-init.svg), drawn here so that
    // the program needs no image plug-in.
    QIcon icon;
    for (int size : {16, 32, 48, 64}) {
        QPixmap pm(size, size);
        pm.fill(Qt::transparent);
        QPainter p(&pm);
        p.setRenderHint(QPainter::Antialiasing);
        p.scale(size / 64.0, size / 64.0);
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(0x2f, 0x5d, 0x8a));
        p.drawRoundedRect(QRectF(6, 10, 52, 44), 6, 6);
        p.setBrush(QColor(0xd8, 0xf0, 0xd0));
        p.drawRoundedRect(QRectF(12, 16, 40, 16), 2, 2);
        p.setBrush(QColor(0xe8, 0xc5, 0x47));
        p.drawEllipse(QPointF(20, 44), 4, 4);
        p.drawEllipse(QPointF(32, 44), 4, 4);
        p.setBrush(QColor(0xcf, 0xd8, 0xe3));
        p.drawRect(QRectF(42, 40, 10, 8));
        icon.addPixmap(pm);
    }
    return icon;
}
