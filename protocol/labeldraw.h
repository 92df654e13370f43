// Drawing labels (Qt Gui, libzint): for the programs that carry Qt Gui.
#pragma once

#include <QByteArray>
#include <QRectF>

#include <vector>

#include "label.h"

class QPainter;

// A square DataMatrix of data in the square.
void PaintDataMatrix(QPainter& p, const QRectF& square, const QByteArray& data);
// One label on the page's rectangle; mm: the page's units in a millimetre.
void PaintLabel(QPainter& p, const QRectF& page, const TLabel& label, double mm);
// A PDF of one label a page, each page the label's size. Throws std::runtime_error.
QByteArray LabelsPdf(const std::vector<TLabel>& labels, const TLabelSize& size);
