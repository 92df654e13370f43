#include "formutil.h"

#include <QApplication>
#include <QDialog>
#include <QFontDatabase>
#include <QGuiApplication>
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
    l->setGeometry(x, y, w, h);
    return l;
}

QPushButton* MakeButton(QWidget* parent, const char* name, const QString& text, int x, int y, int w, int h,
                        QStyle::StandardPixmap glyph)
{
    auto* b = new QPushButton(text, parent);
    b->setObjectName(QString::fromLatin1(name));
    b->setGeometry(x, y, w, h);
    b->setAutoDefault(false);
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
