// The label drawn: Qt Gui's painter and PDF writer, the DataMatrix encoded by libzint.
#include <QPainter>
#include <QPdfWriter>
#include <QBuffer>
#include <QFont>
#include <QFontMetricsF>

#include <memory>
#include <stdexcept>

#include <zint.h>

#include "label.h"
#include "labeldraw.h"

using namespace Qt::StringLiterals;

namespace {
struct TZintFree {
    void operator()(zint_symbol* s) const { ZBarcode_Delete(s); }
};

// The largest font of this family whose text fits the box.
QFont Fitted(QPaintDevice* device, const QString& family, const QString& text, const QSizeF& box, bool bold)
{
    QFont f(family);
    f.setBold(bold);
    f.setPointSizeF(100);
    const QFontMetricsF m(f, device);
    const double scale = std::min(box.width() / std::max(1.0, m.horizontalAdvance(text)),
                                  box.height() / std::max(1.0, m.height()));
    f.setPointSizeF(std::max(1.0, 100 * scale * 0.95));
    return f;
}
}  // namespace

void PaintDataMatrix(QPainter& p, const QRectF& square, const QByteArray& data)
{
    std::unique_ptr<zint_symbol, TZintFree> s(ZBarcode_Create());
    if (!s)
        throw std::runtime_error("libzint: no memory");
    s->symbology = BARCODE_DATAMATRIX;
    s->option_3 = DM_SQUARE;
    s->input_mode = DATA_MODE;
    s->show_hrt = 0;
    s->whitespace_width = 0;
    s->border_width = 0;
    if (ZBarcode_Encode(s.get(), reinterpret_cast<const unsigned char*>(data.constData()), static_cast<int>(data.size())) >= ZINT_ERROR ||
        ZBarcode_Buffer_Vector(s.get(), 0) >= ZINT_ERROR)
        throw std::runtime_error(std::string("libzint: ") + s->errtxt);
    const zint_vector* v = s->vector;
    const double unit = std::min(square.width() / v->width, square.height() / v->height);
    p.save();
    p.setPen(Qt::NoPen);
    p.setBrush(Qt::black);
    for (const zint_vector_rect* r = v->rectangles; r; r = r->next)
        // Each module a little wider than its place, so that no hairline shows between two.
        p.drawRect(QRectF(square.left() + r->x * unit, square.top() + r->y * unit, r->width * unit + unit * 0.02,
                          r->height * unit + unit * 0.02));
    p.restore();
}

void PaintLabel(QPainter& p, const QRectF& page, const TLabel& label, double mm)
{
    const double margin = 2.5 * mm;
    const QRectF inner = page.adjusted(margin, margin, -margin, -margin);
    // The symbol on the left, as high as the label allows and never over half its width, with a
    // quiet zone of two millimetres beside it.
    const double side = std::min(inner.height() * 0.62, inner.width() * 0.45);
    const QRectF symbol(inner.left(), inner.bottom() - side, side, side);
    PaintDataMatrix(p, symbol, LabelData(label));
    const QString family = u"Liberation Sans"_s;
    const QString number = QString::number(label.serial);
    // The number across the top, as large as fits: what the operator marks on the case.
    const QRectF top(inner.left(), inner.top(), inner.width(), inner.height() - side - 1.5 * mm);
    p.setPen(Qt::black);
    p.setFont(Fitted(p.device(), family, u"№ "_s + number, top.size(), true));
    p.drawText(top, Qt::AlignLeft | Qt::AlignVCenter, u"№ "_s + number);
    // The model and the date to the right of the symbol.
    const QRectF right(symbol.right() + 2.5 * mm, symbol.top(), inner.right() - symbol.right() - 2.5 * mm, side);
    const QRectF modelBox(right.left(), right.top(), right.width(), right.height() * 0.5);
    const QRectF dateBox(right.left(), right.top() + right.height() * 0.55, right.width(), right.height() * 0.4);
    p.setFont(Fitted(p.device(), family, label.model, modelBox.size(), true));
    p.drawText(modelBox, Qt::AlignLeft | Qt::AlignVCenter, label.model);
    const QString date = label.date.toString(u"dd.MM.yyyy"_s);
    p.setFont(Fitted(p.device(), family, date, dateBox.size(), false));
    p.drawText(dateBox, Qt::AlignLeft | Qt::AlignVCenter, date);
}

QByteArray LabelsPdf(const std::vector<TLabel>& labels, const TLabelSize& size)
{
    if (labels.empty())
        throw std::runtime_error("no label to draw");
    QByteArray bytes;
    QBuffer out(&bytes);
    out.open(QIODevice::WriteOnly);
    {
        QPdfWriter pdf(&out);
        pdf.setCreator(u"zenda-init"_s);
        pdf.setTitle(u"Этикетки ЗЕНДА"_s);
        pdf.setResolution(600);
        pdf.setPageMargins({});
        pdf.setPageSize(QPageSize(QSizeF(size.width, size.height), QPageSize::Millimeter, {}, QPageSize::ExactMatch));
        QPainter p(&pdf);
        const QRectF page(0, 0, pdf.width(), pdf.height());
        for (size_t i = 0; i < labels.size(); ++i) {
            if (i > 0)
                pdf.newPage();
            PaintLabel(p, page, labels[i], pdf.resolution() / 25.4);
        }
    }
    return bytes;
}
