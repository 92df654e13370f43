// What the station window's two pages share: named widgets (the tests find them by name).
#pragma once

#include <QPushButton>
#include <QString>

inline QPushButton* Button(QWidget* parent, const char* name, const QString& text)
{
    auto* b = new QPushButton(text, parent);
    b->setObjectName(QString::fromLatin1(name));
    return b;
}
template <class W>
W* Named(W* w, const char* name)
{
    w->setObjectName(QString::fromLatin1(name));
    return w;
}

// What the label's target list offers besides the printers: a PDF file chosen.
inline const QString kPdfChoice = QStringLiteral("PDF-файл...");
